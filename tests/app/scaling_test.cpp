// Run once per scale factor (ctest sets QT_SCALE_FACTOR): at each, the controls overlap at most by
// the layout's own pixel, every caption fits its button with every glyph in the font, and the
// pictures fill their views.
#include <QFontMetrics>
#include <QPushButton>
#include <QStyle>

#include "app/window_fixture.h"

using namespace testing_support;
using Scaling = WindowTest;

TEST_F(Scaling, ControlsCaptionsAndPicturesFitAtThisScale) {
    form->Show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form->window()));
    const qreal f = form->window()->devicePixelRatioF();
    auto onScreen = [&](platform::TControl* c) { const QRectF r = c->widget()->geometry(); return QRectF(r.topLeft() * f, r.size() * f); };
    const std::vector<platform::TControl*> all = {form->Image1, form->Image2, form->Button2, form->Button4, form->Button5,
                                                  form->Button1, form->Button3, form->ScrollBar1, form->Edit1};
    for (std::size_t i = 0; i < all.size(); ++i)
        for (std::size_t j = i + 1; j < all.size(); ++j) {
            const QRectF overlap = onScreen(all[i]).intersected(onScreen(all[j]));
            EXPECT_TRUE(overlap.isEmpty() || std::min(overlap.width(), overlap.height()) <= std::ceil(f)) << i << " and " << j << " at " << f;
        }
    for (platform::TButton* button : {form->Button1, form->Button2, form->Button3, form->Button4, form->Button5}) {
        auto* widget = static_cast<QPushButton*>(button->widget());
        const QFontMetrics metrics(widget->font());
        const int margin = widget->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, widget);
        EXPECT_LE(metrics.boundingRect(widget->text()).width() + 2 * margin, widget->width()) << button->Caption() << " at " << f;
        EXPECT_LE(metrics.height() + 4, widget->height()) << button->Caption() << " at " << f;
        for (const QChar c : widget->text()) EXPECT_TRUE(metrics.inFontUcs4(c.unicode())) << button->Caption();
    }
    Pixels picture(8, 6, {200, 40, 10});
    picture.at(7, 5) = {10, 220, 10};
    load(savePicture(picture));
    click(form->Button4);
    const QImage window = form->window()->grab().toImage();
    EXPECT_NEAR(window.width(), 688 * f, 1);
    auto pixelAt = [&](int x, int y) { return window.pixel(static_cast<int>(x * f), static_cast<int>(y * f)); };
    const int luma = referenceLuma(10, 40, 200);
    EXPECT_EQ(std::tuple(pixelAt(30, 30), pixelAt(340, 260), pixelAt(350, 30)), std::tuple(qRgb(10, 40, 200), qRgb(10, 220, 10), qRgb(luma, luma, luma)));
}
