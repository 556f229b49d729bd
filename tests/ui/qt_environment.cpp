#include "qt_environment.h"

#include <QApplication>
#include <QPixmap>
#include <QWidget>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "face_accessibility.h"
#include "opstation/face/face_table.h"

namespace opstation::face::testing {
namespace {

class QtEnvironment final : public ::testing::Environment {
public:
    void SetUp() override {
        app_ = std::make_unique<QApplication>(argc_, argv_);
        installAccessibility();
    }
    void TearDown() override { app_.reset(); }

private:
    int argc_ = 1;
    char name_[16] = "ui_face_tests";
    char *argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] ::testing::Environment *const environment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

double expectedPixelRatio() {
    bool ok = false;
    const double factor = qEnvironmentVariable("QT_SCALE_FACTOR").toDouble(&ok);
    return ok ? factor : 1.0;
}

Rendering::Rendering(QWidget &widget) {
    const QPixmap pixmap = widget.grab();
    image_ = pixmap.toImage();
    ratio_ = pixmap.devicePixelRatio();
}

QColor Rendering::at(QPointF logical) const {
    const int n = int(std::lround(ratio_));
    const int x0 = int(std::floor(logical.x())) * n;
    const int y0 = int(std::floor(logical.y())) * n;
    const QRgb first = image_.pixel(x0, y0);
    for (int dy = 0; dy < n; ++dy) {
        for (int dx = 0; dx < n; ++dx) {
            if (image_.pixel(x0 + dx, y0 + dy) != first) return {};
        }
    }
    return QColor(first);
}

QColor Rendering::atPictureTwips(double x, double y) const {
    const Rect &picture = find("Picture1")->rect;
    return at(QPointF((x + picture.left) / kTwipsPerPixel, (y + picture.top) / kTwipsPerPixel));
}

int Rendering::countOtherThan(QRectF logical, QColor base) const {
    int count = 0;
    for (int y = int(logical.top()); y < int(logical.bottom()); ++y) {
        for (int x = int(logical.left()); x < int(logical.right()); ++x) {
            if (at(QPointF(x, y)) != base) ++count;
        }
    }
    return count;
}

}  // namespace opstation::face::testing
