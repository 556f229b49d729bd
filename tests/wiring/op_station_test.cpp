// The whole window on a recording drive library, loaded through the real
// loader: load, title, cycles driven tick by tick, mouse and keyboard through
// Qt's own event routing, focus, unload and every failure path.
#include "op_station.h"

#include <QLineEdit>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTimer>
#include <QTest>
#include <dlfcn.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "../libs/recording_drive.h"
#include "face_table.h"
#include "opstation/drive_library.h"
#include "picture1.h"
#include "run_panel.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using opstation::DownloadKeys;

std::string testLibrary(const std::string &name) { return std::string(OPSTATION_TESTLIBS_DIR) + "/" + name + "/libdrive.so"; }

RecordingDrive &recordOf(const std::string &path) {
    void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) throw std::runtime_error(dlerror());
    RecordingDrive &drive = *reinterpret_cast<RecordingDriveAccess>(dlsym(handle, "recording_drive"))();
    drive = RecordingDrive{};
    return drive;
}

// Centre of a control of Picture1, in the window's logical pixels.
QPoint centreOf(const char *name) {
    const auto &rect = opstation::face::find(name)->rect;
    return {(120 + rect.left + rect.width / 2) / 15, (-480 + rect.top + rect.height / 2) / 15};
}

class Window : public ::testing::Test {
protected:
    std::string path = testLibrary("recording_drive");
    RecordingDrive &rec = recordOf(path);
    opstation::DriveLibrary drive{path};
    OP_Station window{&drive};
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

TEST_F(Window, TitleIsTheLibrarysUpToItsFirstNul) {
    rec.title = std::string("Test drive\0hidden", 17);
    EXPECT_EQ(window.windowTitle(), "Vorlex Emulation");
    start();
    EXPECT_EQ(window.windowTitle(), "Test drive");
}

TEST_F(Window, TitleFillingAll128BytesIsShownWhole) {
    rec.title = std::string(128, 'T');
    start();
    EXPECT_EQ(window.windowTitle(), QString(128, 'T'));
}

TEST_F(Window, EmptyTitleLeavesTheTitleBarBlank) {
    start();
    EXPECT_TRUE(window.caption().empty());
    EXPECT_EQ(window.windowTitle().trimmed(), "");
}

TEST_F(Window, TitleIsShownAsItStands) {
    rec.title = "Drive [*] <b>2</b>";
    start();
    EXPECT_EQ(window.windowTitle(), "Drive [*][*] <b>2</b>");  // Qt shows "[*][*]" as "[*]"
}

TEST_F(Window, CyclesReachTheLibraryOnlyAfterLoad) {
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
    RecordingDrive &rec = recordOf(path);
    opstation::DriveLibrary drive(path);
    const int code = opstation::runPanel(*qApp, drive, [&](OP_Station &window) {
        EXPECT_TRUE(window.timer1().isActive());
        EXPECT_EQ(window.timer1().interval(), 40);
        EXPECT_EQ(window.timer1().timerType(), Qt::PreciseTimer);
        EXPECT_THAT(rec.calls, ElementsAre("initialise"));
        QObject::connect(&window.timer1(), &QTimer::timeout, &window, [&] {
            if (rec.downloads.size() == 3) window.close();
        });
        QTimer::singleShot(20000, &window, &QWidget::close);  // only should the ticks never come
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(rec.downloads.size(), 3u);
    EXPECT_EQ(rec.calls.back(), "terminate");
}

TEST_F(Window, ClickBetweenTicksIsOneDownloadWithTheKeyDown) {
    start();
    tick();
    QTest::mouseClick(handle(), Qt::LeftButton, {}, centreOf("runKey"));
    EXPECT_EQ(tick(), only(opstation::PanelKey::run));
    EXPECT_EQ(tick(), DownloadKeys{});
}

TEST_F(Window, EveryKeyLabelPressesItsKey) {
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

TEST_F(Window, PressDragOffAndReleaseOutsideReleasesTheKey) {
    start();
    QTest::mousePress(handle(), Qt::LeftButton, {}, centreOf("jogKey"));
    EXPECT_EQ(tick(), only(opstation::PanelKey::jog));
    EXPECT_EQ(tick(), only(opstation::PanelKey::jog));  // held
    QTest::mouseMove(handle(), QPoint(370, 520));
    QTest::mouseRelease(handle(), Qt::LeftButton, {}, QPoint(370, 520));
    EXPECT_EQ(tick(), DownloadKeys{});
}

TEST_F(Window, SecondButtonGoesToTheKeyHoldingTheMouse) {
    start();
    QTest::mousePress(handle(), Qt::LeftButton, {}, centreOf("runKey"));
    QTest::mousePress(handle(), Qt::RightButton, {}, centreOf("stopKey"));
    EXPECT_EQ(tick(), only(opstation::PanelKey::run));
    QTest::mouseRelease(handle(), Qt::RightButton, {}, centreOf("stopKey"));
    tick();
    EXPECT_EQ(tick(), DownloadKeys{});  // released although the left button is still down
    QTest::mouseRelease(handle(), Qt::LeftButton, {}, centreOf("stopKey"));
}

TEST_F(Window, KeysReachThePanelOnlyWhilePicture1HasTheFocus) {
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

TEST_F(Window, KeyHeldWhenTheFocusLeavesIsReleased) {
    start();
    QTest::keyPress(handle(), Qt::Key_J);
    EXPECT_EQ(tick(), only(opstation::PanelKey::jog));
    QTest::keyClick(handle(), Qt::Key_Tab);  // J is let go over Text1: no key-up reaches Picture1
    EXPECT_EQ(tick(), DownloadKeys{});
}

TEST_F(Window, ClickOnPicture1GivesItTheFocus) {
    start();
    window.text1()->setFocus();
    QTest::mouseClick(handle(), Qt::LeftButton, {}, QPoint(30, 30));  // on the housing, no key
    EXPECT_TRUE(window.picture1()->hasFocus());
    EXPECT_EQ(tick(), DownloadKeys{});
}

TEST_F(Window, MouseHeldKeyIsReleasedWhenTheWindowIsHidden) {
    start();
    QTest::mousePress(handle(), Qt::LeftButton, {}, centreOf("runKey"));
    tick();
    window.hide();
    EXPECT_EQ(tick(), DownloadKeys{});
}

TEST_F(Window, CloseTerminatesOnceAndNoCycleFollows) {
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

// ---- failures -------------------------------------------------------------

class WindowOnLibrary : public ::testing::Test {
protected:
    std::vector<QString> failures;

    void watch(OP_Station &window) {
        window.setFailureReporter([this](const QString &message) { failures.push_back(message); });
    }
};

TEST_F(WindowOnLibrary, MissingInitialiseStopsBeforeTheWindowIsShown) {
    opstation::DriveLibrary drive(testLibrary("drive_without_initialise"));
    OP_Station window(&drive);
    watch(window);
    EXPECT_FALSE(window.Form_Load());
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_THAT(failures[0].toStdString(), HasSubstr("opstat_initialise"));
    EXPECT_EQ(window.exitCode(), 1);
    window.startTimer1();
    EXPECT_FALSE(window.timer1().isActive());
}

TEST_F(WindowOnLibrary, MissingDownloadStopsAtTheFirstCycle) {
    const std::string path = testLibrary("drive_without_download");
    RecordingDrive &rec = recordOf(path);
    opstation::DriveLibrary drive(path);
    OP_Station window(&drive);
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

TEST_F(WindowOnLibrary, MissingUploadStopsAtTheFirstCycle) {
    opstation::DriveLibrary drive(testLibrary("drive_without_upload"));
    OP_Station window(&drive);
    watch(window);
    ASSERT_TRUE(window.Form_Load());
    window.Timer1_Timer();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_THAT(failures[0].toStdString(), HasSubstr("opstat_upload"));
}

TEST_F(WindowOnLibrary, MissingTerminateFailsAtUnloadOnce) {
    opstation::DriveLibrary drive(testLibrary("drive_without_terminate"));
    OP_Station window(&drive);
    watch(window);
    ASSERT_TRUE(window.Form_Load());
    window.Timer1_Timer();
    window.close();
    window.Form_Unload();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_THAT(failures[0].toStdString(), HasSubstr("opstat_terminate"));
    EXPECT_EQ(window.exitCode(), 1);
}

// ---- the real program -------------------------------------------------------

struct ProgramRun {
    int exitCode;
    QString errors;
};

ProgramRun runProgram(const QString &program, const QString &libraryPath, const QStringList &arguments = {}) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("LD_LIBRARY_PATH", libraryPath);
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        return {-1, "did not finish"};
    }
    return {process.exitCode(), QString::fromLocal8Bit(process.readAllStandardError())};
}

// Copied away from the libdrive.so beside it, the program finds none.
TEST(Program, MissingLibraryIsAClearErrorAndExitCode) {
    const QString folder = QDir::tempPath() + "/op-station-nolib-" + QString::number(QCoreApplication::applicationPid());
    QDir().mkpath(folder);
    const QString copy = folder + "/op-station";
    QFile::remove(copy);
    ASSERT_TRUE(QFile::copy(OPSTATION_PROGRAM, copy));
    const ProgramRun run = runProgram(copy, folder + "/empty");
    QDir(folder).removeRecursively();
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_THAT(run.errors.toStdString(), HasSubstr("cannot load the drive library libdrive.so"));
}

// LD_LIBRARY_PATH comes before the library beside the program.
TEST(Program, LibraryOnLdLibraryPathIsTakenFirst) {
    const ProgramRun run = runProgram(OPSTATION_PROGRAM, QString::fromStdString(std::string(OPSTATION_TESTLIBS_DIR) + "/drive_without_download"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_THAT(run.errors.toStdString(), HasSubstr("has no entry point opstat_download"));
}

// The panel has no command line: Qt's own options are not read (a platform
// that does not exist would stop Qt before the window opens), while Qt's
// environment (QT_QPA_PLATFORM) still is.
TEST(Program, QtOptionsOnTheCommandLineAreIgnored) {
    const ProgramRun run = runProgram(OPSTATION_PROGRAM, QString::fromStdString(std::string(OPSTATION_TESTLIBS_DIR) + "/drive_without_download"),
                                      {"-platform", "no-such-platform", "-reverse", "-style", "no-such-style"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_THAT(run.errors.toStdString(), HasSubstr("has no entry point opstat_download"));
}

}  // namespace
