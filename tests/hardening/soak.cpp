// The soak run: many exchange cycles against one drive library, headless,
// with a random key stream between cycles. It samples the live heap and the
// resident set at the start, every 10,000 cycles and at the end, times every
// cycle and prints the figures. It fails only on what no scheduler hiccup
// explains: live heap that keeps growing after warm-up, or a cycle that by
// itself used more than 40 ms of processor time (a whole period), or more
// than ten cycles over 4 ms. Wall-clock times are reported, never judged;
// a lone cycle over 4 ms of processor time is reported too, since the
// kernel now and then charges its own work to whichever thread it
// interrupted, but a cycle that is really slow is slow every time.
//
//   opstation-soak LIBRARY [CYCLES [SEED]]
#include <fcntl.h>
#include <malloc.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <random>
#include <string>
#include <vector>

#include "opstation/drive_library.h"
#include "opstation/panel/exchange_cycle.h"
#include "opstation/panel/key_model.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define OPSTATION_SOAK_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define OPSTATION_SOAK_ASAN 1
#endif
#if defined(OPSTATION_SOAK_ASAN)
// From the sanitizer runtime (not every compiler ships its header): bytes
// allocated and not yet freed, quarantine excluded.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace opstation {
namespace {

constexpr long kSampleEvery = 10'000;
constexpr std::size_t kHeapGrowthLimit = 64 * 1024;  // bytes, after warm-up
constexpr int64_t kSlowCpuNs = 4'000'000;    // a tenth of the 40 ms period
constexpr long kSlowCyclesAllowed = 10;
constexpr int64_t kCpuLimitNs = 40'000'000;  // the whole period

// Bytes the program holds on the heap right now.
std::size_t liveHeap() {
#if defined(OPSTATION_SOAK_ASAN)
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

// Read without the heap, so that sampling does not disturb what it samples.
std::size_t residentBytes() {
    char text[128] = {};
    const int fd = open("/proc/self/statm", O_RDONLY);
    if (fd < 0) return 0;
    const ssize_t n = read(fd, text, sizeof text - 1);
    close(fd);
    if (n <= 0) return 0;
    unsigned long pages = 0, resident = 0;
    if (std::sscanf(text, "%lu %lu", &pages, &resident) != 2) return 0;
    return resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

int64_t threadCpuNs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return int64_t{ts.tv_sec} * 1'000'000'000 + ts.tv_nsec;
}

class CountingLeds final : public LedColours {
public:
    uint64_t lit = 0;
    void setLedColour(Led, Colour colour) override { lit += colour == kLitColour; }
};

// Between two cycles: nothing most of the time, now and then a few mouse or
// keyboard events, codes outside the key map included.
void randomKeyEvents(std::mt19937 &random, StationState &state) {
    static constexpr int kCodes[] = {0x45, 0x4D, 0x26, 0x28, 0x50, 0x4C, 0x4A, 0x27, 0x25,
                                     0x52, 0x53, 0x71, 0x72, 0x73, 0x70, 0x1B, 0x10, 0x41};
    const unsigned events = random() % 8 < 5 ? 0 : random() % 4;
    for (unsigned i = 0; i < events; ++i) {
        const unsigned what = random() % 4;
        const auto key = static_cast<PanelKey>(random() % kPanelKeyCount);
        const int code = kCodes[random() % std::size(kCodes)];
        switch (what) {
            case 0: press(state, key); break;
            case 1: release(state, key); break;
            case 2: keyDown(state, code); break;
            default: keyUp(state, code); break;
        }
    }
}

struct MemorySample {
    long cycle;
    std::size_t heap;
    std::size_t resident;
};

int soak(const std::string &library, long cycles, unsigned seed) {
    std::mt19937 random(seed);
    StationState state;
    MemoryDisplayLines display;
    CountingLeds leds;
    DriveLibrary drive(library);
    std::vector<int64_t> wallNs(static_cast<std::size_t>(cycles));
    std::vector<MemorySample> samples;
    samples.reserve(static_cast<std::size_t>(cycles / kSampleEvery + 3));
    int64_t worstCpu = 0;
    long worstCpuCycle = -1;
    long slowCycles = 0;

    drive.initialise(kStation);
    samples.push_back({0, liveHeap(), residentBytes()});
    const auto started = std::chrono::steady_clock::now();
    for (long c = 0; c < cycles; ++c) {
        randomKeyEvents(random, state);
        const int64_t cpu0 = threadCpuNs();
        const auto wall0 = std::chrono::steady_clock::now();
        runExchangeCycle(state, drive, display, leds);
        const auto wall1 = std::chrono::steady_clock::now();
        const int64_t cpu = threadCpuNs() - cpu0;
        wallNs[static_cast<std::size_t>(c)] = std::chrono::duration_cast<std::chrono::nanoseconds>(wall1 - wall0).count();
        if (cpu > worstCpu) worstCpu = cpu, worstCpuCycle = c;
        slowCycles += cpu > kSlowCpuNs;
        if ((c + 1) % kSampleEvery == 0 || c + 1 == cycles) samples.push_back({c + 1, liveHeap(), residentBytes()});
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    drive.terminate(kStation);

    std::printf("soak: %ld cycles of %s, seed %u, %.2f s (%.0f cycles/s)\n", cycles, library.c_str(), seed, seconds,
                static_cast<double>(cycles) / seconds);
    std::printf("%10s %14s %14s\n", "cycle", "live heap B", "resident KiB");
    for (const MemorySample &s : samples) std::printf("%10ld %14zu %14zu\n", s.cycle, s.heap, s.resident / 1024);

    std::vector<int64_t> sorted = wallNs;
    std::sort(sorted.begin(), sorted.end());
    const auto at = [&](double q) { return sorted[static_cast<std::size_t>(q * static_cast<double>(sorted.size() - 1))]; };
    std::printf("cycle wall time ns: p50 %" PRId64 "  p90 %" PRId64 "  p99 %" PRId64 "  p99.9 %" PRId64 "  max %" PRId64
                "\n",
                at(0.5), at(0.9), at(0.99), at(0.999), sorted.back());
    std::printf("worst cycle processor time: %" PRId64 " ns (cycle %ld); cycles over %" PRId64 " ns: %ld\n", worstCpu,
                worstCpuCycle, kSlowCpuNs, slowCycles);
    std::printf("lit LED refreshes: %" PRIu64 "\n", leds.lit);

    int failures = 0;
    if (worstCpu > kCpuLimitNs) {
        std::printf("FAIL: cycle %ld used %" PRId64 " ns of processor time (limit %" PRId64 ")\n", worstCpuCycle, worstCpu,
                    kCpuLimitNs);
        ++failures;
    }
    if (slowCycles > kSlowCyclesAllowed) {
        std::printf("FAIL: %ld cycles used over %" PRId64 " ns of processor time (at most %ld may)\n", slowCycles,
                    kSlowCpuNs, kSlowCyclesAllowed);
        ++failures;
    }
    // Memory is judged from the first sample after warm-up, so that a
    // library's one-time allocations in its first cycles do not count.
    const MemorySample &base = samples.size() > 2 ? samples[1] : samples.front();
    const MemorySample &last = samples.back();
    if (last.heap > base.heap + kHeapGrowthLimit) {
        std::printf("FAIL: live heap grew from %zu to %zu bytes between cycle %ld and %ld\n", base.heap, last.heap,
                    base.cycle, last.cycle);
        ++failures;
    }
    return failures == 0 ? 0 : 1;
}

}  // namespace
}  // namespace opstation

int main(int argc, char **argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s LIBRARY [CYCLES [SEED]]\n", argv[0]);
        return 2;
    }
    const long cycles = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 100'000;
    const auto seed = static_cast<unsigned>(argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 1);
    if (cycles <= 0) {
        std::fprintf(stderr, "cycles must be positive\n");
        return 2;
    }
    try {
        return opstation::soak(argv[1], cycles, seed);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "soak: %s\n", error.what());
        return 1;
    }
}
