#pragma once
// The application object: starts Qt, holds the main window, runs the message loop, and shows the
// failures that handlers let escape.
#include <exception>
#include <memory>

#include "platform/controls.h"

namespace platform {

class TApplication {
public:
    // Starts Qt. Without a display to show the window on, prints one line saying so and ends
    // the process with status 1.
    void Initialize(int& argc, char** argv);

    // Creates the main window, stores it in `form` and keeps it for the whole run.
    template <class Form>
    void CreateForm(Form*& form) {
        auto created = std::make_unique<Form>();
        form = created.get();
        mainForm_ = std::move(created);
    }

    // Shows the main window and runs the message loop until it is closed.
    void Run();

    void ShowException(const std::exception& failure);

private:
    std::unique_ptr<TForm> mainForm_;
};

extern TApplication* Application;

// Runs an event handler to completion: the mouse shows the busy cursor meanwhile, and a failure
// it throws is shown in a message box instead of crossing into Qt.
void dispatch(const TNotifyEvent& handler, TObject* sender);

}  // namespace platform
