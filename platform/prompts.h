#pragma once
// Every modal box the program opens goes through one replaceable object, so that tests can answer
// them without a person and without blocking.
#include <memory>
#include <optional>
#include <string>

namespace platform {

class Prompts {
public:
    virtual ~Prompts() = default;
    // A plain message with an OK button.
    virtual void message(const std::string& text) = 0;
    // A failure that ended an operation.
    virtual void error(const std::string& text) = 0;
    // The open-picture dialog: the confirmed file, or nothing when cancelled.
    virtual std::optional<std::string> openPicture(const std::string& filter,
                                                   const std::string& lastFile) = 0;
};

// The installed prompts; the real boxes and dialog until replaced.
Prompts& prompts();
// Installs `replacement`, or the real boxes and dialog again when it is null.
void setPrompts(std::unique_ptr<Prompts> replacement);

void ShowMessage(const std::string& text);

}  // namespace platform
