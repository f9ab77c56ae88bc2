#include "platform/prompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

#include "platform/console.h"
#include "platform/opened_file.h"

namespace platform {
namespace {

const char* const kBoxTitle = "edgepipe";

// A box opened while a handler runs shows the arrow, not the handler's busy cursor.
class ArrowCursor {
public:
    ArrowCursor() { QApplication::setOverrideCursor(Qt::ArrowCursor); }
    ~ArrowCursor() { QApplication::restoreOverrideCursor(); }
    ArrowCursor(const ArrowCursor&) = delete;
    ArrowCursor& operator=(const ArrowCursor&) = delete;
};

// The window a box belongs over: the active one, or else the shown main window, which may not be
// active yet when a picture given at start is refused.
QWidget* boxParent() {
    if (QWidget* active = QApplication::activeWindow()) return active;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->isVisible() && widget->isWindow() && !widget->windowFlags().testFlag(Qt::Popup))
            return widget;
    return nullptr;
}

class QtPrompts : public Prompts {
public:
    void message(const std::string& text) override {
        if (!qApp) return console::say(text);
        ArrowCursor arrow;
        QMessageBox::information(boxParent(), kBoxTitle, QString::fromStdString(text));
    }

    void error(const std::string& text) override {
        if (!qApp) return console::say("edgepipe: " + text);
        ArrowCursor arrow;
        QMessageBox::critical(boxParent(), kBoxTitle, QString::fromStdString(text));
    }

    std::optional<std::string> openPicture(const std::string& filter, const std::string& lastFile) override {
        ArrowCursor arrow;
        const QString chosen = QFileDialog::getOpenFileName(
            boxParent(), QString(), QString::fromStdString(lastFile), QString::fromStdString(filter));
        if (chosen.isEmpty()) return std::nullopt;
        return localFileName(chosen);
    }
};

std::unique_ptr<Prompts>& installed() {
    static std::unique_ptr<Prompts> current = std::make_unique<QtPrompts>();
    return current;
}

}  // namespace

Prompts& prompts() { return *installed(); }

void setPrompts(std::unique_ptr<Prompts> replacement) {
    installed() = replacement ? std::move(replacement) : std::make_unique<QtPrompts>();
}

void ShowMessage(const std::string& text) { prompts().message(text); }

}  // namespace platform
