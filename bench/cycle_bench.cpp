// The cost of one exchange cycle: ten samples, two calls into the drive,
// the display comparison and the LED refresh; in process, and through the
// drive host, whose round trips are also given as percentiles.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "opstation/drive_library.h"
#include "opstation/platform/drive_opening.h"
#include "opstation/panel/exchange_cycle.h"
#include "opstation/panel/key_model.h"
#include "percentiles.h"

namespace opstation {
namespace {

using bench::Percentiles;

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

// Our simulated drive, in process and through the drive host, side by
// side; each cycle is timed on its own for the percentiles.
void timedCycles(benchmark::State &bench, DriveLink &drive, std::chrono::milliseconds gap = {}) {
    drive.initialise(kStation);
    StationState state;
    MemoryDisplayLines display;
    DiscardingLeds leds;
    std::vector<double> micros;
    micros.reserve(1 << 20);
    int n = 0;
    for (auto _ : bench) {
        if (++n % 16 == 0) press(state, PanelKey::run), release(state, PanelKey::run);
        if (gap.count() > 0) std::this_thread::sleep_for(gap);
        const auto start = std::chrono::steady_clock::now();
        runExchangeCycle(state, drive, display, leds);
        micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    drive.terminate(kStation);
    const Percentiles round(std::move(micros));
    bench.counters["p50_us"] = round.at(0.50);
    bench.counters["p99_us"] = round.at(0.99);
    bench.counters["p999_us"] = round.at(0.999);
    bench.counters["max_us"] = round.max();
}

void SimulatedDriveInProcess(benchmark::State &bench) {
    DriveLibrary drive(OPSTATION_SIMULATED_DRIVE);
    timedCycles(bench, drive);
}
BENCHMARK(SimulatedDriveInProcess)->MinTime(2.0);

// Cycles back to back, or (`gap`) at the panel's pace, one every 40 ms:
// both sides then sleep between cycles and wake up for each.
void throughHost(benchmark::State &bench, std::chrono::milliseconds gap) {
    const auto drive = platform::openHostedDrive({.libraryFile = OPSTATION_SIMULATED_DRIVE, .hostFolder = OPSTATION_HOST_FOLDER});
    timedCycles(bench, *drive, gap);
}

void SimulatedDriveThroughHost(benchmark::State &bench) { throughHost(bench, {}); }
BENCHMARK(SimulatedDriveThroughHost)->MinTime(2.0);

void SimulatedDriveThroughHostEvery40ms(benchmark::State &bench) { throughHost(bench, std::chrono::milliseconds(40)); }
BENCHMARK(SimulatedDriveThroughHostEvery40ms)->Iterations(250)->UseRealTime();

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
