#include "platform/application.h"

#include <fcntl.h>
#include <unistd.h>
#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QLoggingCategory>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <cstdlib>

#include "platform/console.h"
#include "platform/errors.h"
#include "platform/prompts.h"
#include "platform/translation.h"

namespace platform {
namespace {

TApplication theApplication;

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// The platform Qt is asked for, and by what: the -platform option wins over QT_QPA_PLATFORM, as in
// Qt. Empty when neither names one.
std::string requestedPlatform, requestedBy;

void notePlatformAsked(const std::vector<std::string>& arguments) {
    requestedPlatform = environment("QT_QPA_PLATFORM");
    requestedBy = "QT_QPA_PLATFORM";
    for (std::size_t i = 1; i + 1 < arguments.size(); ++i)
        if (arguments[i] == "-platform" || arguments[i] == "--platform") {
            requestedPlatform = arguments[i + 1];
            requestedBy = "-platform";
        }
}

// Why the display named by `variable` (DISPLAY, WAYLAND_DISPLAY) could not be used.
std::string displayReason(const char* variable, const std::string& display, const char* failed) {
    //: %1 is an environment variable's name
    if (display.empty()) return translate("Display", "%1 is not set").arg(variable);
    return translate("Display", failed).arg(display);
}

// Why no display could be opened, from what Qt was pointed at.
std::string noDisplayReason() {
    const std::string x = environment("DISPLAY"), wayland = environment("WAYLAND_DISPLAY");
    const bool triedX = requestedPlatform.empty() || requestedPlatform.find("xcb") != std::string::npos;
    const bool triedWayland = requestedPlatform.find("wayland") != std::string::npos || !wayland.empty();
    if (!triedX && !triedWayland)
        return translate("Display", "Qt's platform \"%1\" could not start").arg(requestedPlatform);
    const std::string waylandReason =
        displayReason("WAYLAND_DISPLAY", wayland,
                      QT_TRANSLATE_NOOP("Display", "the Wayland display \"%1\" cannot be used"));
    const std::string xReason =
        displayReason("DISPLAY", x, QT_TRANSLATE_NOOP("Display", "the X display \"%1\" cannot be opened"));
    //: Two reasons why no display could be opened
    if (triedWayland && triedX) return translate("Display", "%1, and %2").arg(waylandReason, xReason);
    return triedWayland ? waylandReason : xReason;
}

// The platform plugins Qt has, by name ("libqxcb.so" is "xcb").
QStringList platformPlugins(const QString& folder) {
    QStringList names;
    for (const QString& file : QDir(folder).entryList({"libq*.so"}, QDir::Files, QDir::Name))
        names << file.mid(4, file.size() - 7);
    return names;
}

// When none of the platforms asked for ("wayland;xcb", "xcb:option") is a plugin Qt has, the
// failure is the name, not the display: the two lines say which names there are.
bool sayUnknownPlatform() {
    const QString folder = QLibraryInfo::path(QLibraryInfo::PluginsPath) + "/platforms";
    const QStringList known = platformPlugins(folder);
    const QStringList asked = QString::fromStdString(requestedPlatform).split(';', Qt::SkipEmptyParts);
    for (const QString& name : asked)
        if (known.contains(name.section(':', 0, 0))) return false;
    if (asked.isEmpty()) return false;
    //: %2 is -platform or QT_QPA_PLATFORM
    console::say("edgepipe: " + translate("Display", "Qt has no platform plugin \"%1\" (asked for by %2)")
                                    .arg(requestedPlatform, requestedBy));
    //: %1 is a folder, %2 the names of the platform plugins in it
    console::say("edgepipe: " +
                 (known.isEmpty()
                      ? translate("Display", "the ones it has in %1: none").arg(folder.toStdString())
                      : translate("Display", "the ones it has in %1: %2")
                            .arg(folder.toStdString(), known.join(", ").toStdString())));
    return true;
}

// Ends the process, as one line or two and status 1, when Qt reaches no display.
[[noreturn]] void endWithoutDisplay() {
    if (!sayUnknownPlatform())
        console::say("edgepipe: " +
                     translate("Display",
                               "no display to show the window on (%1); start it from a desktop "
                               "session, or without a display: xvfb-run edgepipe")
                         .arg(noDisplayReason()));
    std::_Exit(1);
}

// Qt ends the process when no platform plugin can reach a display, after warnings from each plugin
// it tried. While Qt starts, those are held back.
void onStartMessage(QtMsgType type, const QMessageLogContext&, const QString&) {
    if (type == QtFatalMsg) endWithoutDisplay();
}

// In a Wayland session other than GNOME's, Qt picks its Wayland plugin alone; where that plugin is
// not installed, the session's X server (XWayland) still serves. Qt tries a list's names in order.
void allowXInWaylandSessions() {
    const QString desktop = QString::fromStdString(environment("XDG_CURRENT_DESKTOP"));
    if (environment("QT_QPA_PLATFORM").empty() && environment("XDG_SESSION_TYPE") == "wayland" &&
        !environment("DISPLAY").empty() && !desktop.contains("gnome", Qt::CaseInsensitive))
        ::setenv("QT_QPA_PLATFORM", "wayland;xcb", 1);
}

// The terminal stays quiet: a picture that cannot be read is said in the message box, which Qt's
// decoders need not say again, and Qt's other warnings are for developers, who get them back with
// QT_LOGGING_RULES (it overrides these rules).
void quietQt() {
    QLoggingCategory::setFilterRules("qt.gui.imageio*=false\nqt.*.warning=false\ndefault.warning=false");
}

// A run without display records the end request; the work stops at its next safe point.
volatile std::sig_atomic_t endRequest = 0;
void recordEndRequest(int signal) { endRequest = signal; }

// The signals that ask a program to end: Ctrl-C, SIGTERM at logout or from kill, and SIGHUP when
// the terminal closes or ssh drops. Calls are not restarted after them: a call that may block for
// ever (a lock held by another run) returns, and the work stops at its next safe point. Every
// write and read of a file carries on where an interruption left it. A signal ignored from the start
// stays ignored: `nohup edgepipe --batch ...` goes on when its terminal closes.
void onEndSignals(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction before {};
        if (sigaction(signal, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
        sigaction(signal, &action, nullptr);
    }
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

// A request to end the process ends the message loop, as closing the main window does, and every
// loop of a box or dialog open meanwhile. The handler only writes a byte; the loop reads them all.
int signalPipe[2] = {-1, -1};

void onEndRequest(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(signalPipe[1], &byte, 1);
}

void endOnRequest() {
    char bytes[16];
    while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {
    }
    // Ends every loop, a box's own included, and a box opened after this returns at once.
    QCoreApplication::quit();
}

void closeOnEndRequest(QSocketNotifier*& notifier) {
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier, &QSocketNotifier::activated, endOnRequest);
    onEndSignals(onEndRequest);
}

}  // namespace

TApplication* Application = &theApplication;

void TApplication::startQt(const std::vector<std::string>& arguments) {
    arguments_ = arguments;
    for (std::string& argument : arguments_) argv_.push_back(argument.data());
    argv_.push_back(nullptr);
    argc_ = static_cast<int>(arguments_.size());
    quietQt();
    allowXInWaylandSessions();
    notePlatformAsked(arguments);
    qInstallMessageHandler(onStartMessage);
    new QApplication(argc_, argv_.data());  // lives until the process ends
    qInstallMessageHandler(nullptr);
    followUserLocale();  // Qt's own texts in the user's language, numbers still as in C
    QGuiApplication::setDesktopFileName(
        "io.github.edgepipe");  // lets the desktop match the window to its launcher
}

void TApplication::Initialize(const std::vector<std::string>& arguments) {
    startQt(arguments);
    // Some platforms start without any screen (a frame buffer that cannot be opened).
    if (!QGuiApplication::primaryScreen()) endWithoutDisplay();
}

void TApplication::InitializeWithoutDisplay(const std::vector<std::string>& arguments) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    startQt(arguments);
    onEndSignals(recordEndRequest);
}

int TApplication::EndRequest() const { return endRequest; }

void TApplication::Run(const std::function<void()>& first) {
    if (!mainForm_) return;
    QSocketNotifier* endRequests = nullptr;
    closeOnEndRequest(endRequests);
    mainForm_->Show();
    if (first) QTimer::singleShot(0, [first] { dispatch([&first](TObject*) { first(); }, nullptr); });
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
