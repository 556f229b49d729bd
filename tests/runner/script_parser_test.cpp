// The script language: what each statement reads into, and where and why
// a wrong line is refused.
#include <gtest/gtest.h>

#include "opstation/panel/key_model.h"
#include "opstation/runner/script.h"

namespace opstation {
namespace {

using Kind = Statement::Kind;
using CondTest = Condition::Test;

Statement only(std::string_view text) {
    const ParsedScript parsed = parseScript(text, "s.ops");
    EXPECT_TRUE(parsed.errors.empty()) << describe("s.ops", parsed.errors.front());
    EXPECT_EQ(parsed.script.statements.size(), 1u);
    return parsed.script.statements.empty() ? Statement{} : parsed.script.statements.front();
}

// Every error as the runner words it, without the script's name.
std::vector<std::string> errors(std::string_view text) {
    std::vector<std::string> out;
    for (const std::string &line : describe("s.ops", parseScript(text, "s.ops").errors))
        out.push_back(line.substr(line.starts_with("s.ops") ? 6 : 0));
    return out;
}

TEST(ScriptStatements, KeysInAnyLetterCase) {
    const Statement s = only("  TAP Run stop  # both at once");
    EXPECT_EQ(s.kind, Kind::tap);
    EXPECT_EQ(s.keys, (std::vector{PanelKey::run, PanelKey::stop}));
    EXPECT_EQ(s.source, "TAP Run stop");
    EXPECT_EQ(s.line, 1);
    EXPECT_EQ(only("press disp").kind, Kind::press);
    EXPECT_EQ(only("release up down").keys, (std::vector{PanelKey::up, PanelKey::down}));
}

TEST(ScriptStatements, PcKeysByNameLetterOrCode) {
    EXPECT_EQ(only("key F3 down").keyCode, vk::f3);
    EXPECT_EQ(only("key left up").kind, Kind::keyUp);
    EXPECT_EQ(only("key r down").keyCode, vk::r);
    EXPECT_EQ(only("key 112 down").keyCode, 112);
}

TEST(ScriptStatements, WaitsAndRepeats) {
    EXPECT_EQ(only("wait 25").count, 25u);
    const Statement until = only("wait until led run is flashing within 9");
    EXPECT_EQ(until.kind, Kind::waitUntil);
    EXPECT_EQ(until.count, 9u);
    EXPECT_EQ(until.condition.led, Led::run);
    EXPECT_EQ(until.condition.showing, LedShowing::flashing);

    const ParsedScript parsed = parseScript("repeat 3\n  repeat 2\n    tap up\n  end\n  wait 1\nend\nwait 2\n", "s");
    ASSERT_TRUE(parsed.errors.empty());
    ASSERT_EQ(parsed.script.statements.size(), 2u);
    const Statement &outer = parsed.script.statements[0];
    EXPECT_EQ(outer.count, 3u);
    ASSERT_EQ(outer.body.size(), 2u);
    EXPECT_EQ(outer.body[0].body.size(), 1u);
    EXPECT_EQ(outer.body[1].line, 5);
}

TEST(ScriptStatements, Conditions) {
    const Condition line = only(R"(expect line 2 contains "A\"B\\C\0")").condition;
    EXPECT_EQ(line.test, CondTest::lineContains);
    EXPECT_EQ(line.line, 1);
    EXPECT_EQ(line.text, std::u16string(u"A\"B\\C\0", 6));
    EXPECT_EQ(only(R"(expect line 1 IS "x")").condition.test, CondTest::lineIs);
    const Condition exactly = only(R"(expect line 1 is exactly "STOPPED    LOCAL\0\0\0\x7F")").condition;
    EXPECT_EQ(exactly.test, CondTest::lineIsExactly);
    EXPECT_EQ(exactly.text[19], u'\x7F');
    EXPECT_EQ(only("expect title is \"50 \xC2\xB0""C\"").condition.text, u"50 \u00B0C");  // UTF-8
    EXPECT_EQ(only(R"(expect title contains "")").condition.test, CondTest::titleContains);
    const Condition words = only("expect led seq words -1 0xFFFE").condition;
    EXPECT_EQ(words.test, CondTest::ledWords);
    EXPECT_EQ(words.led, Led::localSeq);
    EXPECT_EQ(words.words.on, -1);
    EXPECT_EQ(words.words.flash, -2);
    EXPECT_EQ(only("expect led ref is off").condition.led, Led::localRef);
}

TEST(ScriptErrors, NameTheLineColumnAndWhatWasExpected) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"jump", "1:1: expected a statement (press, release, tap, key, wait, expect, repeat or end), found \"jump\""},
        {"press", "1:6: expected a panel key (up, down, esc, menu, dir, jog, local, run, stop or disp), found the end of the line"},
        {"tap run fast", "1:9: expected a panel key"},
        {"key F5 down", "1:5: expected a PC key"},
        {"key 256 down", "1:5: expected a PC key"},
        {"key e left", "1:7: expected what the key does (down or up)"},
        {"wait -1", "1:6: expected a number of cycles (0 to 1000000000) or until"},
        {"wait 1000000001", "1:6: expected a number of cycles"},
        {"wait 5 more", "1:8: expected the end of the line, found \"more\""},
        {"wait until line 1 is \"x\"", "1:25: expected within, found the end of the line"},
        {"wait until line 1 is \"x\" within", "1:32: expected a number of cycles"},
        {"expect", "1:7: expected a condition (line, led or title)"},
        {"expect line 3 is \"x\"", "1:13: expected a line number (1 or 2)"},
        {"expect line 1 equals \"x\"", "1:15: expected a test of the line (is, shows or contains)"},
        {"expect line 1 is STOPPED", "1:18: expected a text in double quotes, found \"STOPPED\""},
        {"expect line 1 shows \"RUNNING    LOCAL!\"", "1:21: expected a text of at most 16 characters, which the display shows of a line, found 17"},
        {"expect line 2 contains \"123456789012345678901\"", "1:24: expected a text of at most 20 characters, which a line holds, found 21"},
        {"tap \x1B[2Jrun", "1:5: expected a panel key (up, down, esc, menu, dir, jog, local, run, stop or disp), found \"\\x1B[2Jrun\""},
        {"wait " + std::string(70, '9'), "1:6: expected a number of cycles (0 to 1000000000) or until, found \"" + std::string(60, '9') + "…\""},
        {"expect line 1 is exactly \"short\"", "1:26: expected the whole line: exactly 20 characters (\\0 for a NUL), found 5"},
        {"expect line 1 is \"open", "1:23: expected a closing quote"},
        {"expect line 1 is \"a\\n\"", "1:20: expected an escape"},
        {"wait 1\nexpect line 1 is \"\xC3(\"", "is not a text file: it holds bytes that are not UTF-8 at line 2, column 19"},
        {std::string("wait 1 #\0\n", 10), "is not a text file: it holds a NUL byte at line 1, column 9"},
        {"expect led amber is on", "1:12: expected an LED (health, fwd, rev, run, stop, seq or ref)"},
        {"expect led run is lit", "1:19: expected what the LED shows (off, on or flashing)"},
        {"expect led run words 0 65536", "1:24: expected an LED word"},
        {"expect led run words 0", "1:23: expected an LED word"},
        {"expect title has \"x\"", "1:14: expected a test of the title (is or contains)"},
        {"repeat many\nend", "1:8: expected a number of times"},
        {"end", "1:1: expected a statement: this end closes no repeat"},
        {"wait 1\n\n  repeat 2\nwait 1", "3:3: expected an end for this repeat before the end of the script"},
        {"expect title is \"\xC3\xA9\" x", "1:21: expected the end of the line"},  // columns count characters
    };
    for (const auto &[text, message] : cases) {
        const std::vector<std::string> found = errors(text);
        ASSERT_EQ(found.size(), 1u) << text;
        EXPECT_EQ(found[0].substr(0, message.size()), message) << text;
    }
}

TEST(ScriptErrors, EveryWrongLineIsReportedInOrder) {
    EXPECT_EQ(errors("repeat 2\n  tap x\n  wait 1\nend\nend\nwait y\n"),
              (std::vector<std::string>{
                  "2:7: expected a panel key (up, down, esc, menu, dir, jog, local, run, stop or disp), found \"x\"",
                  "5:1: expected a statement: this end closes no repeat",
                  "6:6: expected a number of cycles (0 to 1000000000) or until, found \"y\""}));
    // A repeat whose count is wrong still opens a block for its end.
    EXPECT_EQ(errors("repeat x\nend").size(), 1u);
    // Twenty are listed, and how many more there are.
    std::string wrong;
    for (int i = 0; i < 25; ++i) wrong += "jump\n";
    const std::vector<std::string> many = errors(wrong);
    ASSERT_EQ(many.size(), 21u);
    EXPECT_EQ(many.back(), "and 5 more");
}

// Linear in the length of a line: 200,000 keys read in well under a second
// where reading them grew with the square.
TEST(ScriptText, LongLinesAreReadInOnePass) {
    std::string line = "press";
    for (int i = 0; i < 200'000; ++i) line += " up";
    const ParsedScript parsed = parseScript(line, "s.ops");
    ASSERT_TRUE(parsed.errors.empty());
    EXPECT_EQ(parsed.script.statements[0].keys.size(), 200'000u);
    EXPECT_EQ(parsed.script.statements[0].source, line.substr(0, 60) + "…");  // as messages quote it
}

TEST(ScriptText, CommentsBlankLinesCarriageReturnsAndAByteOrderMark) {
    const ParsedScript parsed = parseScript("\xEF\xBB\xBF# a script\r\n\r\nwait 1 # one\r\nexpect title contains \"#\"\r\n", "s");
    ASSERT_TRUE(parsed.errors.empty());
    ASSERT_EQ(parsed.script.statements.size(), 2u);
    EXPECT_EQ(parsed.script.statements[0].line, 3);
    EXPECT_EQ(parsed.script.statements[1].condition.text, u"#");
}

}  // namespace
}  // namespace opstation
