// The window: its fixed frame, focus and tab order, the display-line and
// LED-colour holders, and how little a change repaints.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QDialog>
#include <QLineEdit>
#include <QPaintEvent>
#include <QTest>

#include <vector>

#include "face_painter.h"
#include "op_station.h"
#include "picture1.h"
#include "window_icon.h"

namespace opstation::face {
namespace {

TEST(OpStationWindow, FixedClientAreaTitleAndFont) {
    OP_Station w;
    EXPECT_TRUE(w.isWindow());
    EXPECT_EQ(qobject_cast<QDialog *>(&w), nullptr);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Vorlex Emulation"));
    EXPECT_EQ(w.size(), QSize(378, 531));
    EXPECT_EQ(w.minimumSize(), QSize(378, 531));
    EXPECT_EQ(w.maximumSize(), QSize(378, 531));
    EXPECT_EQ(w.font().pixelSize(), 11);
    EXPECT_TRUE(w.font().bold());
    EXPECT_EQ(w.text1()->font().pixelSize(), 11) << "Text1 takes the window's font";
}

TEST(OpStationWindow, IconIs32By32WithTransparentSides) {
    const QImage icon = windowIconImage();
    ASSERT_EQ(icon.size(), QSize(32, 32));
    for (int y = 0; y < 32; ++y) {
        EXPECT_EQ(qAlpha(icon.pixel(0, y)), 0);
        EXPECT_EQ(qAlpha(icon.pixel(31, y)), 0);
    }
    EXPECT_EQ(icon.pixel(6, 5), qRgb(255, 255, 255)) << "the initial, upper left";
    EXPECT_NE(icon.pixel(2, 2), icon.pixel(3, 2)) << "a checkered field";
    OP_Station w;
    EXPECT_FALSE(w.windowIcon().isNull());
}

TEST(OpStationWindow, Picture1AndText1AtTheirPlaces) {
    OP_Station w;
    Picture1 *p = w.picture1();
    EXPECT_EQ(p->parentWidget(), &w);
    EXPECT_EQ(p->geometry(), QRect(8, -32, 353, 549));
    EXPECT_EQ(p->focusPolicy(), Qt::StrongFocus);
    QLineEdit *t = w.text1();
    EXPECT_EQ(t->parentWidget(), p);
    EXPECT_EQ(t->geometry(), QRect(104, 520, 177, 19));
    EXPECT_EQ(t->text(), QStringLiteral("F2, F3, F4 for power-on reset"));
    EXPECT_FALSE(t->isReadOnly());
    EXPECT_TRUE(t->hasFrame());
}

// A right-to-left application (the desktop's language, or Qt's -reverse)
// mirrors neither the legends nor the hint box.
TEST(OpStationWindow, FaceIsTheSameInARightToLeftApplication) {
    const QImage leftToRight = OP_Station().grab().toImage();
    QGuiApplication::setLayoutDirection(Qt::RightToLeft);
    OP_Station w;
    const QImage rightToLeft = w.grab().toImage();
    QGuiApplication::setLayoutDirection(Qt::LeftToRight);
    EXPECT_EQ(w.text1()->layoutDirection(), Qt::LeftToRight);
    EXPECT_TRUE(rightToLeft == leftToRight);
}

TEST(OpStationFocus, Picture1HasTheFocusWhenShown) {
    OP_Station w;
    EXPECT_EQ(w.focusWidget(), w.picture1()) << "before the window is shown";
    w.show();
    w.activateWindow();
    QCoreApplication::processEvents();
    EXPECT_EQ(QApplication::focusWidget(), w.picture1());
}

TEST(OpStationFocus, TabMovesBetweenPicture1AndText1Only) {
    OP_Station w;
    std::vector<QWidget *> stops;
    QWidget *at = &w;
    do {
        if (at->focusPolicy() & Qt::TabFocus) stops.push_back(at);
        at = at->nextInFocusChain();
    } while (at != &w);
    EXPECT_EQ(stops, (std::vector<QWidget *>{w.picture1(), w.text1()}));

    w.show();
    w.activateWindow();
    QCoreApplication::processEvents();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), w.text1());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), w.picture1());
}

TEST(DisplayLineHolder, StartsWithTheDesignCaption) {
    Picture1 p;
    EXPECT_EQ(p.line(0), u"0123456789ABCDEF");
    EXPECT_EQ(p.line(1), u"0123456789ABCDEF");
}

TEST(DisplayLineHolder, ReturnsExactlyWhatWasWrittenNulsIncluded) {
    Picture1 p;
    const std::u16string one(u"SPEED\0 1500\0\0RPM\0\0\0\0", 20);
    const std::u16string two(20, u'\0');
    p.setLine(0, one);
    p.setLine(1, two);
    EXPECT_EQ(p.line(0), one);
    EXPECT_EQ(p.line(0).size(), 20u);
    EXPECT_EQ(p.line(1), two);
    p.setLine(1, u"<b>x</b>&amp;\t      ");
    EXPECT_EQ(p.line(1), u"<b>x</b>&amp;\t      ");
}

TEST(LedColourHolder, StartsWithTheDesignFills) {
    Picture1 p;
    for (std::size_t i = 0; i < kLedCount; ++i) {
        const Led led = static_cast<Led>(i);
        EXPECT_EQ(p.ledColour(led), led == Led::forward ? kLitColour : kDarkColour);
    }
}

// Records the regions that widgets are asked to paint.
class PaintRecorder final : public QObject {
public:
    std::vector<std::pair<QObject *, QRegion>> paints;

    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::Paint) paints.emplace_back(watched, static_cast<QPaintEvent *>(event)->region());
        return false;
    }
};

class Repaint : public ::testing::Test {
protected:
    OP_Station window;
    Picture1 &picture = *window.picture1();
    PaintRecorder recorder;

    void SetUp() override {
        window.show();
        QCoreApplication::processEvents();
        window.installEventFilter(&recorder);
        picture.installEventFilter(&recorder);
        window.text1()->installEventFilter(&recorder);
    }

    std::vector<std::pair<QObject *, QRegion>> paintsAfterEvents() {
        QCoreApplication::processEvents();
        return recorder.paints;
    }

    static QRect ledRect(Led led) { return logical(control(led).rect).toAlignedRect(); }

    void setAllLeds(Colour run) {
        for (std::size_t i = 0; i < kLedCount; ++i) {
            const Led led = static_cast<Led>(i);
            picture.setLedColour(led, led == Led::run ? run : picture.ledColour(led));
        }
    }
};

TEST_F(Repaint, UnchangedLedsRepaintNothing) {
    setAllLeds(kDarkColour);
    EXPECT_TRUE(paintsAfterEvents().empty());
}

TEST_F(Repaint, AChangedLedRepaintsOnlyItsOwnRectangle) {
    setAllLeds(kLitColour);
    const auto paints = paintsAfterEvents();
    ASSERT_EQ(paints.size(), 1u);
    EXPECT_EQ(paints[0].first, &picture);
    EXPECT_EQ(paints[0].second, QRegion(ledRect(Led::run)));
    EXPECT_EQ(ledRect(Led::run), QRect(160, 464, 9, 9));
}

TEST_F(Repaint, TwoChangedLedsRepaintTheirTwoRectangles) {
    picture.setLedColour(Led::health, kLitColour);
    picture.setLedColour(Led::forward, kDarkColour);
    const auto paints = paintsAfterEvents();
    QRegion painted;
    for (const auto &[widget, region] : paints) {
        EXPECT_EQ(widget, &picture);
        painted += region;
    }
    EXPECT_EQ(painted, QRegion(ledRect(Led::health)) + QRegion(ledRect(Led::forward)));
}

TEST_F(Repaint, AChangedLineRepaintsOnlyItsLabel) {
    picture.setLine(1, u"0123456789ABCDEF");  // unchanged
    EXPECT_TRUE(paintsAfterEvents().empty());
    picture.setLine(1, std::u16string(20, u'\0'));
    const auto paints = paintsAfterEvents();
    ASSERT_EQ(paints.size(), 1u);
    EXPECT_EQ(paints[0].first, &picture);
    EXPECT_EQ(paints[0].second, QRegion(QRect(56, 104, 260, 25)));
}

}  // namespace
}  // namespace opstation::face
