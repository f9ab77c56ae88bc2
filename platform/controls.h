#pragma once
// The window and its controls. Each control is a small object that owns no Qt state of its own:
// it points at the Qt widget that the window owns, and raises its events through one dispatch
// that shows whatever a handler throws (see application.h).
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "platform/graphics.h"

class QWidget;
class QScrollArea;
class QPoint;
class QRect;

namespace platform {

class TObject {
public:
    virtual ~TObject() = default;
};

using TNotifyEvent = std::function<void(TObject* sender)>;
using TDropFileEvent = std::function<void(TObject* sender, const std::string& fileName)>;

class TForm;

class TControl : public TObject {
public:
    // The Qt widget, for the platform's own code and for tests that press keys and buttons.
    QWidget* widget() const { return widget_; }
    void SetFocus();
    // What the control does, as its tooltip, and its name and description for screen readers and
    // automation; the description is the tooltip unless given.
    virtual void SetHint(const std::string& hint, const std::string& accessibleName,
                         const std::string& description = "");

protected:
    TControl(TForm* owner, QWidget* widget, int left, int top, int width, int height);

private:
    QWidget* widget_;
};

class TButton : public TControl {
public:
    TButton(TForm* owner, const std::string& caption, int left, int top, int width, int height);
    std::string Caption() const;
    TNotifyEvent OnClick;
};

class TScrollBar : public TControl {
public:
    TScrollBar(TForm* owner, int left, int top, int width, int height);
    int Position() const;
    void SetPosition(int position);
    void SetRange(int min, int max);
    // Raised on every change of the position, whatever moved it.
    TNotifyEvent OnChange;
};

class TEdit : public TControl {
public:
    TEdit(TForm* owner, int left, int top, int width, int height);
    std::string Text() const;
    void SetText(const std::string& text);
};

// A picture view: draws its picture at its own size from the top-left corner, clipped, or with
// Stretch on scaled to fill the whole view (width and height independently).
class TImage : public TControl {
public:
    TImage(TForm* owner, int left, int top, int width, int height);
    bool Stretch() const { return stretch_; }
    void SetStretch(bool stretch);
    // Draws the view now, not when the event loop next runs.
    void PaintNow();
    // The accessible name also tells the picture's size while the view shows one.
    void SetHint(const std::string& hint, const std::string& accessibleName,
                 const std::string& description = "") override;
    TPicture* const Picture;

private:
    void nameWithSize();

    std::unique_ptr<TPicture> picture_;
    bool stretch_ = false;
    std::string accessibleName_;
};

// The open-picture dialog; not part of the window. FileName is the file last confirmed.
class TOpenPictureDialog : public TObject {
public:
    explicit TOpenPictureDialog(TForm* owner);
    // Shows the dialog modally; true if the user confirmed a file.
    bool Execute();
    std::string FileName;
};

// A top-level window whose client area holds the controls at fixed positions. When the window is
// made smaller than its controls it shows scroll bars.
class TForm : public TObject {
public:
    // left and top place the window on the screen; width and height are its client area.
    TForm(const std::string& caption, int left, int top, int width, int height);
    ~TForm() override;
    TForm(const TForm&) = delete;
    TForm& operator=(const TForm&) = delete;

    // Shows the window where it was placed, moved (never resized) as far as needed to be all on the
    // screen, and asks to be the active window so that the keyboard works at once.
    void Show();
    void Close();
    // The window's icon, drawn at several sizes; the desktop picks the one it needs.
    void SetIcon(std::initializer_list<const char*> files);

    // The first control in the order also takes the focus when the window is shown.
    void SetTabOrder(std::initializer_list<TControl*> controls);

    QWidget* window() const;
    QWidget* client() const { return client_; }

    // Raised when a local file is dropped anywhere on the window (the first, when several are).
    // The drag's cursor shows a drop of anything else as refused.
    TDropFileEvent OnDropFile;

protected:
    // Creates a control owned by this form: `Button1 = Make<TButton>("LOAD", 32, 288, 89, 25)`.
    template <class Control, class... Args>
    Control* Make(Args&&... args) {
        auto control = std::make_unique<Control>(this, std::forward<Args>(args)...);
        Control* raw = control.get();
        components_.push_back(std::move(control));
        return raw;
    }

private:
    friend class TControl;
    void extendClientTo(int right, int bottom);

    QScrollArea* window_;
    QWidget* client_;
    std::vector<TControl*> tabOrder_;
    std::vector<std::unique_ptr<TObject>> components_;
};

// Where a window whose frame is `frame` goes to lie within `available`: where it is when it fits,
// otherwise moved the least distance; one larger than `available` keeps its top-left corner, with
// the title bar, in it.
QPoint placeWithin(const QRect& frame, const QRect& available);

}  // namespace platform
