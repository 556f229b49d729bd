// op-station: the panel on a drive library, by default libdrive.so found by
// the normal library search (LD_LIBRARY_PATH first, then the folder of this
// program through its RUNPATH, where our simulated drive lies). The library
// runs in the drive host beside this program, so that its crash or hang is
// reported instead of taking the panel down. See op-station(1).
#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdio>
#include <optional>
#include <system_error>

#include "opstation/platform/close_requests.h"
#include "opstation/platform/command_line.h"
#include "opstation/platform/drive_opening.h"
#include "opstation/runner/session_recording.h"
#include "run_panel.h"

namespace {

using namespace opstation;

constexpr const char *kProgram = "op-station";

constexpr const char *kHelp = R"(Usage: op-station [OPTIONS]

Opens the OP Station panel: the operator keypad of a simulated
variable-speed drive, worked with the mouse or the PC keyboard, on a drive
library that runs in a process of its own.

Options:
  --library PATH  use this drive library file: a Linux library, or a
                  Windows drive.dll, which runs under wine (default:
                  libdrive.so, found by the normal library search)
  --record FILE   record the session into FILE, a script that op-station-run
                  replays cycle for cycle (the title says " — recording")
  --transcript FILE
                  write the session's transcript, as op-station-run writes
                  it, into FILE
  --quiet         do not say which library file was loaded
  --help          show this help and exit
  --version       show the version and exit

Qt's environment variables (QT_QPA_PLATFORM, QT_SCALE_FACTOR, ...) apply.
Exit status: 0 when the window was closed; 1 when the drive library
failed; 2 for a wrong command line. See op-station(1).
)";

struct PanelOptions {
    platform::DriveRequest drive{.program = kProgram};
    SessionRecording::Files files;
    bool quiet = false;
    bool help = false;
    bool version = false;
};

constexpr std::array<platform::Option<PanelOptions>, 6> kOptions = {{
    {"--library", true, [](PanelOptions &o, const std::string &v) { o.drive.libraryFile = v; }},
    {"--record", true, [](PanelOptions &o, const std::string &v) { o.files.record = v; }},
    {"--transcript", true, [](PanelOptions &o, const std::string &v) { o.files.transcript = v; }},
    {"--quiet", false, [](PanelOptions &o, const std::string &) { o.quiet = true; }},
    {"--help", false, [](PanelOptions &o, const std::string &) { o.help = true; }},
    {"--version", false, [](PanelOptions &o, const std::string &) { o.version = true; }},
}};

// Read before Qt starts, so that --help and --version need no display.
PanelOptions readOptions(int argc, char **argv) {
    PanelOptions options;
    platform::readCommandLine(argc, argv, kOptions, options, [](PanelOptions &, const std::string &argument) {
        throw platform::UsageError{"unexpected argument " + argument};
    });
    return options;
}

// The first close request closes every window, as the close button does:
// Form_Unload then stops the library. The request's descriptor stays
// readable while it does, so a hanging opstat_terminate is given up too.
void closeOnRequests(QApplication &app) {
    const auto closeAll = [] { QApplication::closeAllWindows(); };
    if (const int fd = platform::closeRequestFd(); fd >= 0) {
        auto *notifier = new QSocketNotifier(fd, QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, [notifier, closeAll] {
            notifier->setEnabled(false);
            closeAll();
        });
        return;
    }
    auto *poll = new QTimer(&app);  // where requests come as a flag alone
    QObject::connect(poll, &QTimer::timeout, &app, [closeAll] {
        if (platform::closeRequest() != 0) closeAll();
    });
    poll->start(100);
}

}  // namespace

int main(int argc, char **argv) {
    PanelOptions options;
    try {
        options = readOptions(argc, argv);
    } catch (const platform::UsageError &error) {
        std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", kProgram, error.message.c_str(), kProgram);
        return 2;
    }
    if (options.help) return std::fputs(kHelp, stdout), 0;
    if (options.version) return std::printf("%s %s\n", kProgram, OPSTATION_VERSION), 0;

    // The files are made before the library is called: one that cannot be
    // written stops the panel at once.
    std::optional<SessionRecording> recording;
    try {
        recording.emplace(kProgram, options.files);
    } catch (const std::system_error &error) {
        std::fprintf(stderr, "%s: %s\n", kProgram, error.what());
        return 2;
    }

    // The drive host starts while Qt starts; close requests count from here.
    platform::catchCloseRequests();
    const std::unique_ptr<DriveLink> drive = platform::openDrive(options.drive);
    // Qt is given the program's name alone, so that options such as
    // -reverse or -style cannot change the face (its environment variables
    // still apply).
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    closeOnRequests(app);
    const auto sayWhichLibrary = [&](OP_Station &) {
        if (!options.quiet) platform::sayLoadedLibrary(kProgram, drive->loadedFile());
    };
    return runPanel(app, *drive,
                    {.watch = &*recording,
                     .titleNote = recording->recording() ? QStringLiteral(" \u2014 recording") : QString(),
                     .onShown = sayWhichLibrary});
}
