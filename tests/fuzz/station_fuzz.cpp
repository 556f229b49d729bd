// Fuzz harness for the station: an arbitrary stream of key events (press,
// release, keyDown and keyUp with any key code, direct samples) interleaved
// with exchange cycles, through the real loader, against a drive library
// whose upload writes arbitrary LED words, arbitrary line bytes and
// arbitrary results. After every step the station is checked against a
// model of its own, written from the designed behaviour:
//
//   - every download value is -1 or 0, and the one the key model predicts;
//     a key pressed since the previous cycle (and not sampled since) is -1;
//   - the library sees NUL-filled line buffers with a NUL after each, and
//     the LED words it left last cycle;
//   - LED words it writes land, the others keep their values;
//   - the display holds exactly the lines last written under the refresh
//     rule, decoded byte by byte, and is written only when a line changed;
//   - all seven colours are set, in refresh order, by the LED formula with
//     the shared flash clock.
//
// Any mismatch aborts with a message; the sanitizers report the rest.
#include <dlfcn.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_drive.h"
#include "opstation/drive_library.h"
#include "opstation/panel/exchange_cycle.h"
#include "opstation/panel/key_model.h"
#include "../support/recording_holders.h"

namespace opstation {
namespace {

[[noreturn]] void fail(const char *what, long step) {
    std::fprintf(stderr, "station fuzz: %s (step %ld)\n", what, step);
    std::abort();
}
#define FUZZ_CHECK(condition, what) \
    do {                            \
        if (!(condition)) fail(what, step_); \
    } while (0)

// Bytes 0x80..0x9F of the drive library's code page; every other byte is
// the character of the same value.
constexpr char16_t kHigh[32] = {
    u'\u20AC', u'\u0081', u'\u201A', u'\u0192', u'\u201E', u'\u2026', u'\u2020', u'\u2021',
    u'\u02C6', u'\u2030', u'\u0160', u'\u2039', u'\u0152', u'\u008D', u'\u017D', u'\u008F',
    u'\u0090', u'\u2018', u'\u2019', u'\u201C', u'\u201D', u'\u2022', u'\u2013', u'\u2014',
    u'\u02DC', u'\u2122', u'\u0161', u'\u203A', u'\u0153', u'\u009D', u'\u017E', u'\u0178',
};
char16_t decoded(unsigned char byte) { return byte >= 0x80 && byte <= 0x9F ? kHigh[byte - 0x80] : char16_t{byte}; }

std::u16string decodedBuffer(const unsigned char *bytes, std::size_t written, std::size_t size) {
    std::u16string text(size, u'\0');
    for (std::size_t i = 0; i < written; ++i) text[i] = decoded(bytes[i]);
    return text;
}

// The keyboard map as designed: key code -> panel keys (PanelKey order).
struct MapRow {
    int code;
    std::vector<int> keys;
};
enum : int { kUp, kDown, kEsc, kMenu, kDir, kJog, kLocal, kRun, kStop, kDisp };
const std::vector<MapRow> kMap = {
    {69, {kEsc}},   {77, {kMenu}},  {38, {kUp}},   {40, {kDown}},           {80, {kDisp}},
    {76, {kLocal}}, {74, {kJog}},   {39, {kDir}},  {37, {kDir}},            {82, {kRun}},
    {83, {kStop}},  {113, {kUp, kDown}}, {114, {kUp, kEsc, kDisp}}, {115, {kUp, kDown, kEsc, kMenu}},
};

// Library order of the LED words, and the order of the LED refresh.
constexpr std::array<Led, 7> kLibraryOrder = {Led::health, Led::forward, Led::reverse, Led::run,
                                              Led::stop,   Led::localSeq, Led::localRef};
constexpr std::array<Led, 7> kRefreshOrder = {Led::run,    Led::stop,     Led::forward, Led::reverse,
                                              Led::health, Led::localRef, Led::localSeq};

using test::RecordingDisplay;

class RecordingLeds final : public LedColours {
public:
    std::vector<std::pair<Led, Colour>> sets;
    void setLedColour(Led led, Colour colour) override { sets.emplace_back(led, colour); }
};

// The input, read as a stream; past its end it reads zeros.
class Input {
public:
    Input(const uint8_t *data, std::size_t size) : data_(data), size_(size) {}
    bool done() const { return at_ >= size_; }
    uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    uint16_t u16() { return static_cast<uint16_t>(byte() | byte() << 8); }
    int32_t i32() { return static_cast<int32_t>(static_cast<uint32_t>(u16()) | static_cast<uint32_t>(u16()) << 16); }

private:
    const uint8_t *data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

// One loaded library for the whole run, as in the panel.
struct Library {
    DriveLibrary drive{OPSTATION_FUZZ_DRIVE};
    FuzzDriveScript *script = nullptr;
    Library() {
        // The same handle the loader holds: dlopen of the same path.
        void *handle = dlopenSame();
        script = reinterpret_cast<FuzzDriveScriptAccess>(dlsymOf(handle, "fuzz_drive_script"))();
    }
    static void *dlopenSame() {
        void *handle = dlopen(OPSTATION_FUZZ_DRIVE, RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) fail(dlerror(), 0);
        return handle;
    }
    static void *dlsymOf(void *handle, const char *name) {
        void *address = dlsym(handle, name);
        if (address == nullptr) fail(name, 0);
        return address;
    }
};

class Run {
public:
    explicit Run(Library &library) : lib_(library), s_(*library.script) {}

    void step(Input &in) {
        ++step_;
        const uint8_t op = in.byte();
        switch (op % 9) {
            case 0: pressKey(in.byte() % kPanelKeyCount); break;
            case 1: releaseKey(in.byte() % kPanelKeyCount); break;
            case 2: keyEvent(in, op, true); break;
            case 3: keyEvent(in, op, false); break;
            case 4: directSample(in.byte() % kPanelKeyCount); break;
            case 5:
                newScript(in, op);
                cycle();
                break;
            case 6: cycle(); break;
            case 7: {
                const int n = in.byte();
                for (int i = 0; i < n && cycles_ < kMaxCycles; ++i) cycle();
                break;
            }
            default: initialise(in); break;
        }
    }

private:
    static constexpr long kMaxCycles = 2000;  // per input, to keep inputs fast

    void pressKey(std::size_t key) {
        press(state_, static_cast<PanelKey>(key));
        held_[key] = latched_[key] = pressedSinceCycle_[key] = true;
    }
    void releaseKey(std::size_t key) {
        release(state_, static_cast<PanelKey>(key));
        held_[key] = false;
    }
    void keyEvent(Input &in, uint8_t op, bool down) {
        const int code = (op & 0x80) != 0 ? in.i32() : in.byte();
        if (down) keyDown(state_, code); else keyUp(state_, code);
        for (const MapRow &row : kMap) {
            if (row.code != code) continue;
            for (int key : row.keys) {
                const auto k = static_cast<std::size_t>(key);
                if (down) held_[k] = latched_[k] = pressedSinceCycle_[k] = true;
                else held_[k] = false;
            }
        }
    }
    int16_t modelSample(std::size_t key) {
        const int16_t value = held_[key] || latched_[key] ? kTrue : kFalse;
        latched_[key] = false;
        return value;
    }
    void directSample(std::size_t key) {
        const int16_t expected = modelSample(key);
        FUZZ_CHECK(sample(state_, static_cast<PanelKey>(key)) == expected, "a direct sample disagrees with the key model");
        pressedSinceCycle_[key] = false;
    }

    void newScript(Input &in, uint8_t op) {
        s_.writeMask = static_cast<uint16_t>(in.u16() & 0x3FFF);
        for (std::size_t i = 0; i < 14; ++i)
            if ((s_.writeMask & (1u << i)) != 0) s_.words[i] = static_cast<int16_t>(in.u16());
        s_.line1Length = static_cast<uint8_t>(in.byte() % (kLineSize + 1));
        for (std::size_t i = 0; i < s_.line1Length; ++i) s_.line1[i] = in.byte();
        s_.line2Length = static_cast<uint8_t>(in.byte() % (kLineSize + 1));
        for (std::size_t i = 0; i < s_.line2Length; ++i) s_.line2[i] = in.byte();
        // Mostly a result of 0, or with only high bits set, so that the
        // display does refresh; otherwise any 32-bit value.
        switch (op >> 6) {
            case 0: s_.result = 0; break;
            case 1: s_.result = static_cast<int32_t>(static_cast<uint32_t>(in.u16()) << 16); break;
            default: s_.result = in.i32(); break;
        }
    }

    void initialise(Input &in) {
        s_.titleLength = static_cast<uint8_t>(in.byte() % (kTitleSize + 1));
        for (std::size_t i = 0; i < s_.titleLength; ++i) s_.title[i] = in.byte();
        const int32_t calls = s_.initialiseCalls;
        const Text title = lib_.drive.initialise(kStation);
        FUZZ_CHECK(s_.initialiseCalls == calls + 1, "initialise did not reach the library once");
        FUZZ_CHECK(s_.station == kStation, "initialise passed the wrong station");
        for (unsigned char b : s_.titleOnEntry) FUZZ_CHECK(b == 0, "the title buffer was not NUL-filled and NUL-ended");
        FUZZ_CHECK(title == decodedBuffer(s_.title, s_.titleLength, kTitleSize), "the title did not come back whole");
    }

    void cycle() {
        ++cycles_;
        ++step_;
        DownloadKeys expected{};
        for (std::size_t k = 0; k < kPanelKeyCount; ++k) {
            expected[k] = modelSample(k);
            FUZZ_CHECK(!pressedSinceCycle_[k] || expected[k] == kTrue, "model: a press since the last cycle not down");
        }
        std::array<int16_t, 14> wordsBefore{};
        for (std::size_t i = 0; i < 14; ++i) wordsBefore[i] = word(i);
        const int32_t downloads = s_.downloadCalls, uploads = s_.uploadCalls;

        display_.writes.clear();
        leds_.sets.clear();
        runExchangeCycle(state_, lib_.drive, display_, leds_);

        // Keys.
        FUZZ_CHECK(s_.downloadCalls == downloads + 1 && s_.uploadCalls == uploads + 1, "not one download and one upload");
        for (std::size_t k = 0; k < kPanelKeyCount; ++k) {
            FUZZ_CHECK(s_.downloaded[k] == kTrue || s_.downloaded[k] == kFalse, "a download value is neither -1 nor 0");
            FUZZ_CHECK(!pressedSinceCycle_[k] || s_.downloaded[k] == kTrue, "a key pressed since the last cycle is not -1");
            FUZZ_CHECK(s_.downloaded[k] == expected[k], "a download value disagrees with the key model");
        }
        pressedSinceCycle_.fill(false);

        // What the library was lent, and what it left.
        for (std::size_t i = 0; i < 14; ++i) FUZZ_CHECK(s_.wordsOnEntry[i] == wordsBefore[i], "upload was lent other LED words");
        for (unsigned char b : s_.line1OnEntry) FUZZ_CHECK(b == 0, "line 1 was not NUL-filled and NUL-ended");
        for (unsigned char b : s_.line2OnEntry) FUZZ_CHECK(b == 0, "line 2 was not NUL-filled and NUL-ended");
        for (std::size_t i = 0; i < 14; ++i) {
            const int16_t want = (s_.writeMask & (1u << i)) != 0 ? s_.words[i] : wordsBefore[i];
            FUZZ_CHECK(word(i) == want, "an LED word is not what the library left");
        }

        // Display.
        const std::u16string line1 = decodedBuffer(s_.line1, s_.line1Length, kLineSize);
        const std::u16string line2 = decodedBuffer(s_.line2, s_.line2Length, kLineSize);
        std::vector<int> writes;
        if ((static_cast<uint32_t>(s_.result) & 0xFFFFu) == 0) {
            if (lines_[0] != line1) {
                lines_[0] = line1, lines_[1] = line2, writes = {0, 1};
            } else if (lines_[1] != line2) {
                lines_[1] = line2, writes = {1};
            }
        }
        FUZZ_CHECK(display_.writes == writes, "the display was written against the refresh rule");
        FUZZ_CHECK(display_.line(0) == lines_[0] && display_.line(1) == lines_[1], "a caption is not the last line written");

        // LEDs and the flash clock.
        if (++refreshes_ % 9 == 0) phase_ = static_cast<int16_t>(~phase_);
        FUZZ_CHECK(state_.flashPhase == phase_ && state_.flashCounter == refreshes_ % 9, "the flash clock is off");
        FUZZ_CHECK(leds_.sets.size() == kRefreshOrder.size(), "not seven colours set");
        for (std::size_t i = 0; i < kRefreshOrder.size(); ++i) {
            const LedState led = state_.led(kRefreshOrder[i]);
            const bool lit = (static_cast<uint16_t>(led.on) & (static_cast<uint16_t>(~led.flash) | static_cast<uint16_t>(phase_))) != 0;
            FUZZ_CHECK(leds_.sets[i].first == kRefreshOrder[i], "colours set out of refresh order");
            FUZZ_CHECK(leds_.sets[i].second == (lit ? kLitColour : kDarkColour), "an LED colour breaks the formula");
        }
    }

    int16_t word(std::size_t i) const {
        const LedState &led = state_.led(kLibraryOrder[i / 2]);
        return i % 2 == 0 ? led.on : led.flash;
    }

    Library &lib_;
    FuzzDriveScript &s_;
    StationState state_;
    RecordingDisplay display_;
    RecordingLeds leds_;
    std::array<bool, kPanelKeyCount> held_{}, latched_{}, pressedSinceCycle_{};
    std::u16string lines_[2] = {std::u16string(DisplayLines::kDesignCaption), std::u16string(DisplayLines::kDesignCaption)};
    int refreshes_ = 0;
    int16_t phase_ = kFalse;
    long cycles_ = 0;
    long step_ = 0;
};

}  // namespace
}  // namespace opstation

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    static opstation::Library library;
    // Every input starts with a fresh station and a script that writes
    // nothing, as a freshly opened panel would.
    FuzzDriveScript &s = *library.script;
    s.writeMask = 0, s.line1Length = 0, s.line2Length = 0, s.result = 0, s.titleLength = 0;
    opstation::Run run(library);
    opstation::Input in(data, size);
    while (!in.done()) run.step(in);
    return 0;
}
