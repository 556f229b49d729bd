// The face table against the panel's design rules, and the hit test.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>

#include "opstation/face/face_table.h"
#include "picture1.h"

namespace opstation::face {
namespace {

bool inPictureLayer(const Control &c) {
    return c.container == Container::picture1 && (c.kind == Kind::label || isShape(c.kind));
}

TEST(FaceTable, HoldsEveryControlOnceUnderItsContainer) {
    std::set<std::string_view> names;
    int labels = 0, shapes = 0;
    for (const Control &c : controls()) {
        EXPECT_TRUE(names.insert(c.name).second) << c.name;
        if (c.container != Container::picture1) continue;
        if (c.kind == Kind::label) ++labels;
        if (isShape(c.kind)) ++shapes;
    }
    EXPECT_EQ(labels, 31);
    EXPECT_EQ(shapes, 25);
    EXPECT_EQ(find("Text1")->container, Container::picture1);
    EXPECT_EQ(find("Picture1")->container, Container::window);
    EXPECT_EQ(find("threeKey")->container, Container::window);
    EXPECT_EQ(find("nothing"), nullptr);
}

TEST(FaceTable, StackingListNamesEveryLabelAndShapeOfPicture1Once) {
    std::multiset<std::string_view> listed(frontToBack(Container::picture1).begin(),
                                           frontToBack(Container::picture1).end());
    std::multiset<std::string_view> expected;
    for (const Control &c : controls()) {
        if (inPictureLayer(c)) expected.insert(c.name);
    }
    EXPECT_EQ(listed, expected);
    EXPECT_EQ(frontToBack(Container::picture1).front(), "stopKey");
    EXPECT_EQ(frontToBack(Container::picture1).back(), "Shape3");
}

TEST(FaceTable, TabIndexesRunWithoutGapsAndShapesHaveNone) {
    std::map<int, std::string_view> byIndex;
    for (const Control &c : controls()) {
        if (isShape(c.kind)) {
            EXPECT_EQ(c.tabIndex, -1) << c.name;
        } else {
            EXPECT_TRUE(byIndex.emplace(c.tabIndex, c.name).second) << c.name;
        }
    }
    ASSERT_EQ(byIndex.size(), 34u);
    EXPECT_EQ(byIndex.begin()->first, 0);
    EXPECT_EQ(byIndex.rbegin()->first, 33);
    EXPECT_EQ(byIndex[0], "Picture1");
    EXPECT_EQ(byIndex[1], "disp(0)");
    EXPECT_EQ(byIndex[33], "Text1");
}

TEST(FaceTable, TenKeyLabelsPressTenDifferentKeys) {
    std::set<PanelKey> keys;
    for (const Control &c : controls()) {
        if (c.key) {
            EXPECT_EQ(c.kind, Kind::label) << c.name;
            EXPECT_TRUE(keys.insert(*c.key).second) << c.name;
            EXPECT_TRUE(c.name.ends_with("Key")) << c.name;
        }
    }
    EXPECT_EQ(keys.size(), kPanelKeyCount);
    EXPECT_EQ(keyOf("dispKey"), PanelKey::disp);
    EXPECT_EQ(keyOf("secret"), std::nullopt);
    EXPECT_EQ(keyOf("threeKey"), std::nullopt);
}

TEST(FaceTable, SevenLedsStartGreyButTheForwardLed) {
    for (std::size_t i = 0; i < kLedCount; ++i) {
        const Control &led = control(static_cast<Led>(i));
        EXPECT_EQ(led.kind, Kind::circle);
        EXPECT_TRUE(led.solidFill);
        EXPECT_EQ(led.outlineWidth, 2);
        EXPECT_EQ(led.rect.width, 135);
        EXPECT_EQ(led.rect.height, 135);
        EXPECT_EQ(led.fill, static_cast<Led>(i) == Led::forward ? kLitColour : kDarkColour) << led.name;
    }
    int solid = 0;
    for (const Control &c : controls()) solid += c.solidFill;
    EXPECT_EQ(solid, 7) << "only the LEDs paint their fill colour";
}

TEST(FaceTable, FontSizesInPixelsAt96Dpi) {
    EXPECT_EQ(pixelSize(kWindowFont), 11);
    EXPECT_EQ(pixelSize(find("Label12")->font), 13);
    EXPECT_EQ(pixelSize(find("Label9")->font), 19);
    EXPECT_EQ(pixelSize(find("Label5")->font), 24);
    EXPECT_EQ(pixelSize(find("disp(0)")->font), 27);
}

// Every key label lies in front of every other label that overlaps it, so it
// takes the presses anywhere within its own rectangle.
TEST(FaceStacking, KeyLabelsLieInFrontOfEveryOverlappingLabel) {
    const auto order = frontToBack(Container::picture1);
    auto rank = [&](std::string_view n) { return std::find(order.begin(), order.end(), n) - order.begin(); };
    auto overlap = [](const Rect &a, const Rect &b) {
        return a.left < b.right() && b.left < a.right() && a.top < b.bottom() && b.top < a.bottom();
    };
    for (const Control &key : controls()) {
        if (!key.key) continue;
        for (const Control &other : controls()) {
            if (other.kind != Kind::label || other.name == key.name || !overlap(key.rect, other.rect)) continue;
            EXPECT_LT(rank(key.name), rank(other.name)) << key.name << " over " << other.name;
        }
    }
}

struct Press {
    double x, y;  // twips in Picture1
    std::string_view control;
    std::optional<PanelKey> key;
};

void expectPresses(std::initializer_list<Press> presses) {
    for (const Press &p : presses) {
        EXPECT_EQ(pictureControlAt(p.x, p.y), p.control) << p.x << ", " << p.y;
        EXPECT_EQ(keyOf(pictureControlAt(p.x, p.y)), p.key) << p.x << ", " << p.y;
    }
}

TEST(FaceHitTest, LegendsPressTheKeyWhoseLabelHoldsThePoint) {
    expectPresses({
        {1380, 3700, "upKey", PanelKey::up},        // Label8 "/\"
        {2700, 3780, "escKey", PanelKey::esc},      // Label5 "E"
        {4000, 3800, "dispKey", PanelKey::disp},    // Label11 "PROG"
        {1380, 4900, "downKey", PanelKey::down},    // Label7 "\/"
        {2700, 4900, "menuKey", PanelKey::menu},    // Label10 "M"
        {4000, 4850, "localKey", PanelKey::local},  // Label12 "L"
        {4000, 5100, "localKey", PanelKey::local},  // Label13 "R"
        {1380, 6100, "jogKey", PanelKey::jog},      // Label14 "JOG"
        {4000, 6100, "dirKey", PanelKey::dir},      // Label15 "DIR"
        {4100, 7400, "stopKey", PanelKey::stop},    // Label16 "RESET"
    });
}

TEST(FaceHitTest, RingsBarsAndLedsOnRunAndStopPressTheirKey) {
    expectPresses({
        {1867, 6905, "runKey", PanelKey::run},    // top of the yellow ring Shape16
        {1867, 7200, "runKey", PanelKey::run},    // the white bar Shape6
        {3490, 7207, "stopKey", PanelKey::stop},  // the grey ring Shape5
        {2467, 7027, "runKey", PanelKey::run},    // runLED
        {4387, 7027, "stopKey", PanelKey::stop},  // stopLED
        {1000, 6860, "runKey", PanelKey::run},    // the " RUN" text
    });
}

// Inside a key's circle (or shape) but outside its key label.
bool inCircle(const Rect &r, double x, double y) {
    const double d = std::min(r.width, r.height);
    const double cx = r.left + r.width / 2.0, cy = r.top + r.height / 2.0;
    return (x - cx) * (x - cx) + (y - cy) * (y - cy) < d * d / 4;
}

TEST(FaceHitTest, UncoveredPartsOfKeyShapesPressNothing) {
    const Rect &esc = find("Shape10")->rect, &local = find("Shape13")->rect, &dir = find("Shape15")->rect;
    ASSERT_TRUE(inCircle(esc, 2707, 3490));
    ASSERT_TRUE(inCircle(local, 4027, 5285));
    ASSERT_TRUE(inCircle(dir, 3730, 6187));
    ASSERT_TRUE(inCircle(dir, 4027, 5885));
    expectPresses({
        {2707, 3490, "Picture1", std::nullopt},  // top 45 twips of the escape circle
        {2707, 3524, "Picture1", std::nullopt},
        {2707, 3525, "escKey", PanelKey::esc},   // first row of the escape key label
        {4027, 5285, "Label13", std::nullopt},   // bottom 30 twips of local/remote: only the legend "R"
        {4027, 5264, "localKey", PanelKey::local},
        {3730, 6187, "Picture1", std::nullopt},  // left 45 twips of the direction circle
        {3764, 6187, "Picture1", std::nullopt},
        {3765, 6187, "dirKey", PanelKey::dir},
        {4027, 5885, "Picture1", std::nullopt},  // top 15 twips of the direction circle
        {3200, 7567, "Picture1", std::nullopt},  // bottom 15 twips of the red STOP shape
        {4000, 7567, "Label16", std::nullopt},
        {3200, 7559, "stopKey", PanelKey::stop},
    });
}

TEST(FaceHitTest, ShapesAndLedsOffTheKeysTakeNoPress) {
    expectPresses({
        {3427, 5992, "Picture1", std::nullopt},  // fwdLED
        {1387, 2842, "Picture1", std::nullopt},  // healthLED
        {1000, 1300, "disp(0)", std::nullopt},   // the display is a label, but no key
        {1000, 1570, "disp(1)", std::nullopt},   // the overlap row belongs to disp(1), in front
        {300, 4000, "Picture1", std::nullopt},   // the housing
        {2000, 7900, "Text1", std::nullopt},     // a window above every label
    });
}

TEST(FaceHitTest, SecretAndThreeKeyCanNeverBeHit) {
    // They exist, but not where a press can reach them.
    EXPECT_EQ(pictureControlAt(800, 400), "secret");
    const Window &w = window();
    for (double y = 0; y < w.clientHeight; y += 5) {
        for (double x = 0; x < w.clientWidth; x += 5) {
            const std::string_view hit = windowControlAt(x, y);
            ASSERT_NE(hit, "secret") << x << ", " << y;
            ASSERT_NE(hit, "threeKey") << x << ", " << y;
            ASSERT_NE(hit, "") << x << ", " << y;
        }
    }
}

TEST(FaceHitTest, WindowPointsMapOntoPicture1) {
    EXPECT_EQ(windowControlAt(60, 3000), "OP_Station");  // left margin
    EXPECT_EQ(windowControlAt(5500, 3000), "OP_Station");  // right margin
    EXPECT_EQ(windowControlAt(3000, 7800), "OP_Station");  // bottom margin
    EXPECT_EQ(windowControlAt(2707 + 120, 3780 - 480), "escKey");
    EXPECT_EQ(windowControlAt(-1, 100), "");
    EXPECT_EQ(windowControlAt(100, 7965), "");
}

TEST(FaceHitTest, Picture1AnswersInLogicalPixels) {
    EXPECT_EQ(Picture1::controlAt(QPointF(2707 / 15.0, 3780 / 15.0)), "escKey");
    EXPECT_EQ(Picture1::keyAt(QPointF(2707 / 15.0, 3780 / 15.0)), PanelKey::esc);
    EXPECT_EQ(Picture1::keyAt(QPointF(2707 / 15.0, 3490 / 15.0)), std::nullopt);
}

}  // namespace
}  // namespace opstation::face
