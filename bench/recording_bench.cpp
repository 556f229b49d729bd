// What recording a session costs the 40 ms cycle: the same session on our
// simulated drive, in process, without and with a recording and a
// transcript written in the background, side by side; and how big a
// recorded hour is with a key tapped every second.
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <vector>

#include "opstation/drive_library.h"
#include "opstation/panel/key_model.h"
#include "opstation/panel/station_session.h"
#include "opstation/runner/recording.h"
#include "opstation/runner/session_recording.h"
#include "percentiles.h"

namespace opstation {
namespace {

class NoLeds final : public LedColours {
public:
    void setLedColour(Led, Colour) override {}
};

// Each cycle timed on its own; a key every 25 cycles (one a second), RUN and
// STOP in turn, so the drive's display keeps changing.
void sessionCycles(benchmark::State &bench, bool recorded) {
    const std::filesystem::path work = std::filesystem::temp_directory_path();
    std::optional<SessionRecording> recording;
    if (recorded)
        recording.emplace("op-station-bench", SessionRecording::Files{(work / "bench-recording.ops").string(),
                                                                       (work / "bench-transcript.txt").string()});
    DriveLibrary drive(OPSTATION_SIMULATED_DRIVE);
    MemoryDisplayLines display;
    NoLeds leds;
    StationSession session(drive, display, leds);
    session.setWatch(recording ? &*recording : nullptr);
    session.load();
    std::vector<double> micros;
    micros.reserve(1 << 20);
    uint64_t n = 0;
    for (auto _ : bench) {
        if (++n % 25 == 0) {
            const PanelKey key = n % 50 == 0 ? PanelKey::stop : PanelKey::run;
            press(session.state(), key), release(session.state(), key);
        }
        const auto start = std::chrono::steady_clock::now();
        session.runCycle();
        micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    session.unload();
    const bench::Percentiles cycle(std::move(micros));
    bench.counters["p50_us"] = cycle.at(0.50);
    bench.counters["p99_us"] = cycle.at(0.99);
    bench.counters["max_us"] = cycle.max();
}

void CycleNotRecorded(benchmark::State &bench) { sessionCycles(bench, false); }
void CycleRecorded(benchmark::State &bench) { sessionCycles(bench, true); }
BENCHMARK(CycleNotRecorded)->Iterations(20000);
BENCHMARK(CycleRecorded)->Iterations(20000);

// An hour is 90,000 cycles; a tap every 25 of them.
void RecordedHourSize(benchmark::State &bench) {
    std::size_t bytes = 0;
    for (auto _ : bench) {
        bytes = 0;
        ScriptRecorder recorder([&](std::string_view lines, uint64_t) { bytes += lines.size(); });
        for (uint64_t cycle = 1; cycle <= 90'000; ++cycle) {
            DownloadKeys keys{};
            if (cycle % 25 == 0) keys[static_cast<std::size_t>(cycle % 50 == 0 ? PanelKey::stop : PanelKey::run)] = kTrue;
            recorder.cycle(cycle, keys);
        }
        MemoryDisplayLines display;
        recorder.ended(u"title", display, StationState{});
    }
    bench.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(RecordedHourSize)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace opstation
