#include "opstation/runner/script_runner.h"

#include <chrono>
#include <optional>
#include <thread>

#include "opstation/panel/key_model.h"
#include "opstation/panel/station_session.h"
#include "opstation/runner/text_form.h"
#include "opstation/runner/transcript.h"
#include "opstation/panel/vocabulary.h"

namespace opstation {

namespace {

using Kind = Statement::Kind;
using Test = Condition::Test;

// The runner reads what LEDs show from their words; colours are the window's.
class NoColours final : public LedColours {
public:
    void setLedColour(Led, Colour) override {}
};

struct ExpectationFailed {
    int line;
    std::string message;
};
struct Interrupted {};

struct Observation {
    bool holds = false;
    std::string seen;  // "line 1 was \"...\""
};

// A line as `line N is` compares it: without its trailing NULs and blanks.
std::u16string_view withoutTrailingBlanks(std::u16string_view line) {
    const std::size_t last = line.find_last_not_of(std::u16string_view(u"\0 ", 2));
    return line.substr(0, last == std::u16string_view::npos ? 0 : last + 1);
}

// A line as the window shows it: its first characters, as many as the
// display holds, control characters (NULs among them) drawn as blanks.
Text shown(std::u16string_view line) {
    Text text(line.substr(0, kShownLineSize));
    for (char16_t &c : text)
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) c = u' ';
    return text;
}

std::string wordsText(LedState words) { return std::to_string(words.on) + " " + std::to_string(words.flash); }

class ScriptRun {
public:
    ScriptRun(const Script &script, DriveLink &drive, const RunSettings &settings)
        : script_(script), settings_(settings), drive_(drive), session_(drive, display_, colours_) {
        if (settings.transcript != nullptr) transcript_.emplace(*settings.transcript);
    }

    Verdict run() {
        Verdict verdict;
        try {
            caption_ = session_.load();
            if (settings_.loaded) settings_.loaded(drive_.loadedFile());
            if (transcript_) transcript_->title(caption_);
            start_ = std::chrono::steady_clock::now();
            try {
                execute(script_.statements);
            } catch (const ExpectationFailed &failure) {
                verdict.outcome = Verdict::Outcome::failed;
                verdict.message = failure.message;
                ending_ = "failed at script line " + std::to_string(failure.line);
            } catch (const Interrupted &) {
                verdict.outcome = Verdict::Outcome::interrupted;
                ending_ = "interrupted";
            }
            session_.unload();
        } catch (const std::exception &error) {
            libraryFailed(verdict, error.what());
        } catch (...) {
            libraryFailed(verdict, "the drive library failed with an unknown error");
        }
        verdict.cycles = cycles_;
        verdict.expectations = held_;
        if (verdict.outcome == Verdict::Outcome::passed)
            ending_ = "passed, " + counted(held_, "expectation") + " held";
        if (transcript_) transcript_->end(cycles_, ending_);
        return verdict;
    }

private:
    void libraryFailed(Verdict &verdict, std::string message) {
        verdict.outcome = Verdict::Outcome::libraryFailed;
        verdict.message = std::move(message);
        ending_ = "the drive library failed";
    }

    void execute(const std::vector<Statement> &statements) {
        for (const Statement &s : statements) execute(s);
    }

    void execute(const Statement &s) {
        StationState &state = session_.state();
        switch (s.kind) {
            case Kind::press:
                for (PanelKey key : s.keys) press(state, key);
                break;
            case Kind::release:
                for (PanelKey key : s.keys) release(state, key);
                break;
            case Kind::tap:  // both before the next cycle: the latch reports it down once
                for (PanelKey key : s.keys) press(state, key);
                for (PanelKey key : s.keys) release(state, key);
                break;
            case Kind::keyDown: session_.keyboard().keyDown(state, s.keyCode); break;
            case Kind::keyUp: session_.keyboard().keyUp(state, s.keyCode); break;
            case Kind::wait:
                for (uint64_t i = 0; i < s.count; ++i) cycle();
                break;
            case Kind::expect: check(s, observe(s.condition), ""); break;
            case Kind::waitUntil: waitUntil(s); break;
            case Kind::repeat:
                for (uint64_t i = 0; i < s.count; ++i) execute(s.body);
                break;
        }
    }

    void waitUntil(const Statement &s) {
        for (uint64_t waited = 0;; ++waited) {
            const Observation seen = observe(s.condition);
            if (seen.holds || waited == s.count) return check(s, seen, "after " + counted(waited, "cycle") + ", ");
            cycle();
        }
    }

    void check(const Statement &s, const Observation &seen, const std::string &waited) {
        if (seen.holds) {
            ++held_;
            return;
        }
        const std::string when = cycles_ == 0 ? "before the first cycle"
                                              : "at cycle " + std::to_string(cycles_) + " (" + stationTime(cycles_) + ")";
        throw ExpectationFailed{s.line, script_.name + ":" + std::to_string(s.line) + ": " + s.source + ": " + waited +
                                            when + ", " + seen.seen};
    }

    void cycle() {
        if (settings_.interrupted != nullptr && *settings_.interrupted != 0) throw Interrupted{};
        if (settings_.realTime)
            std::this_thread::sleep_until(start_ + std::chrono::milliseconds(kCycleMilliseconds) * (cycles_ + 1));
        session_.runCycle();
        ++cycles_;
        if (transcript_) transcript_->cycle(cycles_, session_.lastKeys(), display_, session_.state());
        if (settings_.afterCycle) settings_.afterCycle(cycles_);
    }

    Observation observe(const Condition &c) const {
        switch (c.test) {
            case Test::lineIs: return lineObservation(c, withoutTrailingBlanks(display_.line(c.line)) == c.text);
            case Test::lineIsExactly: return lineObservation(c, display_.line(c.line) == c.text);
            case Test::lineShows:
                return lineObservation(c, withoutTrailingBlanks(shown(display_.line(c.line))) == withoutTrailingBlanks(c.text));
            case Test::lineContains: return lineObservation(c, display_.line(c.line).find(c.text) != Text::npos);
            case Test::ledShows: {
                const LedState words = session_.state().led(c.led);
                const LedShowing showing = ledShowing(words);
                return {showing == c.showing, "led " + std::string(nameOf(kLedNames, c.led)) + " was " +
                                                  std::string(nameOf(kLedShowingNames, showing)) + " (words " +
                                                  wordsText(words) + ")"};
            }
            case Test::ledWords: {
                const LedState words = session_.state().led(c.led);
                return {words.on == c.words.on && words.flash == c.words.flash,
                        "led " + std::string(nameOf(kLedNames, c.led)) + " words were " + wordsText(words)};
            }
            case Test::titleIs: return {caption_ == c.text, "title was " + quoted(caption_)};
            case Test::titleContains: return {caption_.find(c.text) != Text::npos, "title was " + quoted(caption_)};
        }
        return {};
    }

    Observation lineObservation(const Condition &c, bool holds) const {
        return {holds, "line " + std::to_string(c.line + 1) + " was " + quotedLine(display_.line(c.line))};
    }

    const Script &script_;
    const RunSettings &settings_;
    DriveLink &drive_;
    MemoryDisplayLines display_;
    NoColours colours_;
    StationSession session_;
    std::optional<Transcript> transcript_;
    Text caption_;
    uint64_t cycles_ = 0;
    uint64_t held_ = 0;
    std::string ending_;
    std::chrono::steady_clock::time_point start_;
};

}  // namespace

int exitStatus(Verdict::Outcome outcome) {
    switch (outcome) {
        case Verdict::Outcome::passed: return kExitPassed;
        case Verdict::Outcome::failed: return kExitFailed;
        case Verdict::Outcome::libraryFailed: return kExitLibraryFailed;
        case Verdict::Outcome::interrupted: break;
    }
    return kExitFailed;
}

Verdict runScript(const Script &script, DriveLink &drive, const RunSettings &settings) {
    return ScriptRun(script, drive, settings).run();
}

}  // namespace opstation
