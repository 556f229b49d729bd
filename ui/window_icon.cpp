#include "window_icon.h"

#include <array>
#include <string_view>

namespace opstation::face {
namespace {

// One character a pixel: '.' transparent, 'W' white, 'g' the field checkered
// dark green and grey, 'o' checkered red and yellow (the disc and the bar).
// Checkering alternates with the pixel's parity, as 16-colour art dithers.
constexpr std::array<std::string_view, 32> kArt = {
    "..gggggggggggggggggggggggggggg..",
    "..gggggggggggggggggggggggggggg..",
    "..gggggggggggggggggggggggggggg..",
    "..gggWWWgggggggWWWgggggooggggg..",
    "..gggWWWggggggWWWggggooooooggg..",
    "..gggWWWgggggWWWggggoooooooogg..",
    "..gggWWWggggWWWgggggoooooooogg..",
    "..gggWWWgggWWWgggggoooooooooog..",
    "..gggWWWggWWWggggggoooooooooog..",
    "..gggWWWgWWWggggggggoooooooogg..",
    "..gggWWWWWWgggggggggoooooooogg..",
    "..gggWWWWWWggggggggggooooooggg..",
    "..gggWWWgWWWgggggggggggooggggg..",
    "..gggWWWggWWWggggggggggggggggg..",
    "..gggWWWgggWWWgggggggggggggggg..",
    "..gggWWWggggWWWggggggggggggggg..",
    "..gggWWWgggggWWWgggggggggggggg..",
    "..gggggggggggggggggggggggggggg..",
    "..gggggggggggggggggggggggggggg..",
    "..gggggggggggggggggggggggggggg..",
    "..gggggggggggggggggggggggggggg..",
    "..gggggggggggggggggggggggggggg..",
    "..gggggggggggggggggggggggggggg..",
    "..gggggggggggggggggggggggggggg..",
    "..gggooooooooooooooooooooooggg..",
    "..gggooooooooooooooooooooooggg..",
    "..gggooooooooooooooooooooooggg..",
    "..gggooooooooooooooooooooooggg..",
    "..gggggggggggggggggggggggggggg..",
    "..gggggggggggggggggggggggggggg..",
    "..gggggggggggggggggggggggggggg..",
    "..gggggggggggggggggggggggggggg..",
};

QRgb pixel(char code, bool odd) {
    switch (code) {
    case 'W': return qRgb(255, 255, 255);
    case 'g': return odd ? qRgb(128, 128, 128) : qRgb(0, 128, 0);
    case 'o': return odd ? qRgb(255, 255, 0) : qRgb(255, 0, 0);
    default: return qRgba(0, 0, 0, 0);
    }
}

}  // namespace

QImage windowIconImage() {
    QImage image(32, 32, QImage::Format_ARGB32);
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) image.setPixel(x, y, pixel(kArt[std::size_t(y)][std::size_t(x)], (x + y) % 2 != 0));
    }
    return image;
}

QIcon windowIcon() { return QIcon(QPixmap::fromImage(windowIconImage())); }

}  // namespace opstation::face
