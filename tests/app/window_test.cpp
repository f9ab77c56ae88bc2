#include <QCursor>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>

#include "app/window_fixture.h"

using namespace testing_support;

namespace {

class Window : public WindowTest {
protected:
    void showActive() {
        form->Show();
        form->window()->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form->window()));
    }
    QWidget* focused() const { return QApplication::focusWidget(); }
};

}  // namespace

TEST_F(Window, ControlsStandWhereTheLayoutPutsThem) {
    struct Case {
        platform::TControl* control;
        QRect at;
        const char* caption;
    };
    for (const Case c : {Case{form->Image1, {24, 24, 321, 241}, nullptr}, {form->Image2, {344, 24, 321, 241}, nullptr},
                         {form->Button2, {32, 288, 89, 25}, "LOAD"}, {form->Button4, {120, 288, 89, 25}, "灰階"},
                         {form->Button5, {120, 312, 89, 25}, "濾波"}, {form->Button1, {120, 336, 89, 25}, "SOBEL"},
                         {form->Button3, {208, 336, 89, 25}, "CLOSE"}, {form->ScrollBar1, {32, 384, 169, 25}, nullptr},
                         {form->Edit1, {208, 384, 41, 21}, nullptr}}) {
        EXPECT_EQ(c.control->widget()->geometry(), c.at) << (c.caption ? c.caption : "");
        if (c.caption) {
            EXPECT_EQ(static_cast<QPushButton*>(c.control->widget())->text().toStdString(), c.caption);
        }
    }
    EXPECT_EQ(form->Caption(), "Form1");
    EXPECT_EQ(form->window()->pos(), QPoint(192, 114));
}

TEST_F(Window, StartsWithEmptyViewsAndTheThresholdAt128) {
    EXPECT_TRUE(form->Image1->Picture->Bitmap().Empty());
    EXPECT_TRUE(form->Image2->Picture->Bitmap().Empty());
    EXPECT_FALSE(form->Image1->Stretch());
    EXPECT_FALSE(form->Image2->Stretch());
    const auto* bar = static_cast<QScrollBar*>(form->ScrollBar1->widget());
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 255);
    EXPECT_EQ(bar->value(), 128);
    EXPECT_EQ(bar->singleStep(), 1);
    EXPECT_EQ(bar->pageStep(), 1);
    EXPECT_EQ(form->Edit1->Text(), "");
    EXPECT_TRUE(prompts->messages.empty());
}

TEST_F(Window, FocusStartsOnSobelAndTabFollowsTheTabOrder) {
    showActive();
    const std::vector<platform::TControl*> order = {form->Button1, form->ScrollBar1, form->Edit1, form->Button2,
                                                    form->Button3, form->Button4,    form->Button5, form->Button1};
    for (platform::TControl* expected : order) {
        ASSERT_EQ(focused(), expected->widget()) << (focused() ? focused()->metaObject()->className() : "none");
        QTest::keyClick(focused(), Qt::Key_Tab);
    }
}

TEST_F(Window, EnterAndSpacePressTheFocusedButton) {
    showActive();
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
        prompts->messages.clear();
        prompts->errors.clear();
        QTest::keyClick(focused(), key);
        QTest::qWait(200);  // a key press animates the click
        // SOBEL ran: no picture, then no B.bmp.
        EXPECT_EQ(prompts->messages, std::vector<std::string>{"請載入圖檔!!"}) << key;
        EXPECT_EQ(prompts->errors, std::vector<std::string>{"B.bmp: no such file"}) << key;
    }
}

TEST_F(Window, ArrowKeysMoveTheThreshold) {
    showActive();
    QTest::keyClick(focused(), Qt::Key_Tab);
    ASSERT_EQ(focused(), form->ScrollBar1->widget());
    QTest::keyClick(focused(), Qt::Key_Right);
    EXPECT_EQ(form->ScrollBar1->Position(), 129);
    EXPECT_EQ(form->Edit1->Text(), "129");
    QTest::keyClick(focused(), Qt::Key_Left);
    QTest::keyClick(focused(), Qt::Key_Left);
    EXPECT_EQ(form->Edit1->Text(), "127");
}

TEST_F(Window, ShowsScrollBarsWhenMadeSmallerThanItsControls) {
    form->Show();
    auto* area = static_cast<QScrollArea*>(form->window());
    QApplication::processEvents();
    EXPECT_FALSE(area->horizontalScrollBar()->isVisible());
    EXPECT_FALSE(area->verticalScrollBar()->isVisible());
    area->resize(300, 200);
    QApplication::processEvents();
    EXPECT_TRUE(area->horizontalScrollBar()->isVisible());
    EXPECT_TRUE(area->verticalScrollBar()->isVisible());
    EXPECT_EQ(form->Button3->widget()->geometry(), QRect(208, 336, 89, 25)) << "controls keep their places";
}

TEST_F(Window, CloseEndsTheWindowWithoutWritingAnything) {
    load(savePicture(designedPicture(8, 6)));
    click(form->Button4);
    std::filesystem::remove(dir() / "A.bmp");
    form->Show();
    click(form->Button3);
    EXPECT_FALSE(form->window()->isVisible());
    EXPECT_FALSE(exists("A.bmp"));
}

TEST_F(Window, StretchedViewDrawsThePictureOverTheWholeView) {
    Pixels p(4, 2, {0, 0, 255});
    p.at(3, 1) = {255, 0, 0};  // bottom-right pixel blue
    load(savePicture(p));
    const QImage drawn = form->Image1->widget()->grab().toImage();
    EXPECT_EQ(drawn.size(), QSize(321, 241));
    EXPECT_EQ(drawn.pixel(5, 5), qRgb(255, 0, 0));
    EXPECT_EQ(drawn.pixel(315, 235), qRgb(0, 0, 255));
    EXPECT_EQ(drawn.pixel(200, 60), qRgb(255, 0, 0));
}

TEST_F(Window, GreyPictureIsDrawnInItsLevels) {
    Pixels p(4, 2, {0, 0, 255});
    p.at(3, 1) = {255, 0, 0};
    load(savePicture(p));
    click(form->Button4);
    const QImage drawn = form->Image2->widget()->grab().toImage();
    EXPECT_EQ(drawn.pixel(5, 5), qRgb(76, 76, 76));  // the luma of pure red
    EXPECT_EQ(drawn.pixel(315, 235), qRgb(29, 29, 29));  // of pure blue
}

TEST_F(Window, UnstretchedViewDrawsThePictureAtItsOwnSize) {
    form->Image2->Picture->Assign(toBitmap(Pixels(4, 2, {0, 255, 0})));
    const QImage drawn = form->Image2->widget()->grab().toImage();
    EXPECT_EQ(drawn.pixel(3, 1), qRgb(0, 255, 0));
    EXPECT_NE(drawn.pixel(4, 1), qRgb(0, 255, 0));
    EXPECT_NE(drawn.pixel(3, 2), qRgb(0, 255, 0));
}

TEST_F(Window, ShowsTheProgramsIconAtSmallAndLargeSizes) {
    const QList<QSize> sizes = form->window()->windowIcon().availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(32, 32)));
    EXPECT_TRUE(sizes.contains(QSize(128, 128)));
}

TEST_F(Window, OpenDialogListsAllPictureKindsThenEachThenAllFiles) {
    load(std::nullopt);
    EXPECT_EQ(prompts->lastFilter,
              "All pictures (*.bmp *.dib *.png *.jpg *.jpeg *.jpe *.jfif *.gif);;Bitmaps (*.bmp *.dib);;"
              "PNG pictures (*.png);;JPEG pictures (*.jpg *.jpeg *.jpe *.jfif);;GIF pictures (*.gif);;All files (*)");
}

namespace {

// Notes the mouse cursor at the moment a handler opens a box.
class CursorWatchingPrompts : public ScriptedPrompts {
public:
    void message(const std::string& text) override {
        cursors.push_back(QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : Qt::ArrowCursor);
        ScriptedPrompts::message(text);
    }
    std::vector<Qt::CursorShape> cursors;
};

}  // namespace

TEST_F(Window, BusyCursorShowsWhileAHandlerRunsAndGoesAfter) {
    auto watching = std::make_unique<CursorWatchingPrompts>();
    CursorWatchingPrompts* seen = watching.get();
    auto previous = platform::setPrompts(std::move(watching));
    click(form->Button4);  // no picture: the handler opens a box twice
    const auto keepSeenAlive = platform::setPrompts(std::move(previous));
    EXPECT_EQ(seen->cursors, (std::vector<Qt::CursorShape>{Qt::WaitCursor, Qt::WaitCursor}));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}
