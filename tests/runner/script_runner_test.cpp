// Scripts run against a drive double: what reaches the drive, what the
// conditions read, the verdicts and the transcript.
#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <sstream>

#include "opstation/drive_library.h"
#include "opstation/runner/recording.h"
#include "opstation/runner/script_runner.h"

namespace opstation {
namespace {

Line line(std::u16string_view text) {
    Line out{};
    std::copy(text.begin(), text.end(), out.begin());
    return out;
}

constexpr int16_t kOn = -1;

// n NULs as the transcript and the messages write them.
std::string nuls(int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += "\\0";
    return out;
}

class FakeDrive : public DriveLink {
public:
    Text title = Text(u"Fake drive") + Text(kTitleSize - 10, u'\0');
    // Fills in the answer of exchange number n (from 1).
    std::function<void(std::size_t n, UploadResult &, const UploadLedWords &)> answer;
    std::string failing;  // the call that throws
    std::vector<std::string> calls;
    std::vector<DownloadKeys> keys;

    Text initialise(int32_t) override { return record("initialise"), title; }
    void terminate(int32_t) override { record("terminate"); }
    void download(const DownloadKeys &) override { record("download"); }
    UploadResult upload(const UploadLedWords &) override { return record("upload"), UploadResult{}; }
    UploadResult exchange(const DownloadKeys &k, const UploadLedWords &words) override {
        record("exchange");
        keys.push_back(k);
        UploadResult result;
        if (answer) answer(keys.size(), result, words);
        return result;
    }

private:
    void record(const std::string &call) {
        calls.push_back(call);
        if (call == failing) throw DriveLibraryError("the drive library fake.so failed in " + call);
    }
};

struct Outcome {
    Verdict verdict;
    std::string transcript;
};

Outcome run(std::string_view text, FakeDrive &drive, const volatile std::sig_atomic_t *interrupted = nullptr) {
    const ParsedScript parsed = parseScript(text, "t.ops");
    EXPECT_TRUE(parsed.errors.empty());
    std::ostringstream transcript;
    RunSettings settings;
    settings.transcript = &transcript;
    settings.interrupted = interrupted;
    const Verdict verdict = runScript(parsed.script, drive, settings);
    return {verdict, transcript.str()};
}

DownloadKeys keysDown(std::initializer_list<PanelKey> keys) {
    DownloadKeys out{};
    for (PanelKey k : keys) out[static_cast<std::size_t>(k)] = kTrue;
    return out;
}

TEST(ScriptRun, KeysReachTheDriveAsTheWindowPassesThemInOneExchangeStep) {
    FakeDrive drive;
    const Outcome r = run("tap run\nwait 2\npress up\nwait 2\nrelease up\nwait 1\nkey F2 down\nwait 1\nkey f2 up\nwait 1\n"
                      "press stop\nrelease stop\npress stop\nwait 1\nrelease stop\nwait 1",
                      drive);
    EXPECT_EQ(r.verdict.outcome, Verdict::Outcome::passed);
    using enum PanelKey;
    EXPECT_EQ(drive.keys, (std::vector<DownloadKeys>{keysDown({run}), keysDown({}), keysDown({up}), keysDown({up}), keysDown({}),
                                                     keysDown({up, PanelKey::down}), keysDown({}), keysDown({stop}), keysDown({})}));
    const std::vector<std::string> expectedCalls = [] {
        std::vector<std::string> c{"initialise"};
        c.insert(c.end(), 9, "exchange");
        c.push_back("terminate");
        return c;
    }();
    EXPECT_EQ(drive.calls, expectedCalls);
}

TEST(ScriptRun, LinesReadAsTheWindowShowsThem) {
    FakeDrive drive;
    drive.answer = [](std::size_t n, UploadResult &r, const UploadLedWords &) {
        r.line1 = line(n == 1 ? u"STOPPED  " : u"GARBAGE");
        r.line2 = line(u"SP 50%");
        r.result = n == 1 ? 0 : 1;  // a non-zero result leaves the display as it was
    };
    const Outcome r = run(R"(expect line 1 is "0123456789ABCDEF"
wait 1
expect line 1 is "STOPPED"
expect line 1 is exactly "STOPPED  \0\0\0\0\0\0\0\0\0\0\0"
expect line 2 contains "50%"
wait 1
expect line 1 is "STOPPED")",
                      drive);
    EXPECT_EQ(r.verdict.outcome, Verdict::Outcome::passed) << r.verdict.message;
    EXPECT_EQ(r.verdict.expectations, 5u);
}

TEST(ScriptRun, FailedExpectationNamesFileLineExpectationSeenAndCycleThenUnloads) {
    FakeDrive drive;
    drive.answer = [](std::size_t, UploadResult &r, const UploadLedWords &) { r.line2 = line(u"SP \"50\""); };
    const Outcome r = run("wait 3\nexpect line 2 contains \"X\"  # never\nwait 5", drive);
    EXPECT_EQ(r.verdict.outcome, Verdict::Outcome::failed);
    EXPECT_EQ(r.verdict.message,
              R"(t.ops:2: expect line 2 contains "X": at cycle 3 (0.120 s), line 2 was "SP \"50\")" + nuls(9) + "\" + \"" +
                  nuls(4) + "\"");
    EXPECT_EQ(r.verdict.cycles, 3u);
    EXPECT_EQ(drive.calls.back(), "terminate");
    EXPECT_EQ(exitStatus(r.verdict.outcome), 1);
}

TEST(ScriptRun, WaitUntilChecksBeforeEachCycleAndGivesUpAfterN) {
    FakeDrive drive;
    drive.answer = [](std::size_t n, UploadResult &r, const UploadLedWords &) {
        r.line1 = line(n >= 5 ? u"READY" : u"BUSY");
    };
    EXPECT_EQ(run("wait until line 1 is \"READY\" within 10\nwait until line 1 is \"READY\" within 0", drive).verdict.cycles, 5u);
    FakeDrive slow;
    slow.answer = drive.answer;
    const Outcome late = run("wait until line 1 contains \"READY\" within 3", slow);
    EXPECT_EQ(late.verdict.outcome, Verdict::Outcome::failed);
    EXPECT_NE(late.verdict.message.find(": after 3 cycles, at cycle 3 (0.120 s), line 1 was \"BUSY"), std::string::npos)
        << late.verdict.message;
}

TEST(ScriptRun, LedsAreOnFlashingOrOffByThePanelsFormulaAndByTheirWords) {
    FakeDrive drive;
    drive.answer = [](std::size_t, UploadResult &, const UploadLedWords &w) {
        *w[0] = kOn;               // health on
        *w[6] = kOn, *w[7] = kOn;  // run flashing
        *w[9] = kOn;               // stop: flash word only, off
        *w[2] = 2, *w[3] = 1;      // fwd: bit 1 lit in both phases, on
    };
    const Outcome r = run("wait 1\nexpect led health is on\nexpect led run is flashing\nexpect led stop is off\n"
                      "expect led fwd is on\nexpect led run words -1 0xFFFF\nexpect led rev is on",
                      drive);
    EXPECT_EQ(r.verdict.expectations, 5u);
    EXPECT_EQ(r.verdict.message, "t.ops:7: expect led rev is on: at cycle 1 (0.040 s), led rev was off (words 0 0)");
}

TEST(ScriptRun, TitleIsTheCaptionUpToItsFirstNul) {
    FakeDrive drive;
    const Outcome r = run("expect title is \"Fake drive\"\nexpect title contains \"ke dr\"\nexpect title is \"Fake\"", drive);
    EXPECT_EQ(r.verdict.message, "t.ops:3: expect title is \"Fake\": before the first cycle, title was \"Fake drive\"");
}

TEST(ScriptRun, RepeatRunsItsBodyNTimes) {
    FakeDrive drive;
    run("repeat 3\n  repeat 2\n    wait 1\n  end\n  tap run\nend\nwait 1", drive);
    ASSERT_EQ(drive.keys.size(), 7u);
    EXPECT_EQ(drive.keys[2], keysDown({PanelKey::run}));
    EXPECT_EQ(drive.keys[6], keysDown({PanelKey::run}));
}

TEST(ScriptRun, LibraryFailureEndsTheRunWithoutAnotherCall) {
    FakeDrive drive;
    drive.failing = "exchange";
    const Outcome r = run("wait 5\nexpect title is \"x\"", drive);
    EXPECT_EQ(r.verdict.outcome, Verdict::Outcome::libraryFailed);
    EXPECT_EQ(r.verdict.message, "the drive library fake.so failed in exchange");
    EXPECT_EQ(drive.calls, (std::vector<std::string>{"initialise", "exchange"}));
    EXPECT_EQ(exitStatus(r.verdict.outcome), 3);
    EXPECT_TRUE(r.transcript.ends_with("end after cycle 0 at 0.000 s: the drive library failed\n")) << r.transcript;

    FakeDrive badStart;
    badStart.failing = "initialise";
    EXPECT_EQ(run("wait 1", badStart).verdict.outcome, Verdict::Outcome::libraryFailed);
    EXPECT_EQ(badStart.calls.size(), 1u);
}

TEST(ScriptRun, InterruptedRunStopsBeforeTheNextCycleAndUnloads) {
    FakeDrive drive;
    volatile std::sig_atomic_t interrupted = 1;
    const Outcome r = run("wait 100", drive, &interrupted);
    EXPECT_EQ(r.verdict.outcome, Verdict::Outcome::interrupted);
    EXPECT_EQ(drive.calls, (std::vector<std::string>{"initialise", "terminate"}));
}

TEST(Transcript, OneLineForEachCycleInWhichSomethingChanged) {
    FakeDrive drive;
    drive.title = Text(u"Tab\there") + Text(kTitleSize - 8, u'\0');
    drive.answer = [](std::size_t n, UploadResult &r, const UploadLedWords &w) {
        r.line1 = line(n < 3 ? u"A" : u"B");
        r.line2 = line(u"\u00B0\"\\");
        if (n >= 4) *w[6] = kOn, *w[7] = kOn;
    };
    const Outcome r = run("wait 1\ntap run jog\nwait 4\nexpect line 1 is \"B\"", drive);
    EXPECT_EQ(r.transcript,
              "title \"Tab\\x09here\"\n"
              "cycle 1 at 0.040 s: line 1 \"A" + nuls(15) + "\" + \"" + nuls(4) + "\", line 2 \"\xC2\xB0\\\"\\\\" + nuls(13) +
              "\" + \"" + nuls(4) + "\"\n"
              "cycle 2 at 0.080 s: keys jog+run\n"
              "cycle 3 at 0.120 s: keys none, line 1 \"B" + nuls(15) + "\" + \"" + nuls(4) + "\"\n"
              "cycle 4 at 0.160 s: run flashing\n"
              "end after cycle 5 at 0.200 s: passed, 1 expectation held\n");
}

// The replay's command line in a recording's head is copied into a shell:
// a name with a blank or a quote must come out as one word. (Windows'
// console quotes with double quotes.)
#if !defined(_WIN32)
TEST(ScriptRecorder, ReplayLineQuotesNamesAShellWouldSplit) {
    const struct {
        std::string library, script, replay;
    } cases[] = {
        {"/opt/drive/libdrive.so", "s.ops", "op-station-run --library /opt/drive/libdrive.so s.ops"},
        {"/home/a b/libdrive.so", "my run.ops", "op-station-run --library '/home/a b/libdrive.so' 'my run.ops'"},
        {"/tmp/it's/libdrive.so", "$x.ops", "op-station-run --library '/tmp/it'\\''s/libdrive.so' '$x.ops'"},
    };
    for (const auto &c : cases) {
        std::string head;
        ScriptRecorder recorder([&](std::string_view lines, uint64_t) { head += lines; });
        recorder.library(c.library, "ab", c.script);
        EXPECT_NE(head.find("# Replay: " + c.replay + "\n"), std::string::npos) << head;
    }
}
#endif

}  // namespace
}  // namespace opstation
