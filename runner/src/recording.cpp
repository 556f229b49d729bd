#include "opstation/runner/recording.h"

#include <chrono>
#include <ctime>

#include "opstation/runner/text_form.h"
#include "opstation/runner/transcript.h"
#include "opstation/panel/vocabulary.h"

namespace opstation {

namespace {

// "press up run" and the like, for the keys `which` picks.
template <typename Which>
std::string statement(std::string_view verb, Which &&which) {
    std::string line(verb);
    for (std::size_t i = 0; i < kPanelKeyCount; ++i)
        if (which(i)) line += " " + std::string(kPanelKeyNames[i].name);
    return line.size() > verb.size() ? line + "\n" : std::string();
}

// A file name as a shell takes it in the replay's command line, which a
// user copies: as it stands when nothing in it is special, quoted when it
// holds a blank or the like (a Windows user folder often does).
std::string shellWord(const std::string &name) {
    constexpr std::string_view kPlain = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_./:+-=,@%";
#if defined(_WIN32)
    if (!name.empty() && name.find_first_not_of(std::string(kPlain) + "\\") == std::string::npos) return name;
    return "\"" + name + "\"";  // the console's quoting; a Windows name holds no quote
#else
    if (!name.empty() && name.find_first_not_of(kPlain) == std::string::npos) return name;
    std::string quoted = "'";
    for (const char c : name) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
#endif
}

}  // namespace

std::string ScriptRecorder::firstLine(std::string_view program) {
    const std::time_t now = std::time(nullptr);
    char when[64];
    std::strftime(when, sizeof when, "%Y-%m-%d at %H:%M:%S UTC", std::gmtime(&now));
    return "# Recorded by " + std::string(program) + " " OPSTATION_VERSION " on " + when + ".\n";
}

void ScriptRecorder::library(const std::string &file, const std::string &sha256, const std::string &scriptName) {
    write_("# Drive library: " + file + "\n# Its SHA-256: " + (sha256.empty() ? "(the file could not be read)" : sha256) +
               "\n# Replay: op-station-run --library " + shellWord(file) + " " + shellWord(scriptName) + "\n",
           0);
}

// A cycle is written once the next one is known: a key down in one cycle
// only is a tap, a key down for longer a press and a release.
void ScriptRecorder::cycle(uint64_t number, const DownloadKeys &keys) {
    if (pending_) writeCycle(pending_->first, pending_->second, keys);
    pending_.emplace(number, keys);
    lastCycle_ = number;
}

void ScriptRecorder::writeCycle(uint64_t number, const DownloadKeys &keys, const DownloadKeys &next) {
    const std::string lines =
        statement("release", [&](std::size_t i) { return held_[i] != 0 && keys[i] == 0; }) +
        statement("press", [&](std::size_t i) { return held_[i] == 0 && keys[i] != 0 && next[i] != 0; }) +
        statement("tap", [&](std::size_t i) { return held_[i] == 0 && keys[i] != 0 && next[i] == 0; });
    // Held after this: down now, and pressed before or down next time too.
    for (std::size_t i = 0; i < kPanelKeyCount; ++i)
        held_[i] = keys[i] != 0 && (held_[i] != 0 || next[i] != 0) ? kTrue : kFalse;
    if (!lines.empty()) {
        waitOut();
        write_(lines, number);
    }
    ++waiting_;
}

void ScriptRecorder::waitOut() {
    if (waiting_ > 0) write_("wait " + std::to_string(waiting_) + "\n", lastCycle_);
    waiting_ = 0;
}

void ScriptRecorder::ended(const Text &caption, const DisplayLines &display, const StationState &state) {
    if (pending_) writeCycle(pending_->first, pending_->second, DownloadKeys{});
    pending_.reset();
    waitOut();
    std::string lines = "# Where the session ended, after cycle " + std::to_string(lastCycle_) + " (" + stationTime(lastCycle_) +
                        " of station time):\nexpect title is " + quoted(caption) + "\n";
    for (int i = 0; i < 2; ++i) lines += "expect line " + std::to_string(i + 1) + " is exactly " + quoted(display.line(i)) + "\n";
    for (const auto &[name, led] : kLedNames)
        lines += "expect led " + std::string(name) + " is " + std::string(nameOf(kLedShowingNames, ledShowing(state.led(led)))) + "\n";
    lines += statement("release", [&](std::size_t i) { return held_[i] != 0; });
    write_(lines, lastCycle_);
}

// The failing cycle runs in the replay too, with the keys it had.
void ScriptRecorder::failed(uint64_t number, const DownloadKeys &keys, std::string_view message, bool atTheEnd) {
    const std::string where = atTheEnd ? "opstat_terminate" : number > 0 ? "exchange cycle " + std::to_string(number) : "opstat_initialise";
    if (!atTheEnd) {
        if (pending_) writeCycle(pending_->first, pending_->second, keys);
        pending_.reset();
        if (number > 0) writeCycle(lastCycle_ = number, keys, keys);
        waitOut();
    }
    write_("# The drive library failed in " + where + ": " + printableSource(message, message.size()) + "\n", number);
}

}  // namespace opstation
