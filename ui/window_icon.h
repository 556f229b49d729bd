// The window's 32 x 32 icon, drawn from a pixel map in 16-colour style.
#pragma once

#include <QIcon>
#include <QImage>

namespace opstation::face {

QImage windowIconImage();
QIcon windowIcon();

}  // namespace opstation::face
