#include <QApplication>
#include <QMetaObject>

#include <windows.h>

#include "opstation/drive_library.h"
#include "panel_platform.h"

namespace opstation {

namespace {

// The system calls this on a thread of its own: it only posts the close to
// the event loop, as a signal's byte does on POSIX.
BOOL WINAPI requestClose(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    QMetaObject::invokeMethod(qApp, [] { QApplication::closeAllWindows(); }, Qt::QueuedConnection);
    return TRUE;
}

}  // namespace

std::unique_ptr<DriveLink> panelDrive() { return std::make_unique<DriveLibrary>(kDefaultDriveLibrary); }

void closeOnRequests(QApplication &) { SetConsoleCtrlHandler(requestClose, TRUE); }

}  // namespace opstation
