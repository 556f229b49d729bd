// op-station-run's speed: cycles per second through the runner (session,
// key model, exchange cycle, LED refresh, conditions, transcript) on our
// simulated drive, and how closely --real-time keeps the 40 ms pace.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <streambuf>
#include <vector>

#include "opstation/drive_library.h"
#include "opstation/platform/drive_opening.h"
#include "opstation/runner/script_runner.h"

namespace opstation {
namespace {

// 50,000 cycles of a drive at work: starting, running, stopping, and the
// menu opened and closed, so the lines and LEDs change as they do in use.
constexpr std::string_view kWorkout = R"(
repeat 100
  tap run
  wait 200
  expect led run is on
  tap stop
  wait 200
  tap menu
  wait 50
  tap esc
  wait 50
end
)";
constexpr double kWorkoutCycles = 100 * 500;

class Discard final : public std::streambuf {
protected:
    int_type overflow(int_type c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char *, std::streamsize n) override { return n; }
};

void runWorkout(benchmark::State &bench, DriveLink &drive, bool transcript) {
    const ParsedScript parsed = parseScript(kWorkout, "workout.ops");
    Discard discard;
    std::ostream sink(&discard);
    RunSettings settings;
    if (transcript) settings.transcript = &sink;
    for (auto _ : bench) {
        const Verdict verdict = runScript(parsed.script, drive, settings);
        if (verdict.outcome != Verdict::Outcome::passed) bench.SkipWithError(verdict.message.c_str());
    }
    bench.counters["cycles/s"] =
        benchmark::Counter(kWorkoutCycles * static_cast<double>(bench.iterations()), benchmark::Counter::kIsRate);
}

void RunnerInProcess(benchmark::State &bench) {
    DriveLibrary drive(OPSTATION_SIMULATED_DRIVE);
    runWorkout(bench, drive, bench.range(0) != 0);
}
BENCHMARK(RunnerInProcess)->ArgName("transcript")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The same workout with the library in the drive host, as op-station-run
// runs it by default.
void RunnerThroughHelperProcess(benchmark::State &bench) {
    const auto drive = platform::openHostedDrive({.libraryFile = OPSTATION_SIMULATED_DRIVE, .hostFolder = OPSTATION_HOST_FOLDER});
    runWorkout(bench, *drive, bench.range(0) != 0);
}
BENCHMARK(RunnerThroughHelperProcess)->ArgName("transcript")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// --real-time over four seconds (100 cycles): the mean period and how late
// any cycle came against its own 40 ms slot, counted from the first cycle.
void RunnerRealTimePacing(benchmark::State &bench) {
    DriveLibrary drive(OPSTATION_SIMULATED_DRIVE);
    const ParsedScript parsed = parseScript("tap run\nwait 100\n", "paced.ops");
    using Clock = std::chrono::steady_clock;
    std::vector<Clock::time_point> at;
    RunSettings settings;
    settings.realTime = true;
    settings.afterCycle = [&](uint64_t) { at.push_back(Clock::now()); };
    for (auto _ : bench) {
        at.clear();
        runScript(parsed.script, drive, settings);
    }
    const auto ms = [](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };
    double latest = 0;
    for (std::size_t i = 0; i < at.size(); ++i)
        latest = std::max(latest, ms(at[i] - at.front()) - 40.0 * static_cast<double>(i));
    bench.counters["cycles"] = static_cast<double>(at.size());
    bench.counters["mean_period_ms"] = ms(at.back() - at.front()) / static_cast<double>(at.size() - 1);
    bench.counters["latest_ms"] = latest;
}
BENCHMARK(RunnerRealTimePacing)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace opstation
