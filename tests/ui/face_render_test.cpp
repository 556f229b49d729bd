// The face as rendered offscreen: colours at chosen points of every part,
// checked at whatever device pixel ratio the run uses (1, and 2 under the
// "dpr2." registration), the display's text and the fonts.
#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetricsF>
#include <QLineEdit>

#include "face_painter.h"
#include "op_station.h"
#include "picture1.h"
#include "qt_environment.h"

namespace opstation::face {
namespace {

using testing::Rendering;

QColor bgr(Colour c) { return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)); }

const QColor kWhiteRgb(255, 255, 255), kBlackRgb(0, 0, 0), kTealRgb(0, 128, 128), kLightTealRgb(0, 192, 192),
    kGreyRgb(128, 128, 128), kLightGreyRgb(192, 192, 192), kGreenRgb(0, 192, 0), kRedRgb(255, 0, 0);

class FaceRender : public ::testing::Test {
protected:
    OP_Station window;
    Picture1 &picture = *window.picture1();

    Rendering render() { return Rendering(window); }
    // A display line's rectangle in window logical pixels.
    QRectF lineRect(int line) const { return logical(displayLabel(line).rect).translated(8, -32); }
};

TEST_F(FaceRender, RendersAtTheRunsPixelRatio) {
    const Rendering r = render();
    EXPECT_DOUBLE_EQ(r.pixelRatio(), testing::expectedPixelRatio());
}

TEST_F(FaceRender, ColoursAreConvertedFromBlueGreenRed) {
    EXPECT_EQ(toQColor(0x0000FF, picture.palette()), kRedRgb);
    EXPECT_EQ(toQColor(0x00C0C0, picture.palette()), QColor(192, 192, 0));
    EXPECT_EQ(toQColor(0x404000, picture.palette()), QColor(0, 64, 64));
    EXPECT_EQ(toQColor(kWindowBackground, picture.palette()), picture.palette().color(QPalette::Base));
    EXPECT_EQ(toQColor(kWindowText, picture.palette()), picture.palette().color(QPalette::Text));
    EXPECT_EQ(toQColor(kButtonText, picture.palette()), picture.palette().color(QPalette::ButtonText));
}

TEST_F(FaceRender, WhiteMarginsAroundPicture1) {
    const Rendering r = render();
    EXPECT_EQ(r.at({4, 200}), kWhiteRgb);    // left, 120 twips wide
    EXPECT_EQ(r.at({7, 530}), kWhiteRgb);
    EXPECT_EQ(r.at({361, 200}), kWhiteRgb);  // right, from 5415 twips
    EXPECT_EQ(r.at({377, 10}), kWhiteRgb);
    EXPECT_EQ(r.at({200, 517}), kWhiteRgb);  // bottom, from 7755 twips
    EXPECT_EQ(r.at({200, 516}), kTealRgb);   // the housing, cut off without a bottom outline
    EXPECT_EQ(r.at({8, 200}), kWhiteRgb);    // Picture1's own white, left of the housing
    EXPECT_EQ(r.at({360, 200}), kLightGreyRgb);  // the housing's right outline is Picture1's last column
}

TEST_F(FaceRender, HousingAndFields) {
    const Rendering r = render();
    EXPECT_EQ(r.atPictureTwips(400, 480), kLightGreyRgb);  // housing's top outline, the window's first row
    EXPECT_EQ(r.atPictureTwips(240, 3000), kLightGreyRgb);
    EXPECT_EQ(r.atPictureTwips(400, 3000), kTealRgb);
    EXPECT_EQ(r.atPictureTwips(720, 2400), kGreyRgb);        // upper field's outline
    EXPECT_EQ(r.atPictureTwips(735, 2400), kLightTealRgb);
    EXPECT_EQ(r.atPictureTwips(4830, 2400), kGreyRgb);
    EXPECT_EQ(r.atPictureTwips(800, 7000), kLightTealRgb);   // lower field
    EXPECT_EQ(r.atPictureTwips(800, 7680), kGreyRgb);
    EXPECT_EQ(r.atPictureTwips(740, 950), bgr(kDarkGreen));  // logo square
    EXPECT_EQ(r.atPictureTwips(2400, 950), kWhiteRgb);       // opaque brand label
}

TEST_F(FaceRender, KeyFacesRingsAndBars) {
    const Rendering r = render();
    EXPECT_EQ(r.atPictureTwips(1387, 3540), bgr(kDarkTeal));  // up key, above its legend
    EXPECT_EQ(r.atPictureTwips(1387, 3480), kBlackRgb);       // its 1 px outline
    EXPECT_EQ(r.atPictureTwips(1070, 3787), kTealRgb);        // outside the circle: the housing
    EXPECT_EQ(r.atPictureTwips(2707, 3490), kBlackRgb);       // escape circle's outline, above its key label
    EXPECT_EQ(r.atPictureTwips(2707, 3505), bgr(kDarkTeal));
    EXPECT_EQ(r.atPictureTwips(4027, 6787), bgr(kLightTeal)); // below the direction circle
    EXPECT_EQ(r.atPictureTwips(1100, 7400), kGreenRgb);       // RUN body
    EXPECT_EQ(r.atPictureTwips(1867, 7207), kWhiteRgb);       // RUN bar
    EXPECT_EQ(r.atPictureTwips(1867, 6900), QColor(192, 192, 0));  // RUN ring, top
    EXPECT_EQ(r.atPictureTwips(1650, 7207), kGreenRgb);       // inside the ring, beside the bar
    EXPECT_EQ(r.atPictureTwips(1560, 7207), QColor(192, 192, 0));  // RUN ring, left
    EXPECT_EQ(r.atPictureTwips(3000, 7400), kRedRgb);         // STOP body
    EXPECT_EQ(r.atPictureTwips(3000, 7560), kRedRgb);         // its bottom row, below the key label
    EXPECT_EQ(r.atPictureTwips(3000, 7575), kLightTealRgb);
    EXPECT_EQ(r.atPictureTwips(3480, 7207), bgr(kVeryLightGrey));  // STOP ring, 5 px thick
    EXPECT_EQ(r.atPictureTwips(3540, 7207), bgr(kVeryLightGrey));
    EXPECT_EQ(r.atPictureTwips(3555, 7207), kRedRgb);
}

TEST_F(FaceRender, LedsShowTheirFillInsideABlackOutline) {
    const Rendering r = render();
    for (std::size_t i = 0; i < kLedCount; ++i) {
        const Rect &led = control(static_cast<Led>(i)).rect;
        const QColor fill = static_cast<Led>(i) == Led::forward ? kRedRgb : kLightGreyRgb;
        EXPECT_EQ(r.atPictureTwips(led.left + 67, led.top + 67), fill) << i;
        EXPECT_EQ(r.atPictureTwips(led.left, led.top + 67), kBlackRgb) << i;
        EXPECT_EQ(r.atPictureTwips(led.left + 15, led.top + 67), kBlackRgb) << i;
    }
}

TEST_F(FaceRender, ChangedLedShowsItsNewColour) {
    picture.setLedColour(Led::run, kLitColour);
    picture.setLedColour(Led::forward, kDarkColour);
    const Rendering r = render();
    EXPECT_EQ(r.atPictureTwips(2467, 7027), kRedRgb);
    EXPECT_EQ(r.atPictureTwips(3427, 5992), kLightGreyRgb);
    EXPECT_EQ(picture.ledColour(Led::run), kLitColour);
}

TEST_F(FaceRender, DisplayShowsItsCaptionOnGreen) {
    const Rendering r = render();
    EXPECT_GT(r.countOtherThan(lineRect(0), kGreenRgb), 100);
    EXPECT_EQ(r.atPictureTwips(1000, 1950), kGreenRgb);  // Shape19, below line 2
    EXPECT_EQ(r.atPictureTwips(4725, 1210), kGreenRgb);
}

TEST_F(FaceRender, NulAndControlCharactersAreBlanks) {
    picture.setLine(0, std::u16string(20, u'\0'));
    picture.setLine(1, u"\x01\t\n\r\x1b\x7f\x85\x9f\x01\x02\x03\x04\x05\x06\x07\x08\x0b\x0c\x0e\x0f");
    const Rendering r = render();
    EXPECT_EQ(r.countOtherThan(lineRect(0), kGreenRgb), 0);
    EXPECT_EQ(r.countOtherThan(lineRect(1), kGreenRgb), 0);
}

TEST_F(FaceRender, TextPastTheRightEdgeIsCutOff) {
    picture.setLine(0, u"WWWWWWWWWWWWWWWWWWWW");
    picture.setLine(1, u"MMMMMMMMMMMMMMMMMMMM");
    const Rendering r = render();
    const QRectF right(lineRect(0).right(), lineRect(0).top(), 6, 50);  // the field beyond the display
    EXPECT_EQ(r.countOtherThan(right, kLightTealRgb), 0);
    EXPECT_GT(r.countOtherThan(lineRect(0).adjusted(250, 0, 0, 0), kGreenRgb), 0) << "the 16th character shows";
}

TEST_F(FaceRender, MarkupIsShownAsText) {
    picture.setLine(0, u"<b>                 ");
    const Rendering r = render();
    const QRectF firstThree = lineRect(0).adjusted(0, 0, -260 + 48, -1);
    EXPECT_GT(r.countOtherThan(firstThree, kGreenRgb), 20);
}

TEST_F(FaceRender, LegendsAreWhiteTextOnTheirKeys) {
    const Rendering r = render();
    const QRectF e = logical(find("Label5")->rect).translated(8, -32);
    EXPECT_GT(r.countOtherThan(e, bgr(kDarkTeal)), 20);
    EXPECT_EQ(r.countOtherThan(logical(find("Shape9")->rect).translated(8, -32).adjusted(14, 3, -14, -31),
                               bgr(kDarkTeal)),
              0)
        << "nothing drawn between the up key's outline and its legend";
}

TEST(FaceFonts, SixteenDisplayCharactersFitAndASeventeenthDoesNot) {
    const QFont font = toQFont(find("disp(0)")->font);
    EXPECT_EQ(QFontInfo(font).family(), QStringLiteral("Liberation Mono"));
    EXPECT_EQ(font.pixelSize(), 27);
    const QFontMetricsF metrics(font);
    const double width = logical(find("disp(0)")->rect).width();
    EXPECT_LE(metrics.horizontalAdvance(QStringLiteral("0123456789ABCDEF")), width);
    EXPECT_GT(metrics.horizontalAdvance(QStringLiteral("0123456789ABCDEFW")), width);
}

TEST(FaceFonts, DesignedFamiliesMapToInstalledOnes) {
    EXPECT_EQ(QFontInfo(toQFont(kWindowFont)).family(), QStringLiteral("DejaVu Sans"));
    EXPECT_TRUE(toQFont(kWindowFont).bold());
    const QFont brand = toQFont(find("Label9")->font);
    EXPECT_EQ(QFontInfo(brand).family(), QStringLiteral("Liberation Sans"));
    EXPECT_TRUE(brand.italic() && brand.underline() && brand.bold());
}

// No word of a legend is wider than its label, so no legend is cut.
TEST(FaceFonts, EveryLegendWordFitsItsLabel) {
    for (const Control &c : controls()) {
        if (c.kind != Kind::label || c.text.empty() || c.displayLine >= 0) continue;
        const QFontMetricsF metrics(toQFont(c.font));
        const double width = logical(c.rect).width();
        for (const QString &word : QString::fromUtf8(c.text.data(), qsizetype(c.text.size())).split(u' ', Qt::SkipEmptyParts)) {
            EXPECT_LE(metrics.horizontalAdvance(word), width) << c.name << " " << word.toStdString();
        }
    }
}

}  // namespace
}  // namespace opstation::face
