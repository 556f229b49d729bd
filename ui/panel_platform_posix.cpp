#include <QApplication>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include "opstation/hosted_drive.h"
#include "panel_platform.h"

namespace opstation {

namespace {

int closePipe[2] = {-1, -1};

extern "C" void requestClose(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(closePipe[1], &byte, 1);
}

// The signal handler only writes a byte into a pipe, from the very start;
// once the application exists, the event loop reads it and closes every
// window. A signal that the panel was started with ignored (nohup, a
// script's background job) stays ignored. Without the pipe the signals
// keep their default.
void catchSignals() {
    if (::pipe2(closePipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        closePipe[0] = closePipe[1] = -1;
        return;
    }
    struct sigaction action {};
    action.sa_handler = requestClose;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        struct sigaction previous {};
        if (::sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
        ::sigaction(signal, &action, nullptr);
    }
}

}  // namespace

void closeOnRequests(QApplication &app) {
    if (closePipe[0] < 0) return;
    auto *notifier = new QSocketNotifier(closePipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
        // Closing first: the pipe stays readable while Form_Unload calls the
        // library, so a hanging opstat_terminate is given up too.
        QApplication::closeAllWindows();
        char bytes[16];
        while (::read(closePipe[0], bytes, sizeof bytes) > 0) {
        }
    });
}

std::unique_ptr<DriveLink> panelDrive() {
    catchSignals();
    HostedDrive::Options options;
    options.interruptFd = closePipe[0];  // a call that hangs is given up once a signal came
    auto drive = std::make_unique<HostedDrive>(kDefaultDriveLibrary, options);
    drive->start();
    return drive;
}

}  // namespace opstation
