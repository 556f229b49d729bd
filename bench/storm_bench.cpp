// The exchange cycle right after a key storm (10,000 press/release pairs of
// one key since the previous cycle) against the cycle after a single tap.
// Only the cycle is timed, by hand: the storm itself is not; a fixed
// iteration count keeps the untimed storms from running for minutes. The two should
// cost the same, since a storm leaves the key model as one tap does.
#include <benchmark/benchmark.h>

#include <chrono>

#include "opstation/drive_library.h"
#include "opstation/panel/exchange_cycle.h"
#include "opstation/panel/key_model.h"

namespace opstation {
namespace {

class QuietLeds final : public LedColours {
public:
    void setLedColour(Led led, Colour colour) override {
        benchmark::DoNotOptimize(led);
        benchmark::DoNotOptimize(colour);
    }
};

void cycleAfterTaps(benchmark::State &bench, int taps) {
    DriveLibrary drive(OPSTATION_NOOP_DRIVE);
    drive.initialise(kStation);
    StationState state;
    MemoryDisplayLines display;
    QuietLeds leds;
    for (auto _ : bench) {
        for (int i = 0; i < taps; ++i) {
            press(state, PanelKey::run);
            release(state, PanelKey::run);
        }
        const auto start = std::chrono::steady_clock::now();
        runExchangeCycle(state, drive, display, leds);
        const auto end = std::chrono::steady_clock::now();
        bench.SetIterationTime(std::chrono::duration<double>(end - start).count());
    }
}

void CycleAfterOneTap(benchmark::State &bench) { cycleAfterTaps(bench, 1); }
void CycleAfterKeyStorm(benchmark::State &bench) { cycleAfterTaps(bench, 10'000); }
BENCHMARK(CycleAfterOneTap)->UseManualTime()->Iterations(20000);
BENCHMARK(CycleAfterKeyStorm)->UseManualTime()->Iterations(20000);

}  // namespace
}  // namespace opstation
