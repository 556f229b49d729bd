// A station script: one statement a line, parsed whole before anything
// runs, so that a mistake anywhere is reported before the drive library is
// called at all.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "opstation/drive_link.h"
#include "opstation/panel/exchange_cycle.h"
#include "opstation/panel/station_state.h"

namespace opstation {

struct Condition {
    enum class Test : uint8_t { lineIs, lineIsExactly, lineShows, lineContains, ledShows, ledWords, titleIs, titleContains };
    Test test = Test::lineIs;
    int line = 0;  // 0 for line 1, 1 for line 2
    Led led = Led::health;
    LedShowing showing = LedShowing::off;
    LedState words{};
    Text text;
};

struct Statement {
    enum class Kind : uint8_t { press, release, tap, keyDown, keyUp, wait, expect, waitUntil, repeat };
    Kind kind = Kind::wait;
    int line = 0;        // in the script, from 1
    std::string source;  // as written, without its comment, printable and cut short: for messages
    std::vector<PanelKey> keys;
    int keyCode = 0;     // a Windows virtual-key code
    uint64_t count = 0;  // cycles to wait, cycles within which to wait, times to repeat
    Condition condition;
    std::vector<Statement> body;  // of a repeat
};

struct Script {
    std::string name;  // the file name, for messages
    std::vector<Statement> statements;
};

struct ScriptError {
    int line = 0;    // 0: the file as a whole
    int column = 0;  // in characters, from 1
    std::string message;
};

struct ParsedScript {
    Script script;
    std::vector<ScriptError> errors;  // when not empty, the statements are incomplete
};

// The most cycles that one wait, within or repeat may name.
inline constexpr uint64_t kMaxCount = 1'000'000'000;

// Reads UTF-8 text; names and keywords in any letter case.
ParsedScript parseScript(std::string_view text, std::string name);

// "name:line:column: message", or "name message" for the file as a whole.
std::string describe(const std::string &scriptName, const ScriptError &error);
// The first `most` of them, then "and N more".
std::vector<std::string> describe(const std::string &scriptName, const std::vector<ScriptError> &errors,
                                  std::size_t most = 20);

// No expect and no wait until anywhere: a run of it can pass, and prove
// nothing.
bool checksNothing(const std::vector<Statement> &statements);
inline bool checksNothing(const Script &script) { return checksNothing(script.statements); }

}  // namespace opstation
