#include "platform/prompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <cstdio>

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

class QtPrompts : public Prompts {
public:
    void message(const std::string& text) override {
        if (!qApp) return (void)std::fprintf(stderr, "%s\n", text.c_str());
        ArrowCursor arrow;
        QMessageBox::information(QApplication::activeWindow(), kBoxTitle, QString::fromStdString(text));
    }

    void error(const std::string& text) override {
        if (!qApp) return (void)std::fprintf(stderr, "edgepipe: %s\n", text.c_str());
        ArrowCursor arrow;
        QMessageBox::critical(QApplication::activeWindow(), kBoxTitle, QString::fromStdString(text));
    }

    std::optional<std::string> openPicture(const std::string& filter, const std::string& lastFile) override {
        ArrowCursor arrow;
        const QString chosen = QFileDialog::getOpenFileName(QApplication::activeWindow(), QString(),
                                                            QString::fromStdString(lastFile),
                                                            QString::fromStdString(filter));
        if (chosen.isEmpty()) return std::nullopt;
        return chosen.toStdString();
    }
};

std::unique_ptr<Prompts>& installed() {
    static std::unique_ptr<Prompts> current = std::make_unique<QtPrompts>();
    return current;
}

}  // namespace

Prompts& prompts() { return *installed(); }

std::unique_ptr<Prompts> setPrompts(std::unique_ptr<Prompts> replacement) {
    std::unique_ptr<Prompts> previous = std::move(installed());
    installed() = replacement ? std::move(replacement) : std::make_unique<QtPrompts>();
    return previous;
}

void ShowMessage(const std::string& text) { prompts().message(text); }

}  // namespace platform
