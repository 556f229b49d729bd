// Windows drive libraries end to end, as a user runs them: op-station-run
// (the drive host by default) with --library on a Windows drive.dll from
// the x86_64 cross build, which runs in the Windows drive host under wine.
// Each test DLL gives its transcript or its message; failures found before
// wine starts name the DLL and the cause; a prefix of its own is prepared
// on first use; and no wine process outlives a runner or a panel killed
// with SIGKILL.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "../support/files.h"
#include "../support/processes.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using opstation::test::slurp;
using opstation::test::start;

const fs::path kWindowsBuild = OPSTATION_WINDOWS_BUILD "/x86_64";
const fs::path kWindowsBuild32 = OPSTATION_WINDOWS_BUILD "/i686";
const fs::path kExpected = OPSTATION_SOURCE_DIR "/tests/wine/expected";

fs::path testDll(const std::string &name) { return kWindowsBuild / "testlibs" / name / "drive.dll"; }

fs::path workFolder(const std::string &name) {
    const fs::path folder = fs::path(::testing::TempDir()) / "wine_tests" / name;
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

struct Outcome {
    int status = -1;
    std::string transcript;
    std::string errors;
};

// op-station-run --library DLL on `script`, in the folder `name`.
Outcome runOn(const fs::path &dll, const std::string &name, const std::string &script, const std::string &environment = "") {
    const fs::path folder = workFolder(name);
    const fs::path scriptFile = folder / "script.ops";
    std::ofstream(scriptFile, std::ios::binary) << script;
    const std::string command = "env " + environment + " '" + OPSTATION_RUNNER + "' --quiet --library '" + dll.string() +
                                "' --transcript '" + (folder / "transcript").string() + "' '" + scriptFile.string() +
                                "' 2>'" + (folder / "errors").string() + "'";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(folder / "transcript"), slurp(folder / "errors")};
}

// ---- the test DLLs -------------------------------------------------------------

struct TestDll {
    const char *name;
    int status;
    const char *expected;  // the transcript's file in expected/, or the end of the message
};

void PrintTo(const TestDll &dll, std::ostream *out) { *out << dll.name; }

class TestDlls : public ::testing::TestWithParam<TestDll> {};

TEST_P(TestDlls, GiveTheirTranscriptOrMessage) {
    const TestDll &dll = GetParam();
    const Outcome run = runOn(testDll(dll.name), dll.name, "wait 3\nexpect title contains \"\"\n");
    EXPECT_EQ(run.status, dll.status) << run.errors;
    if (dll.status == 0) {
        EXPECT_EQ(run.transcript, slurp(kExpected / dll.expected));
    } else {
        EXPECT_EQ(run.errors, "op-station-run: the drive library " + testDll(dll.name).string() + dll.expected + "\n");
    }
}

INSTANTIATE_TEST_SUITE_P(
    UnderWine, TestDlls,
    ::testing::Values(
        TestDll{"windows_plain", 0, "named.transcript"},
        TestDll{"windows_msvc_names", 0, "named.transcript"},
        TestDll{"windows_mingw_names", 0, "named.transcript"},
        TestDll{"windows_full_text", 0, "full_text.transcript"},
        TestDll{"windows_no_upload", 3,
                " has no entry point opstat_upload: not exported as opstat_upload, _opstat_upload@64 or "
                "opstat_upload@64: Procedure not found. (error 127)"},
        TestDll{"windows_crash", 3, " crashed in opstat_upload: Access violation (exception 0xC0000005), in exchange cycle 1"},
        TestDll{"windows_hang", 3,
                " hung in opstat_upload: no return within 3.0 s, in exchange cycle 1; its host process was stopped"}),
    [](const auto &info) { return std::string(info.param.name); });

// ---- failures found before wine runs the DLL -------------------------------------

TEST(BeforeWine, MissingWineNamesThePackages) {
    const fs::path dll = kWindowsBuild / "bin" / "drive.dll";
    const Outcome run = runOn(dll, "no_wine", "expect title contains \"\"\n", "OPSTATION_WINE_DIR=/nonexistent");
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.errors, "op-station-run: cannot load the drive library " + dll.string() +
                              ": it is a 64-bit Windows DLL, which runs under wine, and wine's 64-bit loader wine64 "
                              "is not installed (not found in OPSTATION_WINE_DIR=/nonexistent); install the Debian "
                              "packages wine and wine64\n");
}

TEST(BeforeWine, MissingOrDamagedDll) {
    const fs::path none = workFolder("none") / "drive.dll";
    Outcome run = runOn(none, "no_dll", "expect title contains \"\"\n");
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.errors, "op-station-run: cannot load the drive library " + none.string() + ": No such file or directory\n");

    const fs::path text = workFolder("text") / "drive.dll";
    std::ofstream(text) << "not a DLL\n";
    run = runOn(text, "text_dll", "expect title contains \"\"\n");
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.errors, "op-station-run: cannot load the drive library " + text.string() +
                              ": it is no Windows DLL (no PE header), or it is cut short\n");
}

// A 32-bit DLL runs where this machine runs 32-bit programs; elsewhere it
// is a clear message saying so. Emulated, every start costs a minute: the
// Windows runner's tests cover that case.
TEST(BeforeWine, ThirtyTwoBitDllRunsOrSaysWhyNot) {
    const int probe = std::system(OPSTATION_SOURCE_DIR "/tools/wine-run.sh --probe i686 2>/dev/null");
    if (WIFEXITED(probe) && WEXITSTATUS(probe) == 3) GTEST_SKIP() << "32-bit programs run here only emulated";
    const bool runs32 = probe == 0;
    const fs::path dll = kWindowsBuild32 / "bin" / "drive.dll";
    const Outcome run = runOn(dll, "i686", "wait 1\nexpect line 1 is \"STOPPED    LOCAL\"\n");
    if (runs32) {
        EXPECT_EQ(run.status, 0) << run.errors;
    } else {
        EXPECT_EQ(run.status, 3);
        EXPECT_THAT(run.errors, StartsWith("op-station-run: cannot load the drive library " + dll.string() +
                                           ": it is a 32-bit Windows DLL, and this machine cannot run 32-bit x86 "
                                           "programs at all"));
        EXPECT_THAT(run.errors, HasSubstr("or use a 64-bit build of the DLL"));
    }
}

// ---- the launcher -------------------------------------------------------------

TEST(Launcher, RunsTheScriptOnTheDll) {
    const fs::path folder = workFolder("launcher");
    std::ofstream(folder / "s.ops") << "wait 1\nexpect line 1 is \"STOPPED    LOCAL\"\n";
    const fs::path dll = kWindowsBuild / "bin" / "drive.dll";
    const std::string command = std::string("'") + OPSTATION_LAUNCHER + "' --run '" + (folder / "s.ops").string() +
                                "' --real-time '" + dll.string() + "' 2>'" + (folder / "errors").string() + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << slurp(folder / "errors");
    EXPECT_THAT(slurp(folder / "errors"), HasSubstr("passed, 1 expectation held in 1 cycle"));
}

// ---- a prefix of its own, and no wine process left behind --------------------------

// The processes of one wine prefix: wine's loader, the host, wineserver
// and wine's own services all carry its WINEPREFIX.
std::vector<pid_t> processesOf(const std::string &prefix) {
    std::vector<pid_t> found;
    const std::string entry = "WINEPREFIX=" + prefix;
    for (const auto &process : fs::directory_iterator("/proc")) {
        const std::string name = process.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream environ(process.path() / "environ", std::ios::binary);
        for (std::string variable; std::getline(environ, variable, '\0');)
            if (variable == entry) found.push_back(static_cast<pid_t>(std::stol(name)));
    }
    return found;
}

std::string commandLine(pid_t pid) {
    std::string line = slurp("/proc/" + std::to_string(pid) + "/cmdline");
    std::replace(line.begin(), line.end(), '\0', ' ');
    return line;
}

std::string described(const std::vector<pid_t> &processes) {
    std::string text;
    for (const pid_t pid : processes) text += "\n  " + std::to_string(pid) + " " + commandLine(pid);
    return text;
}

bool windowsHostRuns(const std::string &prefix) {
    for (const pid_t pid : processesOf(prefix))
        if (commandLine(pid).find("op-station-drive-host") != std::string::npos) return true;
    return false;
}

// Kills `program` with SIGKILL as soon as its Windows drive host has been
// started (while wine may still be starting its session), then waits for
// every process of the prefix to end.
void killOnceRunningThenAllEnd(const std::string &prefix, pid_t program, const char *what) {
    SCOPED_TRACE(what);
    ASSERT_TRUE(opstation::test::within(30s, [&] { return windowsHostRuns(prefix); })) << "the Windows drive host did not start";
    ::kill(program, SIGKILL);
    ::waitpid(program, nullptr, 0);
    EXPECT_TRUE(opstation::test::within(15s, [&] { return processesOf(prefix).empty(); }))
        << "processes of the prefix left:" << described(processesOf(prefix));
}

TEST(OwnPrefix, PreparedOnFirstUseAndNoWineProcessOutlivesARunnerOrPanelKilled) {
    const fs::path prefix = fs::path(OPSTATION_TEST_PREFIXES) / "fresh";
    fs::remove_all(prefix);
    fs::remove(prefix.string() + ".lock");
    const fs::path dll = kWindowsBuild / "bin" / "drive.dll";
    const std::string environment = "OPSTATION_WINEPREFIX='" + prefix.string() + "'";
    const Outcome first = runOn(dll, "fresh_prefix", "wait 1\nexpect line 1 is \"STOPPED    LOCAL\"\n", environment);
    EXPECT_EQ(first.status, 0) << first.errors;
    EXPECT_THAT(first.errors, StartsWith("op-station-run: preparing the wine prefix " + prefix.string() +
                                         " for Windows drive libraries, first use only, about 10 s\n"));
    EXPECT_TRUE(fs::exists(prefix / ".opstation-ready"));

    const fs::path folder = workFolder("killed");
    const std::vector<std::string> wine = {"OPSTATION_WINEPREFIX=" + prefix.string()};
    std::ofstream(folder / "long.ops") << "wait 100000\n";
    killOnceRunningThenAllEnd(
        prefix,
        start({OPSTATION_RUNNER, "--real-time", "--library", dll.string(), (folder / "long.ops").string()}, wine,
              folder / "runner_errors"),
        "op-station-run killed");
#ifdef OPSTATION_PANEL
    std::vector<std::string> offscreen = wine;
    offscreen.push_back("QT_QPA_PLATFORM=offscreen");
    killOnceRunningThenAllEnd(prefix, start({OPSTATION_PANEL, "--library", dll.string()}, offscreen, folder / "panel_errors"),
                              "op-station killed");
#endif
}

}  // namespace
