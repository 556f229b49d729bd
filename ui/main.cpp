// op-station: the panel on the drive library libdrive.so, found by the
// normal library search (LD_LIBRARY_PATH first, then the folder of this
// executable through its RUNPATH). The library runs in the drive host,
// op-station-drive-host beside this program, so that its crash or hang is
// reported instead of taking the panel down.
//
// SIGTERM, SIGINT and SIGHUP close the window as its close button does, so
// Form_Unload stops the library before the program exits with 0. The signal
// handler only writes a byte into a pipe; the event loop reads it. A signal
// that the panel was started with ignored (nohup, a script's background job)
// stays ignored. A signal that comes while a library call hangs gives the
// call a moment to finish, then ends it with the drive host.
#include <QApplication>
#include <QSocketNotifier>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include "opstation/hosted_drive.h"
#include "run_panel.h"

namespace {

int closePipe[2] = {-1, -1};

extern "C" void requestClose(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(closePipe[1], &byte, 1);
}

// Returns the notifier that closes every window when a signal arrives, or
// nothing when the pipe cannot be made (the signals then keep their default).
QSocketNotifier *closeOnSignals(QApplication &app) {
    if (::pipe2(closePipe, O_CLOEXEC | O_NONBLOCK) != 0) return nullptr;
    auto *notifier = new QSocketNotifier(closePipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
        // Closing first: the pipe stays readable while Form_Unload calls the
        // library, so a hanging opstat_terminate is given up too.
        QApplication::closeAllWindows();
        char bytes[16];
        while (::read(closePipe[0], bytes, sizeof bytes) > 0) {
        }
    });
    struct sigaction action {};
    action.sa_handler = requestClose;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        struct sigaction previous {};
        if (::sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
        ::sigaction(signal, &action, nullptr);
    }
    return notifier;
}

}  // namespace

int main(int argc, char **argv) {
    // The panel has no command line: Qt is given the program's name alone,
    // so options such as -reverse or -style cannot change the face (Qt's
    // environment variables still apply).
    int qtArgc = std::min(argc, 1);
    QApplication app(qtArgc, argv);
    closeOnSignals(app);
    opstation::HostedDrive::Options options;
    options.interruptFd = closePipe[0];
    opstation::HostedDrive drive(opstation::kDefaultDriveLibrary, options);
    return opstation::runPanel(app, drive);
}
