// Run once per scale factor (QT_SCALE_FACTOR is set by ctest): the window must look right at
// each. With EDGEPIPE_SCREENSHOTS set to a folder, the window is also saved there as a picture.
#include <QFontMetrics>
#include <QPushButton>
#include <QStyle>

#include "app/window_fixture.h"

using namespace testing_support;

namespace {

class Scaling : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        form->Show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form->window()));
    }
    qreal factor() const { return form->window()->devicePixelRatioF(); }

    // A control's rectangle in device pixels, as it lands on the screen.
    QRectF onScreen(const platform::TControl* control) const {
        const QRect r = control->widget()->geometry();
        return QRectF(r.x() * factor(), r.y() * factor(), r.width() * factor(), r.height() * factor());
    }

    std::vector<platform::TControl*> controls() const {
        return {form->Image1, form->Image2, form->Button2, form->Button4, form->Button5,
                form->Button1, form->Button3, form->ScrollBar1, form->Edit1};
    }
};

}  // namespace

TEST_F(Scaling, ControlsOverlapAtMostByTheLayoutsOwnPixel) {
    const qreal allowed = std::ceil(factor());  // one logical pixel, rounded up to whole device pixels
    const auto all = controls();
    for (std::size_t i = 0; i < all.size(); ++i)
        for (std::size_t j = i + 1; j < all.size(); ++j) {
            const QRectF overlap = onScreen(all[i]).intersected(onScreen(all[j]));
            if (overlap.isEmpty()) continue;
            EXPECT_LE(std::min(overlap.width(), overlap.height()), allowed)
                << all[i]->widget()->metaObject()->className() << " " << i << " and " << j;
        }
}

TEST_F(Scaling, EveryCaptionFitsInsideItsButton) {
    for (platform::TButton* button : {form->Button1, form->Button2, form->Button3, form->Button4, form->Button5}) {
        auto* widget = static_cast<QPushButton*>(button->widget());
        const QFontMetrics metrics(widget->font());
        const int margin = widget->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, widget);
        const QRect text = metrics.boundingRect(widget->text());
        EXPECT_LE(text.width() + 2 * margin, widget->width()) << button->Caption() << " at " << factor();
        EXPECT_LE(metrics.height() + 4, widget->height()) << button->Caption() << " at " << factor();
        // Every glyph exists in the font: a missing one would draw as a box.
        for (const QChar c : widget->text()) EXPECT_TRUE(metrics.inFontUcs4(c.unicode())) << button->Caption();
    }
}

TEST_F(Scaling, PicturesFillTheirViewsAtEveryScale) {
    Pixels picture(8, 6, {200, 40, 10});
    picture.at(7, 5) = {10, 220, 10};
    load(savePicture(picture));
    click(form->Button4);
    const QImage window = form->window()->grab().toImage();
    EXPECT_NEAR(window.width(), 688 * factor(), 1);
    auto pixelAt = [&](int x, int y) { return window.pixel(static_cast<int>(x * factor()), static_cast<int>(y * factor())); };
    EXPECT_EQ(pixelAt(30, 30), qRgb(10, 40, 200)) << "top-left of the source view";
    EXPECT_EQ(pixelAt(340, 260), qRgb(10, 220, 10)) << "bottom-right of the source view";
    const std::uint8_t grey = referenceLuma(10, 40, 200);
    EXPECT_EQ(pixelAt(350, 30), qRgb(grey, grey, grey)) << "the result view";
    if (const char* folder = std::getenv("EDGEPIPE_SCREENSHOTS"))
        window.save(QString("%1/window-%2x.png").arg(folder).arg(factor()));
}
