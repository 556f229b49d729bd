#include "opstation/runner/transcript.h"

#include "opstation/runner/text_form.h"
#include "opstation/panel/vocabulary.h"

namespace opstation {

namespace {

void appendKeys(std::string &out, const DownloadKeys &keys) {
    out += "keys ";
    bool any = false;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (keys[i] == 0) continue;
        if (any) out += '+';
        out += kPanelKeyNames[i].name;
        any = true;
    }
    if (!any) out += "none";
}

}  // namespace

std::string stationTime(uint64_t cycle) {
    const uint64_t ms = cycle * kCycleMilliseconds;
    std::string fraction = std::to_string(ms % 1000);
    fraction.insert(0, 3 - fraction.size(), '0');
    return std::to_string(ms / 1000) + "." + fraction + " s";
}

void Transcript::title(const Text &caption) {
    buffer_ = "title ";
    appendQuoted(buffer_, caption);
    out_ << buffer_ << '\n';
}

// One line for the cycle, naming only what changed since the line before.
void Transcript::cycle(uint64_t number, const DownloadKeys &keys, const DisplayLines &display, const StationState &state) {
    buffer_.clear();
    const auto item = [&] { buffer_ += buffer_.empty() ? "" : ", "; };
    if (keys != seen_.keys) {
        item();
        appendKeys(buffer_, keys);
        seen_.keys = keys;
    }
    for (int i = 0; i < 2; ++i) {
        if (display.line(i) == seen_.lines[i]) continue;
        item();
        buffer_ += i == 0 ? "line 1 " : "line 2 ";
        buffer_ += quotedLine(display.line(i));
        seen_.lines[i] = display.line(i);
    }
    for (const auto &[name, led] : kLedNames) {
        const LedShowing showing = ledShowing(state.led(led));
        LedShowing &seen = seen_.leds[static_cast<std::size_t>(led)];
        if (showing == seen) continue;
        item();
        buffer_ += name;
        buffer_ += ' ';
        buffer_ += nameOf(kLedShowingNames, showing);
        seen = showing;
    }
    if (buffer_.empty()) return;
    out_ << "cycle " << number << " at " << stationTime(number) << ": " << buffer_ << '\n';
}

void Transcript::end(uint64_t lastCycle, std::string_view outcome) {
    out_ << "end after cycle " << lastCycle << " at " << stationTime(lastCycle) << ": " << outcome << '\n';
}

}  // namespace opstation
