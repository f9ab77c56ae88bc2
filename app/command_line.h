#pragma once
// What the command line asks for. Our options start with two dashes; Qt's own options (-platform,
// -style ...) are recognised and handed on to Qt as they are, so that Qt still sees them.
#include <string>
#include <vector>

struct CommandLine {
    enum class Mode { Window, Batch, Help, Version, BadUsage };
    Mode mode = Mode::Window;
    std::vector<std::string> pictures;  // as given
    int threshold = 128;
    std::string output = ".";
    bool quiet = false;
    std::string problem;                   // BadUsage: what is wrong, in one line
    std::vector<std::string> qtArguments;  // the program's name, then Qt's options
};

CommandLine parseCommandLine(int argc, const char* const* argv);

std::string helpText();
std::string versionText();
// One line that points at --help, said after a usage problem.
std::string usageHint();

// The file's absolute name, so that it survives a change of working directory and a message
// about it names it in full; as given when it cannot be made absolute.
std::string absolutePath(const std::string& fileName);
