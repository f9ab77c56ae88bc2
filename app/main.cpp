#include "app/Unit1.h"
#include "app/batch.h"
#include "app/command_line.h"
#include "platform/application.h"
#include "platform/console.h"
#include "platform/errors.h"
#include "platform/translation.h"

using platform::Application;
using platform::translate;
using platform::console::say;

namespace {

// The window; a picture given on the command line is loaded as LOAD loads it, once the window is
// up, so that a refusal shows in a box over it.
int runWindow(const CommandLine& request) {
    try {
        Application->Initialize(request.qtArguments);
        Application->CreateForm(Form1);
        std::function<void()> first;
        if (!request.pictures.empty())
            first = [file = absolutePath(request.pictures.front())] { Form1->OpenPicture(file); };
        Application->Run(first);
    } catch (const std::exception& failure) {
        Application->ShowException(failure);
    } catch (...) {
        Application->ShowException(platform::Error(""));
    }
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    const CommandLine request = parseCommandLine(argc, argv);
    switch (request.mode) {
        case CommandLine::Mode::Help:
            platform::console::print(helpText());
            return 0;
        case CommandLine::Mode::Version:
            platform::console::print(versionText());
            return 0;
        case CommandLine::Mode::BadUsage:
            say("edgepipe: " + request.problem);
            say(usageHint());
            return 2;
        case CommandLine::Mode::Batch:
            return runBatch(request);
        case CommandLine::Mode::Window:
            break;
    }
    for (std::size_t i = 1; i < request.pictures.size(); ++i)
        say("edgepipe: " + translate("CommandLine", "opens one picture at a time; ignored: %1")
                               .arg(platform::printable(request.pictures[i])));
    return runWindow(request);
}
