#include "platform/console.h"

#include <sys/ioctl.h>
#include <unistd.h>
#include <cstdio>

namespace platform::console {
namespace {

std::string live;  // the line shown at the bottom of the terminal, if any

// Carriage return, then erase to the end of the line.
void eraseLive() {
    if (!live.empty()) std::fputs("\r\033[K", stderr);
}

// The line cut to the terminal's width, so that it never wraps and can be erased in place. Counts
// characters, not the bytes of their UTF-8 encoding.
std::string fitted(const std::string& line) {
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col < 2) return line;
    std::size_t characters = 0;
    for (std::size_t i = 0; i < line.size(); ++i)
        if ((static_cast<unsigned char>(line[i]) & 0xC0) != 0x80 && ++characters == size.ws_col)
            return line.substr(0, i);
    return line;
}

}  // namespace

void print(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
}

void say(const std::string& line) {
    eraseLive();
    std::fprintf(stderr, "%s\n%s", line.c_str(), live.c_str());  // unbuffered: out at once
}

bool liveLinePossible() { return ::isatty(STDERR_FILENO) == 1; }

void showLive(const std::string& line) {
    eraseLive();
    live = fitted(line);
    std::fputs(live.c_str(), stderr);
}

}  // namespace platform::console
