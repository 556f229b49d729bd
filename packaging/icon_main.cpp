// op-station-icon: writes the window's icon as PNG files for the desktop's
// icon theme, at every size given, from the same pixel map the window uses.
//
//   op-station-icon <output folder> <size>...
//
// Each size N lands in <output folder>/NxN/apps/op-station.png. The 32 x 32
// artwork is scaled without smoothing, so every size keeps the hard pixel
// edges of the original.
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QString>

#include <cstdio>
#include <cstdlib>

#include "window_icon.h"

namespace {

QImage render(const QImage &art, int size) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(QRect(0, 0, size, size), art);
    return image;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: op-station-icon <output folder> <size>...\n");
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    const QImage art = opstation::face::windowIconImage();
    for (int i = 2; i < argc; ++i) {
        char *end = nullptr;
        const long size = std::strtol(argv[i], &end, 10);
        if (end == argv[i] || *end != '\0' || size < 16 || size > 1024) {
            std::fprintf(stderr, "op-station-icon: bad size '%s'\n", argv[i]);
            return 2;
        }
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(root).arg(size);
        const QString file = folder + QStringLiteral("/op-station.png");
        if (!QDir().mkpath(folder) || !render(art, int(size)).save(file, "PNG")) {
            std::fprintf(stderr, "op-station-icon: cannot write %s\n", file.toLocal8Bit().constData());
            return 1;
        }
    }
    return 0;
}
