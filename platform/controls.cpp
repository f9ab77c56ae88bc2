#include "platform/controls.h"

#include <QAccessibleWidget>
#include <QDropEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>
#include <QTimer>
#include <QUrl>
#include <QWindow>
#include <algorithm>
#include <optional>

#include "platform/application.h"
#include "platform/picture_reader.h"
#include "platform/prompts.h"
#include "platform/translation.h"

namespace platform {
namespace {

// A push button that Enter and Return press as well as Space, as on the desktop it came from.
// The style draws its focus frame whenever it has the focus: styles otherwise wait for the first
// Tab, and the window starts with the focus on SOBEL, which Enter presses.
class PushButton : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            animateClick();
            return;
        }
        QPushButton::keyPressEvent(event);
    }
    void initStyleOption(QStyleOptionButton* option) const override {
        QPushButton::initStyleOption(option);
        if (hasFocus()) option->state |= QStyle::State_KeyboardFocusChange;
    }
};

// A scroll bar that shows the style's focus frame around itself while it has the focus; styles
// draw none on a scroll bar of their own.
class ScrollBar : public QScrollBar {
public:
    using QScrollBar::QScrollBar;

protected:
    void paintEvent(QPaintEvent* event) override {
        QScrollBar::paintEvent(event);
        if (!hasFocus()) return;
        QStyleOptionFocusRect frame;
        frame.initFrom(this);
        frame.state |= QStyle::State_KeyboardFocusChange;
        frame.backgroundColor = palette().color(QPalette::Window);
        QPainter painter(this);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &frame, &painter, this);
    }
};

// The first of the dropped things, when it is a local file, by the bytes of its name: a URL
// carries a name that is not UTF-8 percent-encoded, which decoding it as text would lose.
std::optional<std::string> droppedFile(const QMimeData* data) {
    if (!data || !data->hasUrls() || data->urls().isEmpty() || !data->urls().first().isLocalFile())
        return std::nullopt;
    return QByteArray::fromPercentEncoding(data->urls().first().path(QUrl::FullyEncoded).toLatin1())
        .toStdString();
}

// Takes drops of a local file anywhere on the window and raises the form's OnDropFile once the
// drop is over: a message box it may open must not hold up the program the file came from.
class DropTarget : public QObject {
public:
    DropTarget(TForm& form, QWidget* area) : QObject(area), form_(form) {
        area->setAcceptDrops(true);
        area->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
            auto* drag = static_cast<QDragMoveEvent*>(event);
            drag->setAccepted(droppedFile(drag->mimeData()).has_value());
            if (drag->isAccepted()) drag->acceptProposedAction();
            return true;
        }
        if (event->type() != QEvent::Drop) return false;
        auto* drop = static_cast<QDropEvent*>(event);
        const std::optional<std::string> file = droppedFile(drop->mimeData());
        if (!file) return true;  // a drop event starts refused
        drop->acceptProposedAction();
        QTimer::singleShot(0, this, [this, name = *file] {
            dispatch(
                [this, &name](TObject* sender) {
                    if (form_.OnDropFile) form_.OnDropFile(sender, name);
                },
                &form_);
        });
        return true;
    }

private:
    TForm& form_;
};

// Draws a bitmap where it lies, without converting or copying it: Qt scales both layouts straight
// into the view.
QImage imageOf(const TBitmap& bitmap) {
    if (bitmap.Empty()) return QImage();
    const bool grey = bitmap.PixelFormat() == TPixelFormat::pf8bit;
    return QImage(bitmap.GetScanline(0), bitmap.Width(), bitmap.Height(),
                  static_cast<qsizetype>(bitmap.Stride()),
                  grey ? QImage::Format_Grayscale8 : QImage::Format_BGR888);
}

class ImageView : public QWidget {
public:
    ImageView(QWidget* parent, const TImage& owner) : QWidget(parent), owner_(owner) {}

protected:
    void paintEvent(QPaintEvent*) override {
        const QImage image = imageOf(owner_.Picture->Bitmap());  // null, and drawn as nothing, when empty
        QPainter painter(this);
        if (owner_.Stretch())
            painter.drawImage(rect(), image);
        else
            painter.drawImage(QPoint(0, 0), image);
    }

private:
    const TImage& owner_;
};

// Screen readers announce a picture view as a picture.
QAccessibleInterface* pictureViewAccessible(const QString&, QObject* object) {
    if (auto* view = dynamic_cast<ImageView*>(object))
        return new QAccessibleWidget(view, QAccessible::Graphic);
    return nullptr;
}

QString text(const std::string& s) { return QString::fromStdString(s); }

// Moves the window onto the screen it is mostly on, as placeWithin says, without resizing it.
void keepOnScreen(QWidget* window) {
    const QRect frame = window->frameGeometry();
    QScreen* screen = QGuiApplication::screenAt(frame.center());
    if (!screen) screen = window->screen();
    const QPoint place = placeWithin(frame, screen->availableGeometry());
    if (place != frame.topLeft()) window->move(place);
}

// A window manager frames the window once it is shown: at its first exposure the frame is known
// and is kept on the screen as well.
class KeepFrameOnScreen : public QObject {
public:
    explicit KeepFrameOnScreen(QWidget* window) : QObject(window), window_(window) {
        window_->winId();  // the native window, whose exposure may come as soon as it is shown
        window_->windowHandle()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::Expose) return false;
        window_->windowHandle()->removeEventFilter(this);  // it stays, idle, until the window goes
        keepOnScreen(window_);
        return false;
    }

private:
    QWidget* window_;
};

}  // namespace

QPoint placeWithin(const QRect& frame, const QRect& available) {
    const auto within = [](int at, int size, int start, int room) {
        return std::max(start, std::min(at, start + room - size));
    };
    return {within(frame.left(), frame.width(), available.left(), available.width()),
            within(frame.top(), frame.height(), available.top(), available.height())};
}

// ---- TControl ---------------------------------------------------------------------------------

TControl::TControl(TForm* owner, QWidget* widget, int left, int top, int width, int height)
    : widget_(widget) {
    widget_->setGeometry(left, top, width, height);
    owner->extendClientTo(left + width, top + height);
}

void TControl::SetFocus() { widget_->setFocus(Qt::OtherFocusReason); }

void TControl::SetHint(const std::string& hint, const std::string& accessibleName,
                       const std::string& description) {
    widget_->setToolTip("<p>" + text(hint).toHtmlEscaped() + "</p>");  // as rich text, a long one wraps
    widget_->setAccessibleName(text(accessibleName));
    widget_->setAccessibleDescription(text(description.empty() ? hint : description));
}

// ---- TButton ----------------------------------------------------------------------------------

TButton::TButton(TForm* owner, const std::string& caption, int left, int top, int width, int height)
    : TControl(owner, new PushButton(text(caption), owner->client()), left, top, width, height) {
    auto* button = static_cast<QPushButton*>(widget());
    QObject::connect(button, &QPushButton::clicked, [this] { dispatch(OnClick, this); });
}

std::string TButton::Caption() const { return static_cast<QPushButton*>(widget())->text().toStdString(); }

// ---- TScrollBar -------------------------------------------------------------------------------

TScrollBar::TScrollBar(TForm* owner, int left, int top, int width, int height)
    : TControl(owner, new ScrollBar(Qt::Horizontal, owner->client()), left, top, width, height) {
    auto* bar = static_cast<QScrollBar*>(widget());
    bar->setFocusPolicy(Qt::StrongFocus);  // a tab stop whose arrow keys move it
    bar->setSingleStep(1);
    bar->setPageStep(1);              // a click on the track moves one step
    bar->setInvertedControls(false);  // Right and Up raise the position, as the arrows show
    QObject::connect(bar, &QScrollBar::valueChanged, [this] { dispatch(OnChange, this); });
}

int TScrollBar::Position() const { return static_cast<QScrollBar*>(widget())->value(); }
void TScrollBar::SetPosition(int position) { static_cast<QScrollBar*>(widget())->setValue(position); }
void TScrollBar::SetRange(int min, int max) { static_cast<QScrollBar*>(widget())->setRange(min, max); }

// ---- TEdit ------------------------------------------------------------------------------------

TEdit::TEdit(TForm* owner, int left, int top, int width, int height)
    : TControl(owner, new QLineEdit(owner->client()), left, top, width, height) {
    widget()->setAcceptDrops(false);  // a file dropped here opens it, as anywhere on the window
}

std::string TEdit::Text() const { return static_cast<QLineEdit*>(widget())->text().toStdString(); }
void TEdit::SetText(const std::string& s) { static_cast<QLineEdit*>(widget())->setText(text(s)); }

// ---- TImage -----------------------------------------------------------------------------------

TImage::TImage(TForm* owner, int left, int top, int width, int height)
    : TControl(owner, new ImageView(owner->client(), *this), left, top, width, height),
      Picture(new TPicture),
      picture_(Picture) {
    [[maybe_unused]] static const bool announced = (QAccessible::installFactory(pictureViewAccessible), true);
    Picture->OnChange = [this] {
        nameWithSize();
        widget()->update();
    };
}

void TImage::SetHint(const std::string& hint, const std::string& accessibleName,
                     const std::string& description) {
    TControl::SetHint(hint, accessibleName, description);
    accessibleName_ = accessibleName;
    nameWithSize();
}

void TImage::SetStretch(bool stretch) {
    if (stretch_ == stretch) return;
    stretch_ = stretch;
    widget()->update();
}

void TImage::PaintNow() { widget()->repaint(); }

// "Source picture, 640 x 480"
void TImage::nameWithSize() {
    const TBitmap& shown = Picture->Bitmap();
    std::string name = accessibleName_;
    if (!name.empty() && !shown.Empty())
        name = translate("Window", "%1, %2 x %3").arg(name, shown.Width(), shown.Height());
    widget()->setAccessibleName(text(name));
}

// ---- TOpenPictureDialog -----------------------------------------------------------------------

namespace {

// "All pictures (*.bmp *.png ...);;Bitmaps (*.bmp *.dib);;...;;All files (*)"; a kind's name is
// translated where its table marks it (QT_TRANSLATE_NOOP in the context "PictureKinds").
std::string pictureFilter() {
    std::string all, each;
    for (const PictureKind& kind : pictureKinds()) {
        std::string patterns;
        for (const std::string& extension : kind.extensions)
            patterns += (patterns.empty() ? "*" : " *") + extension;
        all += (all.empty() ? "" : " ") + patterns;
        each += ";;" + translate("PictureKinds", kind.name.c_str()) + " (" + patterns + ")";
    }
    return translate("Window", "All pictures (%1)").arg(all) + each + ";;" +
           translate("Window", "All files (*)");
}

}  // namespace

TOpenPictureDialog::TOpenPictureDialog(TForm*) {}

bool TOpenPictureDialog::Execute() {
    const std::optional<std::string> chosen = prompts().openPicture(pictureFilter(), FileName);
    if (!chosen) return false;
    FileName = *chosen;
    return true;
}

// ---- TForm ------------------------------------------------------------------------------------

TForm::TForm(const std::string& caption, int left, int top, int width, int height)
    : window_(new QScrollArea), client_(new QWidget) {
    window_->setWindowTitle(text(caption));
    window_->setFrameShape(QFrame::NoFrame);
    window_->setFocusPolicy(Qt::NoFocus);  // Tab moves among the controls only
    window_->setWidgetResizable(true);     // the client area fills the window, and scrolls when larger
    window_->setWidget(client_);
    window_->move(left, top);
    window_->resize(width, height);
    QFont font = window_->font();
    font.setPixelSize(11);  // 8 points at 96 pixels per inch
    window_->setFont(font);
    new DropTarget(*this, client_);
}

TForm::~TForm() {
    delete window_;  // the widgets go first; the controls that point at them after
}

void TForm::extendClientTo(int right, int bottom) {
    const QSize needed = client_->minimumSize().expandedTo(QSize(right, bottom));
    client_->setMinimumSize(needed);
}

void TForm::Show() {
    keepOnScreen(window_);
    new KeepFrameOnScreen(window_);
    window_->show();
    // Where no window manager hands out the focus (a bare X server), the window takes it itself. A
    // new window is on top already, so it is not raised (which some platforms only warn about).
    window_->activateWindow();
    if (!tabOrder_.empty()) tabOrder_.front()->SetFocus();
}

void TForm::Close() { window_->close(); }

void TForm::SetIcon(std::initializer_list<const char*> files) {
    QIcon icon;
    for (const char* file : files) icon.addFile(QString::fromUtf8(file));
    window_->setWindowIcon(icon);
}

void TForm::SetTabOrder(std::initializer_list<TControl*> controls) {
    tabOrder_.assign(controls);
    for (std::size_t i = 1; i < tabOrder_.size(); ++i)
        QWidget::setTabOrder(tabOrder_[i - 1]->widget(), tabOrder_[i]->widget());
}

QWidget* TForm::window() const { return window_; }

}  // namespace platform
