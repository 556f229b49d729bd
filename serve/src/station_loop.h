// The station of op-station-serve: one StationSession on the drive link,
// one exchange cycle every 40 ms on a thread of its own, whether or not a
// page is watching. The cycle keeps its schedule (cycle n at start +
// n x 40 ms) and never waits for a page: the pages' keys reach it through
// an inbox that it empties before each cycle, and what the pages show
// leaves it as one state message whenever the view changed.
#pragma once

#include <array>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "opstation/drive_link.h"
#include "opstation/panel/station_session.h"
#include "opstation/serve/page_protocol.h"

namespace opstation::serve {

// Cycle periods, start to start, in a fixed histogram: percentiles over a
// run of any length in constant memory.
class PeriodHistogram {
public:
    void add(std::chrono::nanoseconds period);
    uint64_t count() const { return count_; }
    // The period that `share` (0..1) of the periods do not exceed, to the
    // bin's width (50 us); the longest for periods beyond the last bin.
    std::chrono::microseconds percentile(double share) const;
    std::chrono::microseconds longest() const { return longest_; }

private:
    static constexpr std::chrono::microseconds kBin{50};
    static constexpr std::size_t kBins = 4000;  // up to 200 ms
    std::array<uint32_t, kBins + 1> bins_{};
    uint64_t count_ = 0;
    std::chrono::microseconds longest_{0};
};

class StationLoop {
public:
    static constexpr std::chrono::milliseconds kPeriod{40};

    // How the run ended.
    struct Ending {
        enum class How { closeRequested, failed } how = How::closeRequested;
        // The library's failure, or the call given up on the close request,
        // naming the library file, the entry point and the cause.
        std::string message;
    };

    // `publish` gets a state message (page_protocol.h) on the station's
    // thread whenever what the pages show changed.
    using Publish = std::function<void(std::shared_ptr<const std::string>)>;

    StationLoop(DriveLink &drive, Publish publish);
    ~StationLoop();

    // From any thread: a press (`down`) or release of a panel key, for the
    // next cycle. The key model sees them in the order they came.
    void keyStep(PanelKey key, bool down);

    // From now on the watch hears of the session (a recording); before run.
    void setWatch(SessionWatch *watch) { session_.setWatch(watch); }

    // Loads the library, calls `loaded`, and runs cycles until
    // `closeRequested` is set (seen at the next cycle's time) or the
    // library fails.
    Ending run(const volatile std::sig_atomic_t &closeRequested, const std::function<void()> &loaded = {});

    // Calls opstat_terminate once, if the library was started. Returns a
    // message when the call failed or was given up.
    std::string unload();

    const PeriodHistogram &periods() const { return periods_; }
    uint64_t cycles() const { return cycles_; }
    // Cycles that could not start in their slot (a call that took longer
    // than a period) and were left out rather than run in a burst.
    uint64_t slotsMissed() const { return slotsMissed_; }

private:
    class LedHolder;
    struct KeyStep {
        PanelKey key;
        bool down;
    };

    void applyKeySteps();
    StationView view() const;
    template <typename Call>
    std::optional<Ending> guarded(Call &&call);

    Publish publish_;
    MemoryDisplayLines display_;
    std::unique_ptr<LedHolder> leds_;
    StationSession session_;
    Text title_;
    std::mutex inboxMutex_;
    std::vector<KeyStep> inbox_;
    std::vector<KeyStep> applying_;
    std::optional<StationView> published_;
    PeriodHistogram periods_;
    uint64_t cycles_ = 0;
    uint64_t slotsMissed_ = 0;
};

}  // namespace opstation::serve
