// The cost of one exchange cycle: ten samples, two calls into the drive,
// the display comparison and the LED refresh.
#include <benchmark/benchmark.h>

#include "opstation/drive_library.h"
#include "opstation/panel/exchange_cycle.h"
#include "opstation/panel/key_model.h"

namespace opstation {
namespace {

// The same answers as the no-op library, without crossing a library boundary.
class InProcessDrive final : public DriveLink {
public:
    Text initialise(int32_t) override { return Text(kTitleSize, u'\0'); }
    void terminate(int32_t) override {}
    void download(const DownloadKeys &keys) override { benchmark::DoNotOptimize(keys); }
    UploadResult upload(const UploadLedWords &words) override {
        benchmark::DoNotOptimize(words);
        UploadResult result;
        const std::u16string_view l1 = u"STOPPED   LOCAL ", l2 = u"SP  50.0%    0rpm";
        std::copy(l1.begin(), l1.end(), result.line1.begin());
        std::copy(l2.begin(), l2.begin() + 16, result.line2.begin());
        return result;
    }
};

class DiscardingLeds final : public LedColours {
public:
    void setLedColour(Led led, Colour colour) override {
        benchmark::DoNotOptimize(led);
        benchmark::DoNotOptimize(colour);
    }
};

void runCycles(benchmark::State &bench, DriveLink &drive) {
    StationState state;
    MemoryDisplayLines display;
    DiscardingLeds leds;
    int n = 0;
    for (auto _ : bench) {
        if (++n % 16 == 0) press(state, PanelKey::run), release(state, PanelKey::run);
        runExchangeCycle(state, drive, display, leds);
    }
}

void CycleInProcess(benchmark::State &bench) {
    InProcessDrive drive;
    runCycles(bench, drive);
}
BENCHMARK(CycleInProcess);

void CycleThroughLoadedLibrary(benchmark::State &bench) {
    DriveLibrary drive(OPSTATION_NOOP_DRIVE);
    drive.initialise(kStation);
    runCycles(bench, drive);
}
BENCHMARK(CycleThroughLoadedLibrary);

void LedRefreshOnly(benchmark::State &bench) {
    StationState state;
    state.led(Led::run) = {kTrue, kTrue};
    DiscardingLeds leds;
    for (auto _ : bench) update_LEDS(state, leds);
}
BENCHMARK(LedRefreshOnly);

}  // namespace
}  // namespace opstation

BENCHMARK_MAIN();
