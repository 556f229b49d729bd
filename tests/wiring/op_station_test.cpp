// The whole window on a recording drive library, loaded through the real
// loader in process and through the drive host: load, title, cycles driven
// tick by tick, mouse and keyboard through Qt's own event routing, focus,
// unload and every failure path; and the real program with libraries that
// crash, exit, hang or overrun.
#include "op_station.h"

#include <QLineEdit>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>
#include <QTest>
#include <dlfcn.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "../libs/recording_drive.h"
#include "../support/files.h"
#include "../support/library_symbol.h"
#include "../support/processes.h"
#include "opstation/face/face_table.h"
#include "opstation/drive_library.h"
#include "opstation/platform/drive_opening.h"
#include "picture1.h"
#include "run_panel.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using opstation::DownloadKeys;

using opstation::test::testLibrary;

// Centre of a control of Picture1, in the window's logical pixels.
QPoint centreOf(const char *name) {
    const auto &rect = opstation::face::find(name)->rect;
    return {(120 + rect.left + rect.width / 2) / 15, (-480 + rect.top + rect.height / 2) / 15};
}

// The drive library in the panel's own process, or in the drive host.
enum class Link { inProcess, hosted };

std::unique_ptr<opstation::DriveLink> linkTo(Link link, const std::string &path) {
    return opstation::platform::openDrive(
        {.libraryFile = path, .inProcess = link == Link::inProcess, .hostFolder = OPSTATION_HOST_FOLDER});
}

std::string nameOf(const ::testing::TestParamInfo<Link> &info) { return info.param == Link::inProcess ? "InProcess" : "Hosted"; }

class Window : public ::testing::TestWithParam<Link> {
protected:
    std::string path = testLibrary("recording_drive");
    RecordingDrive &rec = sharedRecording();
    std::unique_ptr<opstation::DriveLink> drive = linkTo(GetParam(), path);
    OP_Station window{drive.get()};
    std::vector<QString> failures;

    void SetUp() override {
        window.setFailureReporter([this](const QString &message) { failures.push_back(message); });
    }

    // Load and show, with Timer1 stopped: these tests drive every cycle by
    // hand, so no real tick can slip in and take a latch.
    void start() {
        ASSERT_TRUE(window.Form_Load());
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        // Cycles are driven by hand: a live Timer1 would take latches between them.
    }
    QWindow *handle() { return window.windowHandle(); }
    const DownloadKeys &tick() {
        window.Timer1_Timer();
        return rec.downloads.back();
    }
    static DownloadKeys only(opstation::PanelKey key) {
        DownloadKeys keys{};
        keys[static_cast<std::size_t>(key)] = opstation::kTrue;
        return keys;
    }
};

TEST_P(Window, TitleIsTheLibrarysUpToItsFirstNul) {
    rec.title = std::string("Test drive\0hidden", 17);
    EXPECT_EQ(window.windowTitle(), "Vorlex Emulation");
    start();
    EXPECT_EQ(window.windowTitle(), "Test drive");
}

TEST_P(Window, TitleFillingAll128BytesIsShownWhole) {
    rec.title = std::string(128, 'T');
    start();
    EXPECT_EQ(window.windowTitle(), QString(128, 'T'));
}

TEST_P(Window, EmptyTitleLeavesTheTitleBarBlank) {
    start();
    EXPECT_TRUE(window.caption().empty());
    EXPECT_EQ(window.windowTitle().trimmed(), "");
}

TEST_P(Window, TitleIsShownAsItStands) {
    rec.title = "Drive [*] <b>2</b>";
    start();
    EXPECT_EQ(window.windowTitle(), "Drive [*][*] <b>2</b>");  // Qt shows "[*][*]" as "[*]"
}

TEST_P(Window, CyclesReachTheLibraryOnlyAfterLoad) {
    EXPECT_FALSE(window.timer1().isActive());
    window.Timer1_Timer();  // a tick before load reaches no library
    EXPECT_TRUE(rec.calls.empty());
    start();
    window.Timer1_Timer();
    EXPECT_THAT(rec.calls, ElementsAre("initialise", "download", "upload"));
    EXPECT_EQ(rec.initialiseStation, 2);
}

// The real start path with real ticks only: Timer1 runs from the show on,
// and the window closes after three cycles.
TEST(Program, Timer1IsAPrecise40msTimerStartedOnlyAfterLoad) {
    const std::string path = testLibrary("recording_drive");
    RecordingDrive &rec = sharedRecording();
    opstation::DriveLibrary drive(path);
    const int code = opstation::runPanel(*qApp, drive, {.onShown = [&](OP_Station &window) {
        EXPECT_TRUE(window.timer1().isActive());
        EXPECT_EQ(window.timer1().interval(), 40);
        EXPECT_EQ(window.timer1().timerType(), Qt::PreciseTimer);
        EXPECT_THAT(rec.calls, ElementsAre("initialise"));
        QObject::connect(&window.timer1(), &QTimer::timeout, &window, [&] {
            if (rec.downloads.size() == 3) window.close();
        });
        QTimer::singleShot(20000, &window, &QWidget::close);  // only should the ticks never come
    }});
    EXPECT_EQ(code, 0);
    EXPECT_EQ(rec.downloads.size(), 3u);
    EXPECT_EQ(rec.calls.back(), "terminate");
}

TEST_P(Window, ClickBetweenTicksIsOneDownloadWithTheKeyDown) {
    start();
    tick();
    QTest::mouseClick(handle(), Qt::LeftButton, {}, centreOf("runKey"));
    EXPECT_EQ(tick(), only(opstation::PanelKey::run));
    EXPECT_EQ(tick(), DownloadKeys{});
}

TEST_P(Window, EveryKeyLabelPressesItsKey) {
    start();
    const std::vector<std::pair<const char *, opstation::PanelKey>> keys = {
        {"upKey", opstation::PanelKey::up},     {"downKey", opstation::PanelKey::down},
        {"escKey", opstation::PanelKey::esc},   {"menuKey", opstation::PanelKey::menu},
        {"dirKey", opstation::PanelKey::dir},   {"jogKey", opstation::PanelKey::jog},
        {"localKey", opstation::PanelKey::local}, {"runKey", opstation::PanelKey::run},
        {"stopKey", opstation::PanelKey::stop}, {"dispKey", opstation::PanelKey::disp},
    };
    for (const auto &[name, key] : keys) {
        QTest::mouseClick(handle(), Qt::LeftButton, {}, centreOf(name));
        EXPECT_EQ(tick(), only(key)) << name;
    }
}

TEST_P(Window, PressDragOffAndReleaseOutsideReleasesTheKey) {
    start();
    QTest::mousePress(handle(), Qt::LeftButton, {}, centreOf("jogKey"));
    EXPECT_EQ(tick(), only(opstation::PanelKey::jog));
    EXPECT_EQ(tick(), only(opstation::PanelKey::jog));  // held
    QTest::mouseMove(handle(), QPoint(370, 520));
    QTest::mouseRelease(handle(), Qt::LeftButton, {}, QPoint(370, 520));
    EXPECT_EQ(tick(), DownloadKeys{});
}

TEST_P(Window, SecondButtonGoesToTheKeyHoldingTheMouse) {
    start();
    QTest::mousePress(handle(), Qt::LeftButton, {}, centreOf("runKey"));
    QTest::mousePress(handle(), Qt::RightButton, {}, centreOf("stopKey"));
    EXPECT_EQ(tick(), only(opstation::PanelKey::run));
    QTest::mouseRelease(handle(), Qt::RightButton, {}, centreOf("stopKey"));
    tick();
    EXPECT_EQ(tick(), DownloadKeys{});  // released although the left button is still down
    QTest::mouseRelease(handle(), Qt::LeftButton, {}, centreOf("stopKey"));
}

TEST_P(Window, KeysReachThePanelOnlyWhilePicture1HasTheFocus) {
    start();
    EXPECT_TRUE(window.picture1()->hasFocus());  // at once, without a click
    QTest::keyPress(handle(), Qt::Key_R);
    QTest::keyRelease(handle(), Qt::Key_R);
    EXPECT_EQ(tick(), only(opstation::PanelKey::run));

    QTest::keyClick(handle(), Qt::Key_Tab);
    ASSERT_TRUE(window.text1()->hasFocus());
    const QString hint = window.text1()->text();
    for (int key : {Qt::Key_R, Qt::Key_Up, Qt::Key_F2, Qt::Key_Left}) {
        QTest::keyPress(handle(), Qt::Key(key));
        QTest::keyRelease(handle(), Qt::Key(key));
    }
    EXPECT_EQ(tick(), DownloadKeys{});
    EXPECT_NE(window.text1()->text(), hint);  // the keys edited the hint text instead

    QTest::keyClick(handle(), Qt::Key_Tab);
    EXPECT_TRUE(window.picture1()->hasFocus());
    QTest::keyPress(handle(), Qt::Key_S);
    QTest::keyRelease(handle(), Qt::Key_S);
    EXPECT_EQ(tick(), only(opstation::PanelKey::stop));
}

TEST_P(Window, KeyHeldWhenTheFocusLeavesIsReleased) {
    start();
    QTest::keyPress(handle(), Qt::Key_J);
    EXPECT_EQ(tick(), only(opstation::PanelKey::jog));
    QTest::keyClick(handle(), Qt::Key_Tab);  // J is let go over Text1: no key-up reaches Picture1
    EXPECT_EQ(tick(), DownloadKeys{});
}

TEST_P(Window, ClickOnPicture1GivesItTheFocus) {
    start();
    window.text1()->setFocus();
    QTest::mouseClick(handle(), Qt::LeftButton, {}, QPoint(30, 30));  // on the housing, no key
    EXPECT_TRUE(window.picture1()->hasFocus());
    EXPECT_EQ(tick(), DownloadKeys{});
}

TEST_P(Window, MouseHeldKeyIsReleasedWhenTheWindowIsHidden) {
    start();
    QTest::mousePress(handle(), Qt::LeftButton, {}, centreOf("runKey"));
    tick();
    window.hide();
    EXPECT_EQ(tick(), DownloadKeys{});
}

TEST_P(Window, CloseTerminatesOnceAndNoCycleFollows) {
    start();
    QTest::keyPress(handle(), Qt::Key_R);  // held while the window closes
    tick();
    window.close();
    window.Timer1_Timer();
    window.Form_Unload();
    EXPECT_THAT(rec.calls, ElementsAre("initialise", "download", "upload", "terminate"));
    EXPECT_EQ(rec.terminateStation, 2);
    EXPECT_FALSE(window.timer1().isActive());
    EXPECT_TRUE(failures.empty());
}

INSTANTIATE_TEST_SUITE_P(EachLink, Window, ::testing::Values(Link::inProcess, Link::hosted), nameOf);

// ---- failures -------------------------------------------------------------

class WindowOnLibrary : public ::testing::TestWithParam<Link> {
protected:
    std::vector<QString> failures;

    void watch(OP_Station &window) {
        window.setFailureReporter([this](const QString &message) { failures.push_back(message); });
    }
};

TEST_P(WindowOnLibrary, MissingInitialiseStopsBeforeTheWindowIsShown) {
    const auto drive = linkTo(GetParam(), testLibrary("drive_without_initialise"));
    OP_Station window(drive.get());
    watch(window);
    EXPECT_FALSE(window.Form_Load());
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_THAT(failures[0].toStdString(), HasSubstr("opstat_initialise"));
    EXPECT_EQ(window.exitCode(), 1);
    window.startTimer1();
    EXPECT_FALSE(window.timer1().isActive());
}

TEST_P(WindowOnLibrary, MissingDownloadStopsAtTheFirstCycle) {
    const std::string path = testLibrary("drive_without_download");
    RecordingDrive &rec = sharedRecording();
    const auto drive = linkTo(GetParam(), path);
    OP_Station window(drive.get());
    watch(window);
    ASSERT_TRUE(window.Form_Load());
    window.startTimer1();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !failures.empty(); }, 20000));  // the first real tick
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_THAT(failures[0].toStdString(), HasSubstr("opstat_download"));
    EXPECT_THAT(failures[0].toStdString(), HasSubstr(path));
    EXPECT_FALSE(window.timer1().isActive());
    EXPECT_EQ(window.exitCode(), 1);
    window.Timer1_Timer();
    window.close();
    EXPECT_THAT(rec.calls, ElementsAre("initialise"));  // no terminate after a failure
    EXPECT_EQ(failures.size(), 1u);
}

TEST_P(WindowOnLibrary, MissingUploadStopsAtTheFirstCycle) {
    const auto drive = linkTo(GetParam(), testLibrary("drive_without_upload"));
    OP_Station window(drive.get());
    watch(window);
    ASSERT_TRUE(window.Form_Load());
    window.Timer1_Timer();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_THAT(failures[0].toStdString(), HasSubstr("opstat_upload"));
}

TEST_P(WindowOnLibrary, MissingTerminateFailsAtUnloadOnce) {
    const auto drive = linkTo(GetParam(), testLibrary("drive_without_terminate"));
    OP_Station window(drive.get());
    watch(window);
    ASSERT_TRUE(window.Form_Load());
    window.Timer1_Timer();
    window.close();
    window.Form_Unload();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_THAT(failures[0].toStdString(), HasSubstr("opstat_terminate"));
    EXPECT_EQ(window.exitCode(), 1);
}

INSTANTIATE_TEST_SUITE_P(EachLink, WindowOnLibrary, ::testing::Values(Link::inProcess, Link::hosted), nameOf);

// ---- the real program -------------------------------------------------------

struct ProgramRun {
    int exitCode;
    QString errors;
};

using Environment = std::vector<std::pair<QString, QString>>;

// Runs the program offscreen on the libraries of `libraryPath`. With
// `closeOnceHosted`, sends SIGTERM once the drive host has started: from
// then on the program closes on the signal instead of dying of it.
ProgramRun runProgram(const QString &program, const QString &libraryPath, const QStringList &arguments = {},
                      const Environment &extra = {}, bool closeOnceHosted = false) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("LD_LIBRARY_PATH", libraryPath);
    for (const auto &[name, value] : extra) env.insert(name, value);
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    if (closeOnceHosted && process.waitForStarted(10000)) {
        const auto pid = static_cast<pid_t>(process.processId());
        if (opstation::test::within(std::chrono::seconds(20), [&] { return opstation::test::childOf(pid) > 0; }))
            ::kill(pid, SIGTERM);
    }
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        return {-1, "did not finish"};
    }
    const int code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    return {code, QString::fromLocal8Bit(process.readAllStandardError())};
}

QString testLibraryFolder(const char *name) { return QString::fromStdString(std::string(OPSTATION_TESTLIBS_DIR) + "/" + name); }

// Copied away, with its drive host, from the libdrive.so beside it, the
// program finds none.
TEST(Program, MissingLibraryIsAClearErrorAndExitCode) {
    const QString folder = QDir::tempPath() + "/op-station-nolib-" + QString::number(QCoreApplication::applicationPid());
    QDir().mkpath(folder);
    for (const QString &file : {QString(OPSTATION_PROGRAM), QString(OPSTATION_HOST_FOLDER "/op-station-drive-host")}) {
        const QString copy = folder + "/" + QFileInfo(file).fileName();
        QFile::remove(copy);
        ASSERT_TRUE(QFile::copy(file, copy));
    }
    const ProgramRun run = runProgram(folder + "/op-station", folder + "/empty");
    QDir(folder).removeRecursively();
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_THAT(run.errors.toStdString(), HasSubstr("op-station: cannot load the drive library libdrive.so: "));
}

// LD_LIBRARY_PATH comes before the library beside the program.
TEST(Program, LibraryOnLdLibraryPathIsTakenFirst) {
    const ProgramRun run = runProgram(OPSTATION_PROGRAM, testLibraryFolder("drive_without_download"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_THAT(run.errors.toStdString(), HasSubstr("drive_without_download/libdrive.so has no entry point opstat_download"));
}

struct ProgramFault {
    const char *fault;  // OPSTATION_FAULT
    bool close;         // the fault needs the window closed to show
    int exitCode;
    const char *message;
};

void PrintTo(const ProgramFault &fault, std::ostream *out) { *out << fault.fault; }

class ProgramOnFaultyLibrary : public ::testing::TestWithParam<ProgramFault> {};

// Each failure ends the program with one message naming the library, the
// entry point and the cause, and exit code 1.
TEST_P(ProgramOnFaultyLibrary, ReportsAndEnds) {
    const ProgramFault &fault = GetParam();
    const ProgramRun run = runProgram(OPSTATION_PROGRAM, testLibraryFolder("faulty_drive"), {},
                                      {{"OPSTATION_FAULT", fault.fault}}, fault.close);
    EXPECT_EQ(run.exitCode, fault.exitCode) << run.errors.toStdString();
    EXPECT_THAT(run.errors.toStdString(), HasSubstr(fault.message));
}

INSTANTIATE_TEST_SUITE_P(
    EachWayToFail, ProgramOnFaultyLibrary,
    ::testing::Values(
        ProgramFault{"segv upload 50", false, 1,
                     "op-station: the drive library " OPSTATION_TESTLIBS_DIR "/faulty_drive/libdrive.so crashed in opstat_upload: Segmentation fault (signal 11), in exchange cycle 50"},
        ProgramFault{"ill initialise", false, 1, "faulty_drive/libdrive.so crashed in opstat_initialise: Illegal instruction"},
        ProgramFault{"abort download 2", false, 1, "faulty_drive/libdrive.so crashed in opstat_download: Aborted (signal 6)"},
        ProgramFault{"fpe terminate", true, 1, "faulty_drive/libdrive.so crashed in opstat_terminate: Floating point exception"},
        ProgramFault{"exit download 3", false, 1, "faulty_drive/libdrive.so ended its process in opstat_download with exit status 0"},
        ProgramFault{"overrun upload 2", false, 1, "opstat_upload wrote past the end of line 1"},
        ProgramFault{"hang upload 2", false, 1, "faulty_drive/libdrive.so hung in opstat_upload: no return within 3.0 s"},
        // SIGTERM while a call hangs: the call gets a moment, then the host goes.
        ProgramFault{"hang initialise", true, 1, "faulty_drive/libdrive.so was stopped in opstat_initialise"},
        ProgramFault{"hang terminate", true, 1, "faulty_drive/libdrive.so was stopped in opstat_terminate"},
        // What the library prints reaches stderr; the panel runs on and closes cleanly.
        ProgramFault{"print any", true, 0, "the faulty drive prints in terminate"}),
    opstation::test::faultName<::testing::TestParamInfo<ProgramFault>>);

// Killed with SIGKILL, the program leaves no drive host behind, even one
// whose library hangs.
TEST(Program, NoHostOutlivesTheProgramKilledWithSigkill) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("LD_LIBRARY_PATH", testLibraryFolder("faulty_drive"));
    env.insert("OPSTATION_FAULT", "hang initialise");
    process.setProcessEnvironment(env);
    process.start(OPSTATION_PROGRAM, {});
    ASSERT_TRUE(process.waitForStarted(10000));
    const auto pid = static_cast<pid_t>(process.processId());
    pid_t host = -1;
    ASSERT_TRUE(opstation::test::within(std::chrono::seconds(20), [&] { return (host = opstation::test::childOf(pid)) > 0; }));
    process.kill();
    process.waitForFinished();
    EXPECT_TRUE(opstation::test::within(std::chrono::seconds(10), [&] { return !opstation::test::alive(host); }))
        << "drive host " << host << " outlived the program";
}

// The command line is read before Qt starts: help and version need no
// display; the library loaded is named once, with its full path.
TEST(Program, CommandLineWithoutADisplayAndTheLibraryItLoaded) {
    QProcess process;
    QProcessEnvironment bare = QProcessEnvironment::systemEnvironment();
    bare.remove("DISPLAY");
    bare.remove("QT_QPA_PLATFORM");
    process.setProcessEnvironment(bare);
    for (const auto &[option, says] : {std::pair{"--help", "Usage: op-station [OPTIONS]"}, std::pair{"--version", "op-station 1."}}) {
        process.start(OPSTATION_PROGRAM, {option});
        ASSERT_TRUE(process.waitForFinished(10000));
        EXPECT_EQ(process.exitCode(), 0) << option;
        EXPECT_THAT(process.readAllStandardOutput().toStdString(), HasSubstr(says));
    }
    const ProgramRun run = runProgram(OPSTATION_PROGRAM, "", {"--library", QString::fromStdString(testLibrary("faulty_drive"))},
                                      {{"OPSTATION_FAULT", "print any"}}, true);
    EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_THAT(run.errors.toStdString(), HasSubstr("op-station: drive library " + testLibrary("faulty_drive") + "\n"));
}

// A recording is made before the library is called, or not at all; a
// library that crashes leaves a recording that replays up to the crash and
// fails there as the session did. (A disk that fills later: see the
// platform's background_file_test.cpp.)
TEST(Program, RecordingAWindowThatFailsOrCannotBeWritten) {
    const QString work = QDir::tempPath() + "/op-station-record-" + QString::number(QCoreApplication::applicationPid());
    QDir(work).removeRecursively();
    QDir().mkpath(work);
    const QString faulty = QString::fromStdString(testLibrary("faulty_drive"));

    ProgramRun run = runProgram(OPSTATION_PROGRAM, "", {"--library", faulty, "--record", "/dev/full"}, {{"OPSTATION_FAULT", "print any"}});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_THAT(run.errors.toStdString(), HasSubstr("op-station: cannot write /dev/full: No space left on device"));
    EXPECT_THAT(run.errors.toStdString(), ::testing::Not(HasSubstr("prints in initialise")));

    run = runProgram(OPSTATION_PROGRAM, "", {"--library", faulty, "--record", work + "/crash.ops"}, {{"OPSTATION_FAULT", "segv upload 5"}});
    EXPECT_EQ(run.exitCode, 1);
    const std::string script = opstation::test::slurp((work + "/crash.ops").toStdString());
    EXPECT_THAT(script, HasSubstr("wait 5\n# The drive library failed in exchange cycle 5: the drive library " + faulty.toStdString() +
                                  " crashed in opstat_upload: Segmentation fault (signal 11), in exchange cycle 5\n"));
    QProcess replay;
    QProcessEnvironment fault = QProcessEnvironment::systemEnvironment();
    fault.insert("OPSTATION_FAULT", "segv upload 5");
    replay.setProcessEnvironment(fault);
    replay.start(OPSTATION_RUNNER, {"--quiet", "--library", faulty, work + "/crash.ops"});
    ASSERT_TRUE(replay.waitForFinished(20000));
    EXPECT_EQ(replay.exitCode(), 3);
    EXPECT_THAT(replay.readAllStandardError().toStdString(), HasSubstr(" crashed in opstat_upload: Segmentation fault (signal 11), in exchange cycle 5\n"));

    QDir(work).removeRecursively();
}

// Qt's own options are not the panel's: they are refused before Qt starts
// (a platform that does not exist would stop Qt), while Qt's environment
// (QT_QPA_PLATFORM) still counts.
TEST(Program, QtOptionsOnTheCommandLineAreRefused) {
    const ProgramRun run = runProgram(OPSTATION_PROGRAM, testLibraryFolder("drive_without_download"),
                                      {"-platform", "no-such-platform", "-reverse"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_THAT(run.errors.toStdString(), HasSubstr("op-station: unknown option -platform"));
}

}  // namespace
