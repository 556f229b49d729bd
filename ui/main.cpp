// op-station: the panel on the drive library libdrive.so, found by the
// normal library search (LD_LIBRARY_PATH first, then the folder of this
// executable through its RUNPATH).
#include <QApplication>

#include "opstation/drive_library.h"
#include "run_panel.h"

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    opstation::DriveLibrary drive;
    return opstation::runPanel(app, drive);
}
