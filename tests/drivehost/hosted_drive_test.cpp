// The drive library in the drive host: what the library sees and what comes
// back is what the loader gives in process; every way the library can fail
// in a call ends in one error naming the file, the entry point and the
// cause; and answers the host would never send are refused, never waited on.
#include "opstation/hosted_drive.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

#include "../libs/recording_drive.h"
#include "../support/library_symbol.h"
#include "../support/processes.h"
#include "../support/scripted_host.h"
#include "opstation/platform/drive_opening.h"
#include "opstation/platform/host_process.h"

namespace opstation {
namespace {

using namespace std::chrono_literals;
using ::testing::AllOf;
using ::testing::HasSubstr;

using platform::HostProcess;
using test::testLibrary;

std::unique_ptr<HostedDrive> hosted(const std::string &library, HostLimits limits = {}, int interruptFd = -1) {
    return platform::openHostedDrive(
        {.libraryFile = library, .limits = limits, .hostFolder = OPSTATION_HOST_FOLDER, .interruptFd = interruptFd});
}

HostProcess::Preparation theHost(const std::string &library, std::vector<std::string> environment = {}) {
    return [=] { return platform::HostCommand{{std::string(OPSTATION_HOST_FOLDER) + "/op-station-drive-host", library}, environment}; };
}

struct LedWords {
    std::array<int16_t, 14> words{};
    UploadLedWords pointers() {
        UploadLedWords p{};
        for (std::size_t i = 0; i < words.size(); ++i) p[i] = &words[i];
        return p;
    }
};

// ---- the same calls, the same results ----------------------------------------

// What one run of a script left: in the library's record and in the results.
struct ScriptRun {
    RecordingDrive seen;
    Text title;
    std::vector<UploadResult> uploads;
    std::vector<std::array<int16_t, 14>> words;
};

ScriptRun runScript(DriveLink &drive) {
    RecordingDrive &rec = sharedRecording();
    rec.title = std::string("Hosted\0title\x80\xFF", 14);
    rec.line1 = std::string("L1\0\x9F", 4);
    rec.line2 = std::string(20, 'z');
    rec.uploadResult = 3;
    ScriptRun run;
    LedWords leds;
    leds.words[5] = 77;  // a word the library does not write keeps its value
    run.title = drive.initialise(kStation);
    run.uploads.push_back(drive.exchange({-1, 0, 0, 0, 0, 0, 0, 0, 0, -1}, leds.pointers()));
    run.words.push_back(leds.words);
    rec.ledWords = std::array<int16_t, 14>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
    rec.uploadResult = 0;
    drive.download({0, -1, 0, 0, 0, 0, 0, 0, 0, 0});
    run.uploads.push_back(drive.upload(leds.pointers()));
    run.words.push_back(leds.words);
    drive.terminate(kStation);
    run.seen = rec;
    return run;
}

TEST(HostedDrive, TheLibrarySeesAndReturnsWhatItDoesInProcess) {
    DriveLibrary inProcess(testLibrary("recording_drive"));
    const ScriptRun expected = runScript(inProcess);
    const auto drive = hosted(testLibrary("recording_drive"));
    const ScriptRun got = runScript(*drive);

    EXPECT_EQ(got.title, expected.title);
    ASSERT_EQ(got.uploads.size(), expected.uploads.size());
    for (std::size_t i = 0; i < got.uploads.size(); ++i) {
        EXPECT_EQ(got.uploads[i].result, expected.uploads[i].result) << i;
        EXPECT_EQ(got.uploads[i].line1, expected.uploads[i].line1) << i;
        EXPECT_EQ(got.uploads[i].line2, expected.uploads[i].line2) << i;
        EXPECT_EQ(got.words[i], expected.words[i]) << i;
    }
    EXPECT_EQ(got.words[0][5], 77);
    EXPECT_THAT(got.seen.calls, ::testing::ElementsAreArray(expected.seen.calls));
    EXPECT_THAT(got.seen.downloads, ::testing::ElementsAreArray(expected.seen.downloads));
    EXPECT_EQ(got.seen.initialiseStation, 2);
    EXPECT_EQ(got.seen.terminateStation, 2);
    EXPECT_EQ(got.seen.titleOnEntry, expected.seen.titleOnEntry);  // 128 NULs and the one after
    EXPECT_EQ(got.seen.line1OnEntry, expected.seen.line1OnEntry);
    EXPECT_EQ(got.seen.line2OnEntry, expected.seen.line2OnEntry);
    EXPECT_EQ(drive->cycles(), 2);
}

TEST(HostedDrive, LendsTheSameFourteenWordsOnEveryCycle) {
    RecordingDrive &rec = sharedRecording();
    const auto drive = hosted(testLibrary("recording_drive"));
    EXPECT_TRUE(rec.calls.empty());  // started, but the library not yet called
    LedWords leds;
    drive->initialise(kStation);
    drive->exchange({}, leds.pointers());
    const auto first = rec.uploadPointers;
    drive->exchange({}, leds.pointers());
    EXPECT_EQ(rec.uploadPointers, first);
    EXPECT_EQ(std::set(first.begin(), first.end()).size(), 14u);
}

// ---- the library fails in a call ---------------------------------------------

struct Fault {
    const char *fault;  // OPSTATION_FAULT
    std::vector<std::string> message;
};

void PrintTo(const Fault &fault, std::ostream *out) { *out << fault.fault; }

class FailingLibrary : public ::testing::TestWithParam<Fault> {
protected:
    void SetUp() override { ::setenv("OPSTATION_FAULT", GetParam().fault, 1); }
    void TearDown() override { ::unsetenv("OPSTATION_FAULT"); }
};

// Initialise, cycles, terminate: the failure comes where the fault is, and
// the library is never called again.
TEST_P(FailingLibrary, EndsInOneErrorNamingFileEntryPointAndCause) {
    const std::string path = testLibrary("faulty_drive");
    const auto drive = hosted(path, {.initialise = 2s, .cycle = 300ms, .terminate = 300ms});
    LedWords leds;
    std::string message;
    try {
        drive->initialise(kStation);
        for (int cycle = 0; cycle < 60; ++cycle) drive->exchange({}, leds.pointers());
        drive->terminate(kStation);
    } catch (const DriveLibraryError &error) {
        message = error.what();
    }
    for (const std::string &part : GetParam().message) EXPECT_THAT(message, HasSubstr(part));
    EXPECT_THAT(message, HasSubstr(path));
    try {
        drive->exchange({}, leds.pointers());
        ADD_FAILURE() << "called again after the failure";
    } catch (const DriveLibraryError &again) {
        EXPECT_EQ(again.what(), message);
    }
}

INSTANTIATE_TEST_SUITE_P(
    EachWayToFail, FailingLibrary,
    ::testing::Values(
        Fault{"segv upload 50", {"crashed in opstat_upload: Segmentation fault (signal 11), in exchange cycle 50"}},
        Fault{"bus download 2", {"crashed in opstat_download: Bus error (signal 7), in exchange cycle 2"}},
        Fault{"ill initialise", {"crashed in opstat_initialise: Illegal instruction (signal 4)"}},
        Fault{"fpe terminate", {"crashed in opstat_terminate: Floating point exception (signal 8)"}},
        Fault{"abort upload 3", {"crashed in opstat_upload: Aborted (signal 6)"}},
        Fault{"exit download 4", {"ended its process in opstat_download with exit status 0, in exchange cycle 4"}},
        Fault{"_exit upload 1", {"ended its process in opstat_upload with exit status 0"}},
        Fault{"overrun initialise", {"opstat_initialise wrote past the end of the title"}},
        Fault{"overrun upload 5", {"opstat_upload wrote past the end of line 1", "exchange cycle 5"}},
        Fault{"hang initialise", {"hung in opstat_initialise: no return within 2.0 s"}},
        Fault{"hang download 3", {"hung in opstat_download: no return within 0.3 s, in exchange cycle 3"}},
        Fault{"hang upload 1", {"hung in opstat_upload"}},
        Fault{"hang terminate", {"hung in opstat_terminate"}}),
    test::faultName<::testing::TestParamInfo<Fault>>);

// What the library prints goes to standard error, and its reads of standard
// input find nothing: neither touches the exchange.
TEST(HostedDrive, LibraryThatPrintsAndReadsDoesNotDisturbTheExchange) {
    ::setenv("OPSTATION_FAULT", "print any", 1);
    const auto drive = hosted(testLibrary("faulty_drive"));
    LedWords leds;
    EXPECT_EQ(drive->initialise(kStation).substr(0, 13), std::u16string(u"Faulty drive\0", 13));
    for (int i = 1; i <= 3; ++i) {
        const UploadResult result = drive->exchange({}, leds.pointers());
        EXPECT_EQ(std::u16string(view(result.line2)).substr(0, 7), u"cycle " + std::u16string(1, char16_t(u'0' + i)));
    }
    drive->terminate(kStation);
    ::unsetenv("OPSTATION_FAULT");
}

TEST(HostedDrive, HostThatCannotStartIsNamedWithTheCause) {
    // started early, the host fails the first call
    const auto drive = platform::openHostedDrive({.libraryFile = testLibrary("recording_drive"), .hostFolder = "/no/such"});
    EXPECT_THAT([&] { drive->initialise(kStation); },
                ::testing::ThrowsMessage<DriveLibraryError>(AllOf(HasSubstr("cannot start the drive host /no/such/op-station-drive-host"),
                                                                  HasSubstr("recording_drive/libdrive.so"),
                                                                  HasSubstr("No such file"))));
}

// Environment set for the host alone (wine's is set this way): the host
// sees it, this process does not.
TEST(HostedDrive, EnvironmentForTheHostAlone) {
    ::setenv("OPSTATION_FAULT", "segv upload 9", 1);
    const std::string path = testLibrary("faulty_drive");
    HostedDrive drive(path, std::make_unique<HostProcess>(theHost(path, {"OPSTATION_FAULT=segv upload 2"}), -1));
    LedWords leds;
    drive.initialise(kStation);
    drive.exchange({}, leds.pointers());
    EXPECT_THAT([&] { drive.exchange({}, leds.pointers()); },
                ::testing::ThrowsMessage<DriveLibraryError>(HasSubstr("crashed in opstat_upload: Segmentation fault")));
    EXPECT_STREQ(std::getenv("OPSTATION_FAULT"), "segv upload 9");
    ::unsetenv("OPSTATION_FAULT");
}

TEST(HostedDrive, MissingLibraryGivesTheLoadersOwnMessage) {
    const std::string path = std::string(OPSTATION_TESTLIBS_DIR) + "/no-such-folder/libdrive.so";
    const auto drive = hosted(path);
    EXPECT_THAT([&] { drive->initialise(kStation); },
                ::testing::ThrowsMessage<DriveLibraryError>(
                    AllOf(::testing::StartsWith("cannot load the drive library " + path + ": "), HasSubstr("No such file"))));
}

// The system loader faults on a file cut short after its headers; in the
// host that is one more clear failure, not the end of the program.
TEST(HostedDrive, LibraryFileCutShortIsAClearFailure) {
    const auto folder = std::filesystem::temp_directory_path() / ("opstation-cut-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "libdrive.so").string();
    std::filesystem::copy_file(testLibrary("recording_drive"), path, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::resize_file(path, 1000);  // the headers, not the segments they map
    const auto drive = hosted(path);
    EXPECT_THAT([&] { drive->initialise(kStation); },
                ::testing::ThrowsMessage<DriveLibraryError>(
                    ::testing::StrEq("cannot load the drive library " + path +
                                     ": the file is damaged or cut short (the loader faulted while mapping it)")));
    std::filesystem::remove_all(folder);
}

// ---- asked to close ------------------------------------------------------------

class Closing : public ::testing::Test {
protected:
    int pipeFds[2] = {-1, -1};
    void SetUp() override {
        ASSERT_EQ(::pipe(pipeFds), 0);
        ASSERT_EQ(::write(pipeFds[1], "x", 1), 1);  // the close request is already there
    }
    void TearDown() override {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        ::unsetenv("OPSTATION_FAULT");
    }
};

TEST_F(Closing, AHangingCallIsGivenUpAfterTheGrace) {
    ::setenv("OPSTATION_FAULT", "hang upload 2", 1);
    const auto drive = hosted(testLibrary("faulty_drive"), {.grace = 200ms}, pipeFds[0]);
    LedWords leds;
    drive->initialise(kStation);
    drive->exchange({}, leds.pointers());
    EXPECT_THAT([&] { drive->exchange({}, leds.pointers()); },
                ::testing::ThrowsMessage<DriveInterrupted>(HasSubstr("was stopped in opstat_upload, in exchange cycle 2")));
}

TEST_F(Closing, ACallThatAnswersGoesOnAsUsual) {
    const auto drive = hosted(testLibrary("recording_drive"), {.grace = 5s}, pipeFds[0]);
    LedWords leds;
    drive->initialise(kStation);
    drive->exchange({}, leds.pointers());
    EXPECT_NO_THROW(drive->terminate(kStation));
}

// ---- the host's lifetime -----------------------------------------------------

using test::alive;
using test::childOf;
using test::within;

// Killed with SIGKILL, the panel leaves no host behind: even one whose
// library hangs and never reads its input again.
TEST(HostLifetime, NoHostOutlivesAPanelKilledWithSigkill) {
    ::setenv("OPSTATION_FAULT", "hang download 1", 1);
    const pid_t panel = ::fork();
    if (panel == 0) {
        const auto drive = hosted(testLibrary("faulty_drive"), {.cycle = 60s});
        LedWords leds;
        drive->initialise(kStation);
        drive->exchange({}, leds.pointers());
        ::_exit(0);
    }
    ::unsetenv("OPSTATION_FAULT");
    pid_t host = -1;
    ASSERT_TRUE(within(10s, [&] { return (host = childOf(panel)) > 0; }));
    ::kill(panel, SIGKILL);
    ::waitpid(panel, nullptr, 0);
    EXPECT_TRUE(within(10s, [&] { return !alive(host); })) << "host " << host << " outlived the panel";
}

TEST(HostLifetime, HostEndsWhenTheDriveIsDestroyed) {
    sharedRecording();
    pid_t host = -1;
    {
        auto process = std::make_unique<HostProcess>(theHost(testLibrary("recording_drive")), -1);
        HostProcess *raw = process.get();
        HostedDrive drive(testLibrary("recording_drive"), std::move(process));
        drive.initialise(kStation);
        host = raw->pid();
        EXPECT_TRUE(alive(host));
    }
    EXPECT_FALSE(alive(host));  // ended and reaped
}

// ---- answers the host would never send -------------------------------------------

struct BadAnswer {
    const char *name;
    std::vector<uint8_t> says;
    test::ScriptedHost::Then then;
    const char *message;
};

void PrintTo(const BadAnswer &bad, std::ostream *out) { *out << bad.name; }

std::vector<uint8_t> join(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> all;
    for (const auto &part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

std::vector<uint8_t> titleOf(std::size_t size) {
    const std::string bytes(size, 'T');
    return test::frameBytes(wire::FrameWriter(wire::Kind::title, wire::Call::initialise).bytes(bytes.data(), size));
}

class HostAnswer : public ::testing::TestWithParam<BadAnswer> {};

// Each is refused at once, piece by piece as it arrives, with a message
// naming the library and the call; none is waited on.
TEST_P(HostAnswer, IsRefusedWithAClearMessage) {
    const BadAnswer &bad = GetParam();
    for (std::size_t piece : {std::size_t{1}, std::size_t{4096}}) {
        auto host = std::make_unique<test::ScriptedHost>(bad.says, piece, bad.then);
        test::ScriptedHost &said = *host;
        HostedDrive drive("libdrive.so", std::move(host), {.initialise = 1h});
        EXPECT_THAT([&] { drive.initialise(kStation); },
                    ::testing::ThrowsMessage<DriveLibraryError>(AllOf(HasSubstr("libdrive.so"), HasSubstr("opstat_initialise"),
                                                                      HasSubstr(bad.message))))
            << "in pieces of " << piece;
        EXPECT_GE(said.stops, 1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Refused, HostAnswer,
    ::testing::Values(
        BadAnswer{"NotFrames", join({test::helloBytes(), {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'}}),
                  test::ScriptedHost::Then::hang, "bytes that are not a frame"},
        BadAnswer{"UnknownKind", join({test::helloBytes(), {'O', 'P', 99, 1, 0, 0, 0, 0}}), test::ScriptedHost::Then::hang,
                  "unknown kind 99"},
        BadAnswer{"HugeFrame", join({test::helloBytes(), {'O', 'P', 7, 1, 0xFF, 0xFF, 0xFF, 0x7F}}),
                  test::ScriptedHost::Then::hang, "a frame of 2147483647 bytes"},
        BadAnswer{"ShortTitle", join({test::helloBytes(), titleOf(3)}), test::ScriptedHost::Then::hang,
                  "no answer to opstat_initialise"},
        BadAnswer{"AnswerBeforeHello", titleOf(128), test::ScriptedHost::Then::hang, "no answer to opstat_initialise"},
        BadAnswer{"OtherVersion", test::helloBytes(7), test::ScriptedHost::Then::hang, "protocol version 7, not 2"},
        BadAnswer{"CutShort", join({test::helloBytes(), {'O', 'P', 7, 1, 128, 0, 0, 0, 'T'}}), test::ScriptedHost::Then::end,
                  "stopped answering in opstat_initialise: it went away"},
        BadAnswer{"CrashReportTooShort", join({test::helloBytes(), {'O', 'P', 11, 1, 2, 0, 0, 0, 1, 2}}),
                  test::ScriptedHost::Then::hang, "no answer to opstat_initialise"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(HostAnswerSilence, IsAHangAfterTheLimit) {
    HostedDrive drive("libdrive.so", std::make_unique<test::ScriptedHost>(test::helloBytes(), 64, test::ScriptedHost::Then::hang),
                      {.initialise = 1ms});
    EXPECT_THAT([&] { drive.initialise(kStation); },
                ::testing::ThrowsMessage<DriveLibraryError>(HasSubstr("hung in opstat_initialise")));
}

}  // namespace
}  // namespace opstation
