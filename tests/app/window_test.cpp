// The window itself: its controls and their start, focus, tab order and keys, how the views draw,
// the busy cursor and the boxes, captions at every scale, and where the window is placed.
#include <QAccessible>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>

#include "app/window_fixture.h"

using namespace testing_support;
using Window = WindowTest;

namespace {
// Counts the paint events of the widgets it filters.
struct PaintCount : QObject {
    bool eventFilter(QObject*, QEvent* event) override {
        count += event->type() == QEvent::Paint;
        return false;
    }
    int count = 0;
};

// What a screen reader is told of the control.
std::string accessible(platform::TControl* control, QAccessible::Text text) {
    return QAccessible::queryAccessibleInterface(control->widget())->text(text).toStdString();
}
}  // namespace

// Each control also says what it does and which stage file it writes or needs, as its tooltip and
// as its description to screen readers.
TEST_F(Window, ControlsStartWhereAndAsTheLayoutSays) {
    struct Case {
        platform::TControl* control;
        QRect at;
        const char* caption;
        const char* name;
        const char* says;
    };
    for (const Case c :
         {Case{form->Image1, {24, 24, 321, 241}, "", "Source picture", "loaded picture"},
          {form->Image2, {344, 24, 321, 241}, "", "Result picture", "last result"},
          {form->Button2, {32, 288, 89, 25}, "LOAD", "Load", "writes nothing"},
          {form->Button4, {120, 288, 89, 25}, "灰階", "Grey (灰階)", "writes A.bmp"},
          {form->Button5, {120, 312, 89, 25}, "濾波", "Filter (濾波)", "needs A.bmp, writes B.bmp"},
          {form->Button1, {120, 336, 89, 25}, "SOBEL", "Sobel", "needs B.bmp, writes C.bmp"},
          {form->Button3, {208, 336, 89, 25}, "CLOSE", "Close", "writes nothing"},
          {form->ScrollBar1, {32, 384, 169, 25}, "", "Edge threshold", "writes nothing"},
          {form->Edit1, {208, 384, 41, 21}, "", "Edge threshold value", "changes nothing"}}) {
        EXPECT_EQ(c.control->widget()->geometry(), c.at) << c.caption;
        EXPECT_EQ(*c.caption ? static_cast<platform::TButton*>(c.control)->Caption() : "", c.caption);
        const std::string description = accessible(c.control, QAccessible::Description);
        EXPECT_EQ(accessible(c.control, QAccessible::Name), c.name);
        EXPECT_NE(description.find(c.says), std::string::npos) << description;
        EXPECT_TRUE(c.control->widget()->toolTip().contains(QString::fromStdString(description)))
            << c.control->widget()->toolTip().toStdString();
    }
    EXPECT_EQ(std::tuple(form->Caption(), form->window()->pos(), form->window()->size()),
              std::tuple(std::string("Form1"), QPoint(192, 114), QSize(688, 453)));
    const auto* bar = static_cast<QScrollBar*>(form->ScrollBar1->widget());
    EXPECT_EQ(std::tuple(bar->minimum(), bar->maximum(), bar->value(), bar->singleStep(), bar->pageStep()),
              std::tuple(0, 255, 128, 1, 1));
    load(std::nullopt);
    EXPECT_EQ(prompts->said, Errors{}) << "a cancelled dialog opens nothing";
}

TEST_F(Window, FocusStartsOnSobelTabFollowsTheOrderAndKeysWork) {
    form->Show();
    form->window()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form->window()));
    const QImage focused = form->Button1->widget()->grab().toImage();
    form->Button2->SetFocus();
    EXPECT_TRUE(form->Button1->widget()->grab().toImage() != focused) << "SOBEL starts with a focus frame";
    form->Button1->SetFocus();
    for (platform::TControl* next : std::initializer_list<platform::TControl*>{
             form->Button1, form->ScrollBar1, form->Edit1, form->Button2, form->Button3, form->Button4,
             form->Button5, form->Button1}) {
        ASSERT_EQ(QApplication::focusWidget(), next->widget());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    for (const auto& [key, threshold] :
         {std::pair{Qt::Key_Right, "129"}, {Qt::Key_Left, "128"}, {Qt::Key_Left, "127"}}) {
        QTest::keyClick(form->ScrollBar1->widget(), key);
        EXPECT_EQ(form->Edit1->Text(), threshold);
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    // Each presses SOBEL, Return and Enter after an animation.
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
        prompts->said.clear();
        QTest::keyClick(QApplication::focusWidget(), key);
        EXPECT_TRUE(QTest::qWaitFor([&] { return prompts->said.size() == 2; })) << key;
        const std::string missing =
            "B.bmp: no such file in " + fs::current_path().string() + "; 濾波 makes it";
        EXPECT_EQ(prompts->said, (Errors{"請載入圖檔!!", missing})) << key;
    }
}

TEST_F(Window, ViewsDrawTheirPicturesStretchedOrAtTheirOwnSize) {
    Pixels p(4, 2, {0, 0, 255});
    p.at(3, 1) = {255, 0, 0};  // red, with a blue bottom-right pixel
    load(savePicture(p));
    click(form->Button4);
    EXPECT_EQ(accessible(form->Image1, QAccessible::Name), "Source picture, 4 x 2");
    const QImage left = form->Image1->widget()->grab().toImage();
    const QImage right = form->Image2->widget()->grab().toImage();
    EXPECT_EQ(std::tuple(left.size(), left.pixel(5, 5), left.pixel(200, 60), left.pixel(315, 235)),
              std::tuple(QSize(321, 241), qRgb(255, 0, 0), qRgb(255, 0, 0), qRgb(0, 0, 255)));
    EXPECT_EQ(std::pair(right.pixel(5, 5), right.pixel(315, 235)),
              std::pair(qRgb(76, 76, 76), qRgb(29, 29, 29)));  // grey levels
    form->Show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form->window()));
    PaintCount paints;
    form->Image2->widget()->installEventFilter(&paints);
    form->Image2->Picture->Assign(form->Image2->Picture->Bitmap());
    EXPECT_TRUE(QTest::qWaitFor([&] { return paints.count > 0; }, 2000)) << "assigning repaints the view";
    paints.count = 0;
    form->Image2->SetStretch(false);
    EXPECT_TRUE(QTest::qWaitFor([&] { return paints.count > 0; }, 2000)) << "stretching repaints the view";
    const QImage own = form->Image2->widget()->grab().toImage();
    EXPECT_EQ(own.pixel(3, 1), qRgb(29, 29, 29));
    EXPECT_NE(own.pixel(4, 1), qRgb(76, 76, 76)) << "nothing right of the picture";
    EXPECT_NE(own.pixel(2, 2), qRgb(76, 76, 76)) << "nothing below the picture";
}

TEST_F(Window, BusyCursorWhileAHandlerRunsThenScrollBarsAndCloseWriteNothing) {
    click(form->Button4);  // no picture: the handler opens a box twice
    EXPECT_EQ(prompts->busy, std::vector<bool>(2, true));
    platform::setPrompts(nullptr);  // the real boxes, each closed as soon as it shows
    int boxes = 0;
    QTimer closer;
    closer.callOnTimeout([&] {
        if (QWidget* box = QApplication::activeModalWidget()) boxes += box->close();
    });
    closer.start(20);
    click(form->Button4);
    EXPECT_EQ(boxes, 2);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the boxes and the handler put the cursor back";
    fs::remove("A.bmp");
    form->Show();
    auto* area = static_cast<QScrollArea*>(form->window());
    EXPECT_FALSE(area->horizontalScrollBar()->isVisible());
    EXPECT_FALSE(area->verticalScrollBar()->isVisible());
    EXPECT_EQ(form->Image1->widget()->mapTo(area, QPoint(0, 0)), QPoint(24, 24))
        << "no frame around the client area";
    area->resize(300, 200);  // smaller than the controls: scroll bars, controls in place
    QApplication::processEvents();
    EXPECT_TRUE(area->horizontalScrollBar()->isVisible());
    EXPECT_TRUE(area->verticalScrollBar()->isVisible());
    EXPECT_EQ(form->Button3->widget()->geometry(), QRect(208, 336, 89, 25));
    click(form->Button3);
    EXPECT_FALSE(form->window()->isVisible());
    EXPECT_TRUE(fs::is_empty(dir()));
}

// Also run at the scale factors 1.5 and 2 (see CMakeLists.txt): every caption fits its button,
// with every glyph in the font.
TEST_F(Window, CaptionsFitAtThisScale) {
    form->Show();
    for (platform::TButton* button :
         {form->Button1, form->Button2, form->Button3, form->Button4, form->Button5}) {
        const QFontMetrics metrics(button->widget()->font());
        const int margin = button->widget()->style()->pixelMetric(QStyle::PM_ButtonMargin);
        EXPECT_LE(metrics.horizontalAdvance(QString::fromStdString(button->Caption())) + 2 * margin,
                  button->widget()->width())
            << button->Caption();
        EXPECT_LE(metrics.height() + 4, button->widget()->height()) << button->Caption();
        for (const QChar c : QString::fromStdString(button->Caption()))
            EXPECT_TRUE(metrics.inFontUcs4(c.unicode())) << button->Caption();
    }
}

// Shown on a screen too small for it, the window is moved, never resized, so that all of it shows;
// one larger than the screen keeps its top-left corner, with the title bar, on it.
TEST_F(Window, ShownOnTheScreenMovedNeverResized) {
    form->Show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form->window()));
    // The offscreen screen is 800 x 800, and its windows have a frame of 2 pixels.
    EXPECT_EQ(std::pair(form->window()->frameGeometry(), form->window()->size()),
              std::pair(QRect(108, 114, 692, 457), QSize(688, 453)));
    struct Case {
        QRect frame;
        QRect available;
        QPoint at;
    };
    for (const Case c : {Case{{192, 114, 696, 480}, {0, 0, 1280, 1024}, {192, 114}},
                         {{192, 114, 688, 453}, {0, 0, 640, 512}, {0, 59}},  // 1280 x 1024 at scale 2
                         {{-50, 10, 400, 300}, {1280, 24, 1024, 768}, {1280, 24}}}) {
        EXPECT_EQ(platform::placeWithin(c.frame, c.available), c.at) << c.frame.x() << "," << c.frame.y();
    }
}
