// Renders the panel window offscreen to a PNG (the pictures in the README),
// or with --show opens it on the desktop to look at it there. With a drive
// library, the window is loaded on it, RUN is tapped and the station runs
// CYCLES exchange cycles (two seconds of station time by default) before
// the picture is taken.
//
//   op-station-screenshot OUTPUT.png [LIBRARY [CYCLES]] | --show
#include <QApplication>
#include <QPixmap>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "op_station.h"
#include "opstation/drive_library.h"
#include "opstation/panel/key_model.h"

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    if (argc == 2 && std::strcmp(argv[1], "--show") == 0) {
        OP_Station window;
        window.show();
        return QApplication::exec();
    }
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: %s OUTPUT.png [LIBRARY [CYCLES]] | --show\n", argv[0]);
        return 2;
    }
    std::unique_ptr<opstation::DriveLibrary> drive;
    if (argc >= 3) drive = std::make_unique<opstation::DriveLibrary>(argv[2]);
    OP_Station window(drive.get());
    if (drive) {
        if (!window.Form_Load()) return 1;
        opstation::press(window.session().state(), opstation::PanelKey::run);
        opstation::release(window.session().state(), opstation::PanelKey::run);
        for (int cycle = argc == 4 ? std::atoi(argv[3]) : 50; cycle > 0; --cycle) window.Timer1_Timer();
    }
    if (!window.grab().save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
