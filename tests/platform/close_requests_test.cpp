// Close requests, one rule for every program: the first SIGTERM, SIGINT or
// SIGHUP closes the program properly (the library is stopped), a second one
// ends it at once, and a signal that the program was started with ignored
// (nohup) stays ignored. Sent here as SIGHUP, then SIGTERM, to a program
// that runs: caught, SIGHUP is the first request and SIGTERM the second,
// which ends the program without closing it; ignored, SIGTERM is the first
// and the program closes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/wait.h>

#include "../support/files.h"
#include "../support/processes.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using opstation::test::slurp;
using opstation::test::testLibrary;

struct Program {
    const char *name;
    std::vector<std::string> argv;
    std::vector<std::string> environment;
};

struct Case {
    Program program;
    bool hangupIgnored;
};

void PrintTo(const Case &c, std::ostream *out) { *out << c.program.name << (c.hangupIgnored ? " under nohup" : ""); }

class CloseRequests : public ::testing::TestWithParam<Case> {};

// The faulty drive, told to print in every call, says on standard error
// when it is started and when it is stopped properly.
TEST_P(CloseRequests, SighupIgnoredAtStartStaysIgnored) {
    const Case &c = GetParam();
    const fs::path folder = fs::path(::testing::TempDir()) / "close_requests" / (std::string(c.program.name) + (c.hangupIgnored ? "_nohup" : ""));
    fs::remove_all(folder);
    fs::create_directories(folder);
    std::ofstream(folder / "long.ops") << "wait 100000\n";
    std::vector<std::string> argv = c.program.argv;
    for (std::string &arg : argv)
        if (arg == "SCRIPT") arg = (folder / "long.ops").string();
    std::vector<std::string> environment = c.program.environment;
    environment.push_back("OPSTATION_FAULT=print any");
    const pid_t pid = opstation::test::start(argv, environment, folder / "errors",
                                             c.hangupIgnored ? std::vector<int>{SIGHUP} : std::vector<int>{});
    // Its drive host runs once the program catches close requests.
    ASSERT_TRUE(opstation::test::within(20s, [&] { return opstation::test::childOf(pid) > 0; }));
    ASSERT_TRUE(opstation::test::within(20s, [&] { return slurp(folder / "errors").find("prints in download") != std::string::npos; }));
    ::kill(pid, SIGHUP);
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
    const bool closedProperly = slurp(folder / "errors").find("prints in terminate") != std::string::npos;
    EXPECT_EQ(closedProperly, c.hangupIgnored) << slurp(folder / "errors");
}

const Program kRunner{"runner", {OPSTATION_RUNNER, "--real-time", "--library", testLibrary("faulty_drive"), "SCRIPT"}, {}};
const Program kPanel{"panel", {OPSTATION_PANEL, "--library", testLibrary("faulty_drive")}, {"QT_QPA_PLATFORM=offscreen"}};

INSTANTIATE_TEST_SUITE_P(BothPrograms, CloseRequests,
                         ::testing::Values(Case{kRunner, false}, Case{kRunner, true}, Case{kPanel, false}, Case{kPanel, true}),
                         [](const auto &info) {
                             return std::string(info.param.program.name) + (info.param.hangupIgnored ? "UnderNohup" : "");
                         });

}  // namespace
