// One QApplication for the whole test program, and helpers for reading the
// rendered face.
#pragma once

#include <QColor>
#include <QImage>
#include <QPointF>

class QWidget;

namespace opstation::face::testing {

// The device pixel ratio the run was started with (QT_SCALE_FACTOR).
double expectedPixelRatio();

// A widget rendered with QWidget::grab(), read in logical pixels.
class Rendering {
public:
    explicit Rendering(QWidget &widget);

    double pixelRatio() const { return ratio_; }
    // The colour of the logical pixel holding the point, if all the device
    // pixels that make it up have that one colour; else an invalid colour.
    QColor at(QPointF logical) const;
    // The colour of the logical pixel under a point of Picture1, in twips.
    QColor atPictureTwips(double x, double y) const;
    // Logical pixels of a rectangle (logical px) whose colour is not base.
    int countOtherThan(QRectF logical, QColor base) const;

private:
    QImage image_;
    double ratio_;
};

}  // namespace opstation::face::testing
