// The program: the window's life from load to unload around the event loop.
#pragma once

#include <functional>

class OP_Station;
class QApplication;

namespace opstation {

class DriveLink;

// Creates OP_Station on `drive`, runs Form_Load before the window is shown,
// shows it, starts Timer1 and runs the event loop. Returns the program's
// exit code: non-zero after a failure at the library boundary. `onShown`
// lets a measuring harness watch the window.
int runPanel(QApplication &app, DriveLink &drive, const std::function<void(OP_Station &)> &onShown = {});

}  // namespace opstation
