#include "platform/application.h"

#include <QApplication>
#include <QGuiApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

#include "platform/errors.h"
#include "platform/prompts.h"

namespace platform {
namespace {

TApplication theApplication;

// Qt aborts when it cannot reach a display; say so plainly instead.
bool displayReachable() {
    const char* platformName = std::getenv("QT_QPA_PLATFORM");
    if (platformName && *platformName && std::string(platformName).rfind("xcb", 0) != 0 &&
        std::string(platformName).rfind("wayland", 0) != 0)
        return true;  // offscreen, vnc and the like need no display
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (wayland && *wayland);
}

// Keeps the busy cursor up while a handler runs; modal boxes it opens put the arrow back.
class BusyCursor {
public:
    BusyCursor() {
        if (qApp) QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~BusyCursor() {
        if (qApp) QApplication::restoreOverrideCursor();
    }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

void showFailure(const std::exception& failure) { prompts().error(failure.what()); }

// A request to end the process (SIGTERM at logout, SIGINT from a terminal) closes the main window
// as CLOSE does, so the program ends through its message loop. The handler only writes a byte;
// the loop reads it.
int signalPipe[2] = {-1, -1};

void onEndRequest(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(signalPipe[1], &byte, 1);
}

void closeOnEndRequest(TForm& form, QSocketNotifier*& notifier) {
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier, &QSocketNotifier::activated, [&form] { form.Close(); });
    std::signal(SIGTERM, onEndRequest);
    std::signal(SIGINT, onEndRequest);
}

}  // namespace

TApplication* Application = &theApplication;

void TApplication::Initialize(int& argc, char** argv) {
    if (!displayReachable()) {
        std::fprintf(stderr, "edgepipe: no display to show the window on (DISPLAY is not set); "
                             "start it from a desktop session or under xvfb-run\n");
        std::exit(1);
    }
    new QApplication(argc, argv);  // lives until the process ends
    QApplication::setApplicationName("edgepipe");
    QGuiApplication::setDesktopFileName("edgepipe");  // lets the desktop match the window to its launcher
}

void TApplication::Run() {
    if (!mainForm_) return;
    QSocketNotifier* endRequests = nullptr;
    closeOnEndRequest(*mainForm_, endRequests);
    mainForm_->Show();
    QApplication::exec();
    delete endRequests;
    // Closed: the window goes while Qt is still fully there, not during the exit of the process.
    mainForm_.reset();
}

void TApplication::ShowException(const std::exception& failure) { showFailure(failure); }

void dispatch(const TNotifyEvent& handler, TObject* sender) {
    if (!handler) return;
    BusyCursor busy;
    try {
        handler(sender);
    } catch (const std::exception& failure) {
        showFailure(failure);
    } catch (...) {
        showFailure(Error(""));
    }
}

}  // namespace platform
