// The window itself: where its controls are, focus, tab order and keys, how the views draw, the
// busy cursor and the boxes, and where the window is placed.
#include <QAbstractButton>
#include <QDropEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QStyle>
#include <QTimer>

#include "app/window_fixture.h"
#include "platform/application.h"
#include "platform/translation.h"

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
}  // namespace

// The controls in their Tab order, each where the layout puts it, with a name for screen readers
// and a tooltip that is also its description, a button's caption fitting it with every glyph in the
// font (also run at the scale factors 1.5 and 2: see CMakeLists.txt); the focus starts on SOBEL, with its
// focus frame, and Tab goes through them; Right and PageUp (a page, like a click on the track, is one step)
// each raise the threshold by one, and Return and Enter press SOBEL (after an animation): no picture, then no
// B.bmp. A cancelled dialog opens nothing.
TEST_F(Window, ControlsInTabOrderWhereTheLayoutPutsThemAndKeysWork) {
    load(std::nullopt);
    EXPECT_EQ(prompts->said, Errors{}) << "a cancelled dialog opens nothing";
    form->Show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form->window()));
    EXPECT_FALSE(form->window()->windowIcon().isNull()) << "the window has its icon";
    const QImage focused = form->Button1->widget()->grab().toImage();
    form->Button2->SetFocus();
    EXPECT_TRUE(form->Button1->widget()->grab().toImage() != focused) << "SOBEL starts with a focus frame";
    const QImage barUnfocused = form->ScrollBar1->widget()->grab().toImage();
    form->ScrollBar1->SetFocus();
    EXPECT_TRUE(form->ScrollBar1->widget()->grab().toImage() != barUnfocused) << "no focus frame on the bar";
    form->Button1->SetFocus();
    for (const auto& [control, at] :
         std::initializer_list<std::pair<platform::TControl*, QRect>>{{form->Button1, {120, 336, 89, 25}},
                                                                      {form->ScrollBar1, {32, 384, 169, 25}},
                                                                      {form->Edit1, {208, 384, 41, 21}},
                                                                      {form->Button2, {32, 288, 89, 25}},
                                                                      {form->Button3, {208, 336, 89, 25}},
                                                                      {form->Button4, {120, 288, 89, 25}},
                                                                      {form->Button5, {120, 312, 89, 25}},
                                                                      {form->Image1, {24, 24, 321, 241}},
                                                                      {form->Image2, {344, 24, 321, 241}}}) {
        const std::string description = control->widget()->accessibleDescription().toStdString();
        SCOPED_TRACE(description);
        EXPECT_EQ(control->widget()->geometry(), at);
        EXPECT_EQ(control->widget()->font().pixelSize(), 11)
            << "the form's font, 8 points at 96 pixels per inch";
        EXPECT_NE(control->widget()->accessibleName(), "");
        EXPECT_NE(description, "");
        EXPECT_TRUE(control->widget()->toolTip().contains(QString::fromStdString(description)));
        if (const auto* button = qobject_cast<QAbstractButton*>(control->widget())) {
            const QFontMetrics metrics(button->font());
            const int margin = button->style()->pixelMetric(QStyle::PM_ButtonMargin);
            EXPECT_LE(metrics.horizontalAdvance(button->text()) + 2 * margin, button->width())
                << "its caption fits";
            for (const QChar c : button->text())
                EXPECT_TRUE(metrics.inFontUcs4(c.unicode())) << "a glyph of its caption";
        }
        if (control->widget()->focusPolicy() == Qt::NoFocus) continue;
        EXPECT_EQ(QApplication::focusWidget(), control->widget());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QTest::keyClick(form->ScrollBar1->widget(), Qt::Key_Right);
    QTest::keyClick(form->ScrollBar1->widget(), Qt::Key_PageUp);
    EXPECT_EQ(form->Edit1->Text(), "130");
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
        prompts->said.clear();
        QTest::keyClick(QApplication::focusWidget(), key);
        ASSERT_TRUE(QTest::qWaitFor([&] { return prompts->said.size() == 2; })) << key;
        EXPECT_EQ(prompts->said[1].substr(0, 6), "B.bmp:") << key;
    }
}

// The views draw their pictures stretched, or at their own size with nothing beyond; showing the
// window, LOAD, the preview and a change of stretching each paint their view at once.
TEST_F(Window, ViewsDrawTheirPicturesStretchedOrAtTheirOwnSize) {
    Pixels p(4, 2, {0, 0, 255});
    p.at(3, 1) = {255, 0, 0};  // red, with a blue bottom-right pixel
    load(savePicture(p));
    click(form->Button4);
    const QImage left = form->Image1->widget()->grab().toImage();
    const QImage right = form->Image2->widget()->grab().toImage();
    EXPECT_EQ(QColor(left.pixel(5, 5)), QColor(Qt::red));
    EXPECT_EQ(QColor(left.pixel(315, 235)), QColor(Qt::blue));
    const int red = referenceLuma(255, 0, 0), blue = referenceLuma(0, 0, 255);
    EXPECT_EQ(QColor(right.pixel(5, 5)), QColor(red, red, red));
    EXPECT_EQ(QColor(right.pixel(315, 235)), QColor(blue, blue, blue));
    PaintCount leftPaints;
    PaintCount rightPaints;
    form->Image1->widget()->installEventFilter(&leftPaints);
    form->Image2->widget()->installEventFilter(&rightPaints);
    // Whether `action` has `paints`' view painted again.
    const auto repaints = [](PaintCount& paints, const std::function<void()>& action) {
        QApplication::processEvents();  // every paint asked for before
        paints.count = 0;
        action();
        return QTest::qWaitFor([&] { return paints.count > 0; }, 2000);
    };
    EXPECT_TRUE(repaints(leftPaints, [&] { form->Show(); })) << "showing the window";
    EXPECT_TRUE(repaints(leftPaints, [&] { load(savePicture(p)); })) << "LOAD";
    EXPECT_TRUE(repaints(rightPaints, [&] { form->ScrollBar1->SetPosition(90); })) << "the preview";
    EXPECT_TRUE(repaints(rightPaints, [&] { form->Image2->SetStretch(false); })) << "stretching";
    const QImage own = form->Image2->widget()->grab().toImage();
    const int edge = referenceEdges(p, 90).at(3, 1).b;  // a 4 x 2 picture has no inner pixel: its grey
    EXPECT_EQ(QColor(own.pixel(3, 1)), QColor(edge, edge, edge));
    EXPECT_NE(QColor(own.pixel(4, 2)), QColor(edge, edge, edge)) << "nothing beyond the picture";
}

// The handler's busy cursor shows in the boxes it opens (as the arrow in real ones, which put the
// cursor back as they close, as the handler does). Real boxes speak the user's language: under
// Taiwanese Chinese, the message, Qt's button and the C library's reason are Chinese.
TEST_F(Window, BusyCursorWhileAHandlerRunsAndRealBoxesInTheUsersLanguage) {
    click(form->Button4);  // no picture: the handler opens a box twice
    EXPECT_EQ(prompts->busy, std::vector<bool>(2, true));
    platform::setPrompts(nullptr);  // the real boxes, each closed as soon as it shows
    QStringList shown;
    QTimer closer;
    closer.callOnTimeout([&shown] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            const QCursor* cursor = QApplication::overrideCursor();
            const bool arrow = cursor && cursor->shape() == Qt::ArrowCursor;
            shown << box->text() + " [" + box->buttons().front()->text() + "]" + (arrow ? "" : " (busy)");
            box->close();
        }
    });
    closer.start(20);
    click(form->Button4);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    if (!std::setlocale(LC_MESSAGES, "zh_TW.UTF-8")) GTEST_SKIP() << "no zh_TW locale (locales-all has it)";
    platform::chooseLanguage({"zh-TW"});
    form->stageFolder = dir() / "gone";
    form->OpenPicture(savePicture(grey(2, 2, 9)));
    click(form->Button4);
    platform::chooseLanguage({"en"});
    std::setlocale(LC_MESSAGES, "");
    const std::string cannotWrite =
        "A.bmp：無法寫入資料夾 " + (dir() / "gone").string() + "（沒有此一檔案或目錄） [確定]";
    EXPECT_EQ(shown.join(" / ").toStdString(), "請載入圖檔!! [OK] / 請載入圖檔!! [OK] / " + cannotWrite);
}

// A dropped local file opens as LOAD opens it (the first of several, named by bytes that are not
// UTF-8 here), and the left view is named with its size for screen readers; anything else is refused
// as the drag goes.
TEST_F(Window, DropsOfFilesOnTheWindow) {
    savePicture(designedPicture(7, 9), "caf\xE9.bmp");
    const QUrl seven =
        QUrl::fromEncoded(QByteArray::fromStdString("file://" + dir().string() + "/caf%E9.bmp"));
    for (const auto& [urls, accepted] :
         {std::pair{QList<QUrl>{seven, QUrl::fromLocalFile("missing.png")}, true},
          {{QUrl("https://example.org/seven.bmp")}, false}}) {
        SCOPED_TRACE(urls.front().toString().toStdString());
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(300, 300), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QDropEvent drop(QPointF(300, 300), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form->client(), &enter);
        QApplication::sendEvent(form->client(), &drop);
        QApplication::processEvents();
        EXPECT_EQ(enter.isAccepted(), accepted);
        EXPECT_EQ(drop.isAccepted(), accepted);
        EXPECT_EQ(form->Image1->widget()->accessibleName(), "Source picture, 7 x 9") << "loaded";
    }
}

// The program's loop shows the main form before its first step. Shown on a screen too small for it,
// the window is moved, never resized, so that all of it shows; one larger than the screen keeps its
// top-left corner, with the title bar, on it. CLOSE closes it and ends the loop.
TEST_F(Window, RunShowsTheFormOnTheScreenMovedNeverResizedUntilClose) {
    platform::Application->CreateForm(Form1);
    QTimer::singleShot(10000, qApp, &QCoreApplication::quit);  // a form that never shows never closes
    platform::Application->Run([] {
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Form1->window()));
        // Where it opens, at (192, 114), the window would run past the screen's right edge: it moves
        // left just enough, keeping its top and its size.
        const QRect frame = Form1->window()->frameGeometry();
        EXPECT_EQ(frame.right(), Form1->window()->screen()->availableGeometry().right());
        EXPECT_EQ(frame.top(), 114);
        EXPECT_EQ(Form1->window()->size(), QSize(688, 453));
        QTest::mouseClick(Form1->Button3->widget(), Qt::LeftButton);
        EXPECT_FALSE(Form1->window()->isVisible());
    });
    // Larger than a screen that does not start at (0, 0): its top-left corner on the screen.
    EXPECT_EQ(platform::placeWithin({192, 114, 688, 453}, {1280, 24, 640, 512}), QPoint(1280, 83));
}
