// Renders the panel window offscreen to a PNG (the picture in the README),
// or with --show opens it on the desktop to look at it there.
#include <QApplication>
#include <QPixmap>

#include <cstdio>
#include <cstring>

#include "op_station.h"

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    OP_Station window;
    if (argc == 2 && std::strcmp(argv[1], "--show") == 0) {
        window.show();
        return QApplication::exec();
    }
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.png | --show\n", argv[0]);
        return 2;
    }
    if (!window.grab().save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
