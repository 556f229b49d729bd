#include "station_loop.h"

#include <algorithm>
#include <exception>
#include <thread>

#include "opstation/hosted_drive.h"
#include "opstation/panel/key_model.h"

namespace opstation::serve {

using std::chrono::steady_clock;

void PeriodHistogram::add(std::chrono::nanoseconds period) {
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(period);
    const auto bin = static_cast<std::size_t>(std::max<int64_t>(0, micros / kBin));
    ++bins_[std::min(bin, kBins)];
    ++count_;
    longest_ = std::max(longest_, micros);
}

std::chrono::microseconds PeriodHistogram::percentile(double share) const {
    const auto wanted = static_cast<uint64_t>(share * static_cast<double>(count_) + 0.5);
    uint64_t seen = 0;
    for (std::size_t bin = 0; bin < kBins; ++bin) {
        seen += bins_[bin];
        if (seen >= std::max<uint64_t>(wanted, 1)) return std::min(longest_, kBin * static_cast<int64_t>(bin + 1));
    }
    return longest_;
}

// The seven LEDs as the last refresh left them.
class StationLoop::LedHolder final : public LedColours {
public:
    void setLedColour(Led led, Colour colour) override { lit[static_cast<std::size_t>(led)] = colour == kLitColour; }
    void ledShows(Led led, LedShowing showing) override { shows[static_cast<std::size_t>(led)] = showing; }

    std::array<bool, kLedCount> lit{};
    std::array<LedShowing, kLedCount> shows{};
};

StationLoop::StationLoop(DriveLink &drive, Publish publish)
    : publish_(std::move(publish)), leds_(std::make_unique<LedHolder>()), session_(drive, display_, *leds_) {}

StationLoop::~StationLoop() = default;

void StationLoop::keyStep(PanelKey key, bool down) {
    const std::lock_guard lock(inboxMutex_);
    inbox_.push_back({key, down});
}

void StationLoop::applyKeySteps() {
    {
        const std::lock_guard lock(inboxMutex_);
        applying_.swap(inbox_);
    }
    for (const KeyStep &step : applying_) {
        if (step.down)
            press(session_.state(), step.key);
        else
            release(session_.state(), step.key);
    }
    applying_.clear();  // keeps its capacity: no allocation in a steady cycle
}

StationView StationLoop::view() const {
    return {title_, {Text(display_.line(0)), Text(display_.line(1))}, leds_->lit, leds_->shows};
}

// A library failure ends the run with the library's own message.
template <typename Call>
std::optional<StationLoop::Ending> StationLoop::guarded(Call &&call) {
    try {
        call();
        return std::nullopt;
    } catch (const DriveInterrupted &given) {  // a call given up on the close request
        return Ending{Ending::How::closeRequested, given.what()};
    } catch (const std::exception &error) {
        return Ending{Ending::How::failed, error.what()};
    }
}

StationLoop::Ending StationLoop::run(const volatile std::sig_atomic_t &closeRequested,
                                     const std::function<void()> &loaded) {
    if (auto ending = guarded([&] { title_ = session_.load(); })) return *ending;
    if (loaded) loaded();
    const auto start = steady_clock::now();
    auto previous = start;
    for (uint64_t slot = 1;; ++slot) {
        auto due = start + slot * kPeriod;
        if (steady_clock::now() > due + kPeriod) {
            // Far behind (a slow call): the next slot to come, not a burst.
            const auto next = static_cast<uint64_t>((steady_clock::now() - start) / kPeriod) + 1;
            slotsMissed_ += next - slot;
            slot = next;
            due = start + slot * kPeriod;
        }
        std::this_thread::sleep_until(due);
        if (closeRequested != 0) return {};
        const auto began = steady_clock::now();
        periods_.add(began - previous);
        previous = began;
        applyKeySteps();
        if (auto ending = guarded([&] { session_.runCycle(); })) return *ending;
        ++cycles_;
        StationView now = view();
        if (published_ != now) {
            publish_(std::make_shared<const std::string>(stateMessage(now, cycles_)));
            published_ = std::move(now);
        }
    }
}

std::string StationLoop::unload() {
    try {
        session_.unload();
        return {};
    } catch (const std::exception &error) {
        return error.what();
    }
}

}  // namespace opstation::serve
