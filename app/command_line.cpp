#include "app/command_line.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <string_view>

#include "platform/errors.h"
#include "platform/translation.h"

namespace {

using platform::translate;

// Qt's options that take a value (`-style fusion` or `-style=fusion`) and those that stand alone.
const std::initializer_list<std::string_view> kQtOptionsWithValue = {
    "platform", "platformpluginpath", "platformtheme", "plugin",      "qwindowgeometry",
    "geometry", "qwindowtitle",       "title",         "qwindowicon", "icon",
    "style",    "stylesheet",         "session",       "display",     "name"};
const std::initializer_list<std::string_view> kQtFlags = {"reverse", "widgetcount", "nograb",       "dograb",
                                                          "sync",    "testability", "qmljsdebugger"};

bool among(std::string_view name, std::initializer_list<std::string_view> names) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

// "--output=out" -> {"--output", "out"}; an option without "=" has no inline value.
struct Split {
    std::string name;
    std::optional<std::string> value;
};
Split splitOption(const std::string& argument) {
    const std::size_t equals = argument.find('=');
    if (equals == std::string::npos) return {argument, std::nullopt};
    return {argument.substr(0, equals), argument.substr(equals + 1)};
}

// Qt takes its options with one dash or two.
std::string_view qtName(const std::string& name) {
    std::string_view bare(name);
    bare.remove_prefix(bare.rfind("--", 0) == 0 ? 2 : 1);
    return bare;
}

std::optional<int> threshold(const std::string& text) {
    int value = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0 || value > 255)
        return std::nullopt;
    return value;
}

// Why the --output value names no folder the stage files can go in (one that does not exist yet is
// made), or nothing.
std::optional<std::string> outputProblem(const std::string& output) {
    if (output.empty()) return translate("CommandLine", "--output needs a folder, not an empty name");
    std::error_code error;
    if (std::filesystem::exists(output, error) && !std::filesystem::is_directory(output, error))
        return translate("CommandLine", "--output names a file, not a folder: %1")
            .arg(platform::printable(output));
    return std::nullopt;
}

class Parser {
public:
    Parser(int argc, const char* const* argv) : arguments_(argv + 1, argv + argc) {
        line_.qtArguments.push_back(argc > 0 ? argv[0] : "edgepipe");
    }

    CommandLine parse() {
        bool batch = false, batchOptions = false, onlyPictures = false;
        while (next_ < arguments_.size() && line_.mode != CommandLine::Mode::BadUsage) {
            const std::string argument = arguments_[next_++];
            if (onlyPictures || argument.size() < 2 || argument[0] != '-') {
                line_.pictures.push_back(argument);
                continue;
            }
            const auto [name, inlineValue] = splitOption(argument);
            if (name == "--")
                onlyPictures = true;
            else if (name == "--help" || name == "-h")
                return mode(CommandLine::Mode::Help);
            else if (name == "--version")
                return mode(CommandLine::Mode::Version);
            else if (name == "--batch")
                batch = true;
            else if (name == "--quiet")
                batchOptions = line_.quiet = true;
            else if (name == "--output")
                batchOptions = value(name, inlineValue, line_.output);
            else if (name == "--threshold")
                batchOptions = thresholdValue(inlineValue);
            else if (among(qtName(name), kQtOptionsWithValue))
                qtOption(argument, !inlineValue);
            else if (among(qtName(name), kQtFlags))
                line_.qtArguments.push_back(argument);
            else
                fail(translate("CommandLine", "unknown option \"%1\"").arg(argument));
        }
        if (line_.mode == CommandLine::Mode::BadUsage) return line_;
        if (batchOptions && !batch)
            fail(translate("CommandLine", "--threshold, --output and --quiet go with --batch"));
        else if (batch && line_.pictures.empty())
            fail(translate("CommandLine", "--batch needs at least one picture"));
        else if (const std::optional<std::string> problem = outputProblem(line_.output))
            fail(*problem);
        else if (batch)
            line_.mode = CommandLine::Mode::Batch;
        return line_;
    }

private:
    CommandLine mode(CommandLine::Mode mode) {
        line_.mode = mode;
        return line_;
    }
    void fail(const std::string& problem) {
        line_.mode = CommandLine::Mode::BadUsage;
        line_.problem = problem;
    }
    // The option's value, inline after "=" or the next argument. True, for the caller to note that
    // an option of the batch was given.
    bool value(const std::string& name, const std::optional<std::string>& inlineValue, std::string& into) {
        if (inlineValue)
            into = *inlineValue;
        else if (next_ < arguments_.size())
            into = arguments_[next_++];
        else
            fail(translate("CommandLine", "%1 needs a value").arg(name));
        return true;
    }
    // Also true, as value() is.
    bool thresholdValue(const std::optional<std::string>& inlineValue) {
        std::string text;
        value("--threshold", inlineValue, text);
        if (line_.mode == CommandLine::Mode::BadUsage) return true;
        if (const std::optional<int> t = threshold(text))
            line_.threshold = *t;
        else
            fail(translate("CommandLine", "the threshold is a whole number from 0 to 255, not \"%1\"")
                     .arg(text));
        return true;
    }
    void qtOption(const std::string& argument, bool valueFollows) {
        line_.qtArguments.push_back(argument);
        if (valueFollows && next_ < arguments_.size()) line_.qtArguments.push_back(arguments_[next_++]);
    }

    std::vector<std::string> arguments_;
    std::size_t next_ = 0;
    CommandLine line_;
};

}  // namespace

CommandLine parseCommandLine(int argc, const char* const* argv) { return Parser(argc, argv).parse(); }

std::string absolutePath(const std::string& fileName) {
    std::error_code error;
    const std::filesystem::path path = std::filesystem::absolute(fileName, error);
    return error ? fileName : path.string();
}

std::string versionText() { return std::string("edgepipe ") + EDGEPIPE_VERSION + "\n"; }

std::string usageHint() { return translate("CommandLine", "Try \"edgepipe --help\" for the options."); }

std::string helpText() {
    return translate("CommandLine", R"(Usage: edgepipe [PICTURE]
       edgepipe --batch [--threshold T] [--output DIR] [--quiet] PICTURE...

edgepipe turns a colour picture into its grey picture, a smoothed picture and a black-and-white
edge map, one button at a time: LOAD opens a picture (BMP, PNG, JPEG or GIF); 灰階 makes the grey
(luma) picture; 濾波 smooths with five 3 x 3 median passes; SOBEL draws the edge map at the
threshold set with the scroll bar. Each stage is written as a 24-bit BMP file into the working
directory, overwritten without asking: A.bmp (grey), B.bmp (smoothed), C.bmp (edges; black and
white inside, its one-pixel border keeps the grey levels of the picture it was drawn from).

Moving the scroll bar previews the edges of the loaded picture on the right and writes nothing.
SOBEL draws the edges of whatever the right side shows, so after a preview it draws the edges of
the preview. For C.bmp at a chosen threshold: set the scroll bar first, then 灰階, 濾波, SOBEL.

With PICTURE, the window opens with that picture loaded, as LOAD would load it. Without a
display, the window can run on a virtual one: xvfb-run edgepipe

Batch mode needs no window and no display:
  --batch          for each PICTURE, do what LOAD, 灰階, 濾波 and SOBEL do in a fresh window
                   and write A.bmp, B.bmp and C.bmp; a folder stands for the pictures in it
  --threshold T    the edge threshold, a whole number from 0 to 255 (default 128)
  --output DIR     where the stage files go (default: the working directory). One picture
                   writes into DIR itself; several write into DIR/NAME each, NAME being the
                   picture's file name without its extension and leading dots ("picture"
                   when nothing is left). When a NAME is already taken by an earlier
                   picture on the command line, the later one gets NAME-2, or NAME-3 and
                   so on, the first that is free.
  --quiet          print nothing but failures
A picture that fails is reported with the reason, and the batch goes on with the next one.
Progress and the closing summary go to standard error. Exit status: 0 when every picture was
done, 1 when any failed, 2 for bad usage, 130, 143 or 129 when stopped by Ctrl-C, SIGTERM or
SIGHUP (after the stage file being written is whole).

Other options:
  -h, --help       show this help and exit
  --version        show the version and exit
Qt's own options (-platform NAME, -style NAME, ...) work as in every Qt program.
)");
}
