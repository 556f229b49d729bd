// The bridge end to end, as a user runs it: op-station-run (the drive host
// by default) on a drive-library folder holding the bridge as libdrive.so
// and a Windows drive.dll from the x86_64 cross build, run by wine. Each
// test DLL gives its transcript or its message; failures found before wine
// starts name the DLL and the cause; a prefix of its own is prepared on
// first use; and no wine process outlives a runner or a panel killed with
// SIGKILL.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "../support/processes.h"
#include "opstation/host_process.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::StartsWith;

const fs::path kWindowsBuild = OPSTATION_WINDOWS_BUILD "/x86_64";
const fs::path kWindowsBuild32 = OPSTATION_WINDOWS_BUILD "/i686";
const fs::path kExpected = OPSTATION_SOURCE_DIR "/tests/winbridge/expected";

std::string slurp(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

fs::path testDll(const std::string &name) { return kWindowsBuild / "testlibs" / name / "drive.dll"; }

// A drive-library folder: the bridge as libdrive.so (a symbolic link, or a
// copy) and `dll` as drive.dll, unless `dll` is empty.
fs::path driveFolder(const std::string &name, const fs::path &dll, bool copyTheBridge = false) {
    const fs::path folder = fs::path(::testing::TempDir()) / "winbridge_tests" / name;
    fs::remove_all(folder);
    fs::create_directories(folder);
    if (copyTheBridge) fs::copy_file(OPSTATION_BRIDGE, folder / "libdrive.so");
    else fs::create_symlink(OPSTATION_BRIDGE, folder / "libdrive.so");
    if (!dll.empty()) fs::create_symlink(dll, folder / "drive.dll");
    return folder;
}

struct Outcome {
    int status = -1;
    std::string transcript;
    std::string errors;
};

// op-station-run on the folder's libdrive.so, found by the library search
// as the panel finds it.
Outcome runThrough(const fs::path &folder, const std::string &script, const std::string &environment = "") {
    const fs::path scriptFile = folder / "script.ops";
    std::ofstream(scriptFile, std::ios::binary) << script;
    const std::string command = "env LD_LIBRARY_PATH='" + folder.string() + "' " + environment + " '" + OPSTATION_RUNNER +
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
    const Outcome run = runThrough(driveFolder(dll.name, testDll(dll.name)), "wait 3\n");
    EXPECT_EQ(run.status, dll.status) << run.errors;
    if (dll.status == 0) {
        EXPECT_EQ(run.transcript, slurp(kExpected / dll.expected));
    } else {
        EXPECT_EQ(run.errors, "op-station-run: the drive library " + testDll(dll.name).string() + dll.expected + "\n");
    }
}

INSTANTIATE_TEST_SUITE_P(
    ThroughTheBridge, TestDlls,
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
                " hung in opstat_upload: no return within 2.5 s, in exchange cycle 1; its host process was stopped"}),
    [](const auto &info) { return std::string(info.param.name); });

// ---- failures found before wine runs the DLL -------------------------------------

TEST(BeforeWine, MissingWineNamesThePackages) {
    const fs::path dll = kWindowsBuild / "bin" / "drive.dll";
    const Outcome run = runThrough(driveFolder("no_wine", dll), "wait 1\n", "OPSTATION_WINE_DIR=/nonexistent");
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.errors, "op-station-run: cannot load the drive library " + dll.string() +
                              ": it is a 64-bit Windows DLL, which runs under wine, and wine's 64-bit loader wine64 "
                              "is not installed (not found in OPSTATION_WINE_DIR=/nonexistent); install the Debian "
                              "packages wine and wine64\n");
}

TEST(BeforeWine, MissingOrDamagedDll) {
    const fs::path none = driveFolder("no_dll", "");
    Outcome run = runThrough(none, "wait 1\n");
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.errors, "op-station-run: cannot load the drive library " + (none / "drive.dll").string() +
                              ": No such file or directory\n");

    const fs::path text = driveFolder("text_dll", "");
    std::ofstream(text / "drive.dll") << "not a DLL\n";
    run = runThrough(text, "wait 1\n");
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.errors, "op-station-run: cannot load the drive library " + (text / "drive.dll").string() +
                              ": it is no Windows DLL (no PE header), or it is cut short\n");
}

// A 32-bit DLL runs where this machine runs 32-bit programs; elsewhere it
// is a clear message saying so. Emulated, a start outlasts the bridge's
// limit for the first call, so there is nothing to expect.
TEST(BeforeWine, ThirtyTwoBitDllRunsOrSaysWhyNot) {
    const int probe = std::system(OPSTATION_SOURCE_DIR "/tools/wine-run.sh --probe i686 2>/dev/null");
    if (WIFEXITED(probe) && WEXITSTATUS(probe) == 3) GTEST_SKIP() << "32-bit programs run here only emulated";
    const bool runs32 = probe == 0;
    const fs::path dll = kWindowsBuild32 / "bin" / "drive.dll";
    const Outcome run = runThrough(driveFolder("i686", dll), "wait 1\nexpect line 1 is \"STOPPED    LOCAL\"\n");
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

// ---- where the bridge finds its host, and the launcher ---------------------------

TEST(Installed, ACopyOfTheBridgeFindsItsWindowsHost) {
    const Outcome run = runThrough(driveFolder("copy", kWindowsBuild / "bin" / "drive.dll", true),
                               "expect title contains \"simulated drive\"\nwait 1\n");
    EXPECT_EQ(run.status, 0) << run.errors;
}

TEST(Installed, LauncherMakesTheFolderAndRunsTheScript) {
    const fs::path folder = fs::path(::testing::TempDir()) / "winbridge_tests" / "launcher";
    fs::create_directories(folder);
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

// Starts `argv` with `environment` on top of ours; stderr into `errors`.
pid_t start(std::vector<std::string> argv, std::vector<std::string> environment, const fs::path &errors) {
    std::vector<char *> args;
    for (std::string &arg : argv) args.push_back(arg.data());
    args.push_back(nullptr);
    const std::vector<char *> envp = opstation::environmentWith(environment);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int fd = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(fd, STDERR_FILENO);
        ::execve(args[0], args.data(), envp.data());
        ::_exit(127);
    }
    return pid;
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
    const fs::path folder = driveFolder("fresh_prefix", kWindowsBuild / "bin" / "drive.dll");
    const std::string environment = "OPSTATION_WINEPREFIX='" + prefix.string() + "'";
    const Outcome first = runThrough(folder, "wait 1\nexpect line 1 is \"STOPPED    LOCAL\"\n", environment);
    EXPECT_EQ(first.status, 0) << first.errors;
    EXPECT_THAT(first.errors, StartsWith("op-station: preparing the wine prefix " + prefix.string() +
                                         " for Windows drive libraries, first use only, about 10 s\n"));
    EXPECT_TRUE(fs::exists(prefix / ".opstation-ready"));

    const std::vector<std::string> wine = {"LD_LIBRARY_PATH=" + folder.string(), "OPSTATION_WINEPREFIX=" + prefix.string()};
    std::ofstream(folder / "long.ops") << "wait 100000\n";
    killOnceRunningThenAllEnd(prefix, start({OPSTATION_RUNNER, "--real-time", (folder / "long.ops").string()}, wine,
                                            folder / "runner_errors"),
                              "op-station-run killed");
#ifdef OPSTATION_PANEL
    std::vector<std::string> offscreen = wine;
    offscreen.push_back("QT_QPA_PLATFORM=offscreen");
    killOnceRunningThenAllEnd(prefix, start({OPSTATION_PANEL}, offscreen, folder / "panel_errors"), "op-station killed");
#endif
}

}  // namespace
