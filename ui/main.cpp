// op-station: the panel on the drive library libdrive.so, found by the
// normal library search (LD_LIBRARY_PATH first, then the folder of this
// executable through its RUNPATH). The library runs in the drive host,
// op-station-drive-host beside this program, so that its crash or hang is
// reported instead of taking the panel down (on Windows: drive.dll, in the
// panel's own process). What the platform provides is in panel_platform.h.
#include <QApplication>

#include <algorithm>

#include "opstation/drive_link.h"
#include "panel_platform.h"
#include "run_panel.h"

int main(int argc, char **argv) {
    // The panel has no command line: Qt is given the program's name alone,
    // so options such as -reverse or -style cannot change the face (Qt's
    // environment variables still apply).
    const std::unique_ptr<opstation::DriveLink> drive = opstation::panelDrive();
    int qtArgc = std::min(argc, 1);
    QApplication app(qtArgc, argv);
    opstation::closeOnRequests(app);
    return opstation::runPanel(app, *drive);
}
