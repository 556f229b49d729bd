// A session recorded as a script of op-station-run: what the drive library
// was passed, cycle by cycle, written as press, release and tap with waits
// between them, so that the runner, replaying the script, passes the
// library the same ten arguments at the same cycle numbers, from cycle 1.
// Any front end records the same way, at the exchange cycle: a PC key, a
// power-on combination, a mouse press, a page's press are all recorded as
// the panel keys they made.
//
// The script's head says, in comments, what was recorded and how to replay
// it; its end expects the title, both display lines and the seven LEDs as
// they were after the last cycle, then releases the keys still held. A
// session whose library failed ends with a comment giving the failure
// instead: its replay fails in the same cycle.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "opstation/drive_link.h"
#include "opstation/panel/exchange_cycle.h"
#include "opstation/panel/station_state.h"

namespace opstation {

class ScriptRecorder {
public:
    // Where the script goes: whole lines, each piece with the cycle it
    // belongs to.
    using Write = std::function<void(std::string_view lines, uint64_t cycle)>;

    explicit ScriptRecorder(Write write) : write_(std::move(write)) {}

    // "# Recorded by op-station 1.0.0 on 2026-12-08 at 10:04:31 UTC.": the
    // first line, written before the library is called.
    static std::string firstLine(std::string_view program);
    // The library file as loaded, its SHA-256 and how to replay the script.
    void library(const std::string &file, const std::string &sha256, const std::string &scriptName);

    // Cycle `number` passed `keys` down.
    void cycle(uint64_t number, const DownloadKeys &keys);
    // The session ended after its last cycle, showing this.
    void ended(const Text &caption, const DisplayLines &display, const StationState &state);
    // The library failed in cycle `number` (0: before the first), passed
    // `keys` in it, or (`atTheEnd`) in opstat_terminate after the end was
    // written; `message` says how.
    void failed(uint64_t number, const DownloadKeys &keys, std::string_view message, bool atTheEnd = false);

private:
    void writeCycle(uint64_t number, const DownloadKeys &keys, const DownloadKeys &next);
    void waitOut();

    Write write_;
    std::optional<std::pair<uint64_t, DownloadKeys>> pending_;  // a cycle kept back to see the next
    DownloadKeys held_{};                                       // pressed in the script and not released
    uint64_t waiting_ = 0;                                      // cycles since the last statement
    uint64_t lastCycle_ = 0;
};

}  // namespace opstation
