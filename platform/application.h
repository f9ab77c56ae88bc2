#pragma once
// The application object: starts Qt, holds the main window, runs the message loop, and shows the
// failures that handlers let escape.
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/controls.h"

namespace platform {

class TApplication {
public:
    // Starts Qt with these arguments, the program's name first. Without a display to show the
    // window on, prints one line saying so and ends the process with status 1; asked for a
    // platform Qt has no plugin for, says so in two lines that name the plugins it has.
    void Initialize(const std::vector<std::string>& arguments);
    // Starts Qt for work with windows that are never shown: needs no display. Ctrl-C, SIGTERM and
    // SIGHUP then only record their request (see EndRequest) instead of ending the process.
    void InitializeWithoutDisplay(const std::vector<std::string>& arguments);
    // The signal (SIGINT, SIGTERM or SIGHUP) that asked a run without display to end, or 0.
    int EndRequest() const;

    // Creates the main window, stores it in `form` and keeps it for the whole run.
    template <class Form>
    void CreateForm(Form*& form) {
        auto created = std::make_unique<Form>();
        form = created.get();
        mainForm_ = std::move(created);
    }

    // Shows the main window and runs the message loop until it is closed. `first`, when given,
    // is the loop's first event, run through dispatch: a failure shows over the window.
    void Run(const std::function<void()>& first = {});

    void ShowException(const std::exception& failure);

private:
    void startQt(const std::vector<std::string>& arguments);

    std::unique_ptr<TForm> mainForm_;
    // Qt keeps the argument count and vector for its whole run.
    std::vector<std::string> arguments_;
    std::vector<char*> argv_;
    int argc_ = 0;
};

extern TApplication* Application;

// Runs an event handler to completion: the mouse shows the busy cursor meanwhile, and a failure
// it throws is shown in a message box instead of crossing into Qt.
void dispatch(const TNotifyEvent& handler, TObject* sender);

}  // namespace platform
