#pragma once
// The one exception type of the program: a failure with a message a person can act on.
#include <filesystem>
#include <stdexcept>
#include <string>

namespace platform {

class Error : public std::runtime_error {
public:
    explicit Error(const std::string& message) : std::runtime_error(message) {}
};

// The name as a message can show it: valid UTF-8 as it is, every other byte as \xHH, so that a
// Latin-1 "café" reads "caf\xE9" instead of a replacement character.
std::string printable(const std::string& bytes);

// "A.bmp: <what went wrong>", in the user's language: every failure about a file names the file
// first.
std::string aboutFile(const std::string& fileName, const std::string& reason);
[[noreturn]] inline void failFile(const std::string& fileName, const std::string& reason) {
    throw Error(aboutFile(fileName, reason));
}

// A path as a message shows it: absolute and clean (no "." or ".." parts, no doubled or trailing
// separators); only cleaned, as given, when the working folder itself is gone.
inline std::string cleanPath(const std::string& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    std::string clean = (error ? std::filesystem::path(path) : absolute).lexically_normal().string();
    if (clean.size() > 1 && clean.back() == '/') clean.pop_back();
    return clean;
}

// A picture the user chose is named by its full path; a bare name (a stage file in the working
// folder) stays as it is.
inline std::string shownPath(const std::string& path) {
    return path.find('/') == std::string::npos ? path : cleanPath(path);
}

}  // namespace platform
