// The real op-station-run: its command line, its exit statuses and
// messages, and the same transcript on every run, paced or not. On Windows
// (under wine, in the cross build) through cmd, with the library in the
// runner's own process.
#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <sys/wait.h>
#endif

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "../support/files.h"
#if !defined(_WIN32)
#include <csignal>

#include "../support/processes.h"
#endif

namespace {

using opstation::test::slurp;
using opstation::test::testLibrary;

namespace fs = std::filesystem;

#if defined(_WIN32)
// A path as cmd takes it: drive Z: is the Unix root under wine.
std::string commandPath(std::string path) {
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}
std::string quoted(const std::string &text) { return '"' + text + '"'; }
// cmd drops the first and the last quote of a command line that has more.
std::string shellCommand(const std::string &command) { return '"' + command + '"'; }
int exitCode(int status) { return status; }
// Messages on stderr end their lines as Windows does (transcripts do not).
std::string messages(std::string text) {
    for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;) text.erase(at, 1);
    return text;
}
#else
std::string commandPath(const std::string &path) { return path; }
std::string quoted(const std::string &text) { return "'" + text + "'"; }
std::string shellCommand(const std::string &command) { return command; }
int exitCode(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }
std::string messages(std::string text) { return text; }
#endif

const std::string kRunner = commandPath(OPSTATION_RUNNER);
const std::string kDrive = DRIVESIM_LIBRARY_PATH;
const std::string kTestLibs = OPSTATION_TESTLIBS_DIR;

class RunnerCli : public ::testing::Test {
protected:
    fs::path dir = fs::path(::testing::TempDir()) /
                   ("runner_cli_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::string out, err;

    void SetUp() override {
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string script(const std::string &name, const std::string &text) {
        std::ofstream(dir / name, std::ios::binary) << text;
        return (dir / name).string();
    }

    // The exit status; stdout and stderr land in out and err. Quiet: no
    // word of the library loaded.
    int run(const std::string &arguments, const std::string &environment = "") { return loud("--quiet " + arguments, environment); }
    int loud(const std::string &arguments, const std::string &environment = "") {
        const std::string command = environment + " " + quoted(kRunner) + " " + arguments + " >" +
                                    quoted((dir / "out").string()) + " 2>" + quoted((dir / "err").string());
        const int status = std::system(shellCommand(command).c_str());
        out = slurp(dir / "out");
        err = messages(slurp(dir / "err"));
        return exitCode(status);
    }

    std::string onOurDrive(const std::string &arguments) { return "--library " + quoted(kDrive) + " " + arguments; }
};

TEST_F(RunnerCli, HelpAndVersion) {
    EXPECT_EQ(run("--help"), 0);
    EXPECT_NE(out.find("Usage: op-station-run [OPTIONS] SCRIPT"), std::string::npos);
    EXPECT_EQ(run("--version"), 0);
    EXPECT_EQ(out, "op-station-run " OPSTATION_VERSION "\n");
}

TEST_F(RunnerCli, WrongCommandLinesAreStatus2) {
    for (const std::string arguments : {"", "--frobnicate x.ops", "--library", "--real-time=yes x.ops", "a.ops b.ops"}) {
        EXPECT_EQ(run(arguments), 2) << arguments;
        EXPECT_EQ(err.rfind("op-station-run: ", 0), 0u) << err;
        EXPECT_NE(err.find("--help"), std::string::npos) << err;
    }
    EXPECT_EQ(run(quoted((dir / "missing.ops").string())), 2);
    EXPECT_NE(err.find("cannot read the script " + (dir / "missing.ops").string() + ": No such file or directory"),
              std::string::npos)
        << err;
    const std::string ok = script("ok.ops", "wait 1\nexpect title contains \"\"\n");
    EXPECT_EQ(run(onOurDrive("--transcript " + quoted((dir / "no" / "such" / "t.txt").string()) + " " + quoted(ok))), 2);
    EXPECT_NE(err.find("cannot write the transcript"), std::string::npos) << err;
}

// A script that checks nothing runs, and says so; --strict refuses it.
TEST_F(RunnerCli, ScriptThatChecksNothingIsSaidOrRefused) {
    const std::string none = script("none.ops", "# only a comment\nwait 2\n");
    EXPECT_EQ(run(onOurDrive(quoted(none))), 0);
    EXPECT_EQ(err.rfind("op-station-run: warning: " + none + " checks nothing (no expect and no wait until)", 0), 0u) << err;
    EXPECT_EQ(run(onOurDrive("--strict " + quoted(none))), 2);
    EXPECT_EQ(err, "op-station-run: " + none + " checks nothing (no expect and no wait until), so passing proves nothing\n");
}

// Which file was loaded, once, with its full path: a folder mistyped on
// LD_LIBRARY_PATH shows at once.
TEST_F(RunnerCli, SaysWhichLibraryFileItLoaded) {
    const std::string ok = script("ok.ops", "expect title contains \"\"\n");
    EXPECT_EQ(loud(onOurDrive(quoted(ok))), 0);
#if defined(_WIN32)
    const std::string loaded = kDrive;  // a path given stays as given there
#else
    const std::string loaded = fs::canonical(kDrive).string();
#endif
    EXPECT_EQ(err.rfind("op-station-run: drive library " + loaded + "\n", 0), 0u) << err;
    EXPECT_EQ(err.find("drive library", 20), std::string::npos) << err;
}

// Found before any library call: the missing library would be status 3.
TEST_F(RunnerCli, ScriptErrorsAreStatus2WithFileLineAndColumn) {
    const std::string bad = script("bad.ops", "wait 1\npress run jump\n");
    EXPECT_EQ(run("--library /nonexistent/libdrive.so " + quoted(bad)), 2);
    EXPECT_EQ(err, bad + ":2:11: expected a panel key (up, down, esc, menu, dir, jog, local, run, stop or disp), "
                         "found \"jump\"\n");
}

TEST_F(RunnerCli, PassAndFailAreStatus0And1) {
    const std::string pass = script("pass.ops", "wait 1\nexpect line 1 is \"STOPPED    LOCAL\"\n");
    EXPECT_EQ(run(onOurDrive(quoted(pass))), 0) << err;
    EXPECT_NE(err.find("passed, 1 expectation held in 1 cycle (0.040 s"), std::string::npos) << err;

    const std::string fail = script("fail.ops", "wait 1\ntap run\nwait 2\nexpect led run is off\n");
    EXPECT_EQ(run(onOurDrive(quoted(fail))), 1);
    EXPECT_EQ(err, fail + ":4: expect led run is off: at cycle 3 (0.120 s), led run was on (words -1 0)\n");
}

TEST_F(RunnerCli, LibraryFailuresAreStatus3WithThePanelsMessage) {
    const std::string ok = script("ok.ops", "wait 1\nexpect title contains \"\"\n");
    EXPECT_EQ(run("--library /nonexistent/libdrive.so " + quoted(ok)), 3);
    EXPECT_EQ(err.rfind("op-station-run: cannot load the drive library /nonexistent/libdrive.so: ", 0), 0u) << err;

    const std::string noUpload = testLibrary("drive_without_upload");
    EXPECT_EQ(run("--in-process --library " + quoted(noUpload) + " " + quoted(ok)), 3);
    EXPECT_EQ(err.rfind("op-station-run: the drive library " + noUpload + " has no entry point opstat_upload: ", 0), 0u)
        << err;
}

#if !defined(_WIN32)
// Every way a library can end a run from inside a call gives the same
// verdict in the drive host and in the runner's own process: status 3, the
// same message, the transcript written out and ended; never a pass. What
// the library prints never lands in the transcript.
struct Ending {
    const char *fault;  // OPSTATION_FAULT
    int status;         // -15: ended by SIGTERM, after a close request
    std::vector<std::string> said;
};

void PrintTo(const Ending &ending, std::ostream *out) { *out << ending.fault; }

class RunnerEnding : public RunnerCli, public ::testing::WithParamInterface<std::tuple<Ending, bool>> {};

TEST_P(RunnerEnding, IsTheSameVerdictInTheHostAndInProcess) {
    const auto &[ending, inProcess] = GetParam();
    const std::string faulty = testLibrary("faulty_drive");
    const std::string ok = script("ok.ops", "wait 5\nexpect title contains \"Faulty\"\n");
    const std::string command = std::string(inProcess ? "--in-process " : "") + "--library " + quoted(faulty) +
                                " --transcript - " + quoted(ok);
    if (ending.status == -SIGTERM) {
        // Asked to close while the call hangs: the runner ends the same way.
        const pid_t runner = opstation::test::start({"/bin/sh", "-c", "exec " + kRunner + " --quiet " + command + " >" + quoted((dir / "out").string())},
                                                    {"OPSTATION_FAULT=" + std::string(ending.fault)}, dir / "err");
        ASSERT_TRUE(opstation::test::within(std::chrono::seconds(20), [&] {
            return slurp(dir / "err").find("the faulty drive hangs") != std::string::npos;
        }));
        ::kill(runner, SIGTERM);
        int waited = 0;
        ::waitpid(runner, &waited, 0);
        out = slurp(dir / "out");
        err = slurp(dir / "err");
        EXPECT_TRUE(WIFSIGNALED(waited) && WTERMSIG(waited) == SIGTERM) << err;
    } else {
        EXPECT_EQ(run(command, "OPSTATION_FAULT='" + std::string(ending.fault) + "'"), ending.status) << err;
    }
    for (const std::string &part : ending.said) EXPECT_NE(err.find(part), std::string::npos) << err;
    EXPECT_EQ(out.find("the faulty drive prints"), std::string::npos) << out;
    EXPECT_EQ(out.rfind("title \"Faulty drive\"\n", 0), 0u) << out;
    if (ending.status != 0) EXPECT_NE(out.find(": the drive library failed\n"), std::string::npos) << out;
}

INSTANTIATE_TEST_SUITE_P(
    EachWay, RunnerEnding,
    ::testing::Combine(
        ::testing::Values(
            Ending{"segv upload 3", 3,
                   {"op-station-run: the drive library " + testLibrary("faulty_drive") +
                    " crashed in opstat_upload: Segmentation fault (signal 11), in exchange cycle 3\n"}},
            Ending{"abort download 2", 3, {" crashed in opstat_download: Aborted (signal 6), in exchange cycle 2\n"}},
            Ending{"exit download 2", 3,
                   {" ended its process in opstat_download with exit status 0, in exchange cycle 2, which counts as a failure\n"}},
            Ending{"overrun upload 2", 3,
                   {" failed in opstat_upload, in exchange cycle 2: opstat_upload wrote past the end of line 1, so its "
                    "memory can no longer be trusted\n"}},
            Ending{"print any", 0, {"the faulty drive prints in upload\n", "passed, 1 expectation held"}},
            Ending{"hang upload 2", -SIGTERM,
                   {" was stopped in opstat_upload, in exchange cycle 2: the program was asked to close before the call returned\n",
                    "op-station-run: interrupted after cycle 1\n"}}),
        ::testing::Bool()),
    [](const auto &info) {
        return opstation::test::faultName(::testing::TestParamInfo<Ending>(std::get<0>(info.param), 0)) +
               (std::get<1>(info.param) ? "_InProcess" : "_Hosted");
    });
#endif

// The system loader faults inside the load of a file cut short after its
// program headers; the runner still ends with its own status and name, in
// process as through the drive host.
TEST_F(RunnerCli, LibraryCutShortIsStatus3) {
    std::string bytes = slurp(testLibrary("recording_drive"));
    bytes.resize(1000);
    const std::string cut = (dir / fs::path(testLibrary("recording_drive")).filename()).string();
    std::ofstream(cut, std::ios::binary) << bytes;
    const std::string ok = script("ok.ops", "wait 1\nexpect title contains \"\"\n");
    for (const std::string where : {"--in-process ", ""}) {
        EXPECT_EQ(run(where + "--library " + quoted(cut) + " " + quoted(ok)), 3);
        EXPECT_EQ(err.rfind("op-station-run: cannot load the drive library " + cut, 0), 0u) << err;
    }
}

TEST_F(RunnerCli, ScriptFromStdinTranscriptToStdout) {
    const std::string text = script("in.ops", "expect title contains \"simulated drive\"\nwait 1\n");
    EXPECT_EQ(run(onOurDrive("--transcript - - <" + quoted(text))), 0) << err;
    EXPECT_EQ(out.rfind("title \"KELVARA DRIVES - simulated drive, station 2\"\ncycle 1 at 0.040 s: ", 0), 0u) << out;
    EXPECT_NE(err.find("stdin: passed"), std::string::npos) << err;
}

// Our simulated drive keeps station time: the same bytes on every run, and
// the same paced at 40 ms (25 cycles: one second) as unpaced.
TEST_F(RunnerCli, SameTranscriptOnEveryRunPacedOrNot) {
    const std::string text = script("s.ops", "tap run\nwait 12\ntap dir\nwait 13\n");
    const std::string t1 = (dir / "1.txt").string(), t2 = (dir / "2.txt").string(), t3 = (dir / "3.txt").string();
    ASSERT_EQ(run(onOurDrive("--transcript " + quoted(t1) + " " + quoted(text))), 0) << err;
    ASSERT_EQ(run(onOurDrive("--transcript " + quoted(t2) + " " + quoted(text))), 0) << err;
    ASSERT_EQ(run(onOurDrive("--real-time --transcript " + quoted(t3) + " " + quoted(text))), 0) << err;
    EXPECT_NE(slurp(t1).find("cycle 25 at 1.000 s: "), std::string::npos);
    EXPECT_EQ(slurp(t1), slurp(t2));
    EXPECT_EQ(slurp(t1), slurp(t3));
}

}  // namespace
