// The program: the window's life from load to unload around the event loop.
#pragma once

#include <QString>

#include <functional>

class OP_Station;
class QApplication;

namespace opstation {

class DriveLink;
class SessionWatch;

struct PanelRun {
    // Hears of the session from its load on (a recording); null for none.
    SessionWatch *watch = nullptr;
    // Shown after the library's title (" — recording").
    QString titleNote;
    // Lets a measuring harness watch the window once it is shown.
    std::function<void(OP_Station &)> onShown;
};

// Creates OP_Station on `drive`, runs Form_Load before the window is shown,
// shows it, starts Timer1 and runs the event loop. Returns the program's
// exit code: non-zero after a failure at the library boundary.
int runPanel(QApplication &app, DriveLink &drive, const PanelRun &run = {});

}  // namespace opstation
