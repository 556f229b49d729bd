#include "run_panel.h"

#include <QApplication>

#include "op_station.h"

namespace opstation {

int runPanel(QApplication &app, DriveLink &drive, const PanelRun &run) {
    OP_Station window(&drive);
    window.session().setWatch(run.watch);
    window.setTitleNote(run.titleNote);
    if (!window.Form_Load()) return window.exitCode();
    window.show();
    // The keypad takes the PC keys at once, without a click first, even
    // where no window manager activates new windows.
    window.activateWindow();
    window.startTimer1();
    if (run.onShown) run.onShown(window);
    const int loopCode = app.exec();
    return window.exitCode() != 0 ? window.exitCode() : loopCode;
}

}  // namespace opstation
