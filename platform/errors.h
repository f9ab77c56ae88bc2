#pragma once
// The one exception type of the program: a failure with a message a person can act on.
#include <stdexcept>
#include <string>

namespace platform {

class Error : public std::runtime_error {
public:
    explicit Error(const std::string& message) : std::runtime_error(message) {}
};

// "A.bmp: <what went wrong>"; every failure about a file names the file first.
[[noreturn]] inline void failFile(const std::string& fileName, const std::string& reason) {
    throw Error(fileName + ": " + reason);
}

}  // namespace platform
