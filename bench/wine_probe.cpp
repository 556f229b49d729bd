// op-station-wine-probe: what a Windows drive library costs through wine,
// side by side with the native drive host, on our simulated drive (the
// native libdrive.so, and the same source cross-built as the x86_64
// drive.dll of the Windows build).
//
//   op-station-wine-probe [CYCLES] [STARTS]
//
// Round trip of one exchange cycle as the programs make it (HostedDrive's
// exchange; CYCLES of them back to back after a warm-up, default 3000):
// the native drive host, and drive.dll in the Windows drive host under
// wine64 (and the 32-bit drive.dll under wine, where it runs). Starts (opstat_initialise, which starts the host and loads the
// library), STARTS times each (default 5): native, through wine with no
// wine server of the prefix running, and with one running.
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "opstation/platform/drive_opening.h"
#include "opstation/platform/wine.h"
#include "percentiles.h"

namespace {

namespace fs = std::filesystem;
using namespace opstation;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

double micros(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }
double millis(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

using DriveMaker = std::function<std::unique_ptr<HostedDrive>()>;

DriveMaker hosted(const char *library) {
    return [library] {
        return platform::openHostedDrive({.libraryFile = library, .program = "op-station-wine-probe", .hostFolder = OPSTATION_HOST_FOLDER});
    };
}

void roundTrips(const char *name, const DriveMaker &make, int cycles) {
    const auto drive = make();
    drive->initialise(kStation);
    std::array<int16_t, 14> words{};
    UploadLedWords leds{};
    for (std::size_t i = 0; i < words.size(); ++i) leds[i] = &words[i];
    std::vector<double> times;
    for (int i = -200; i < cycles; ++i) {
        const DownloadKeys keys{static_cast<int16_t>(i % 7 == 0 ? -1 : 0)};
        const auto start = Clock::now();
        drive->exchange(keys, leds);
        if (i >= 0) times.push_back(micros(Clock::now() - start));
    }
    drive->terminate(kStation);
    const bench::Percentiles round(times);
    std::printf("%-34s p50 %8.1f us   p99 %8.1f us   max %8.1f us\n", name, round.at(0.5), round.at(0.99), round.max());
}

// Every process of the prefix: wine's loader, the host, wineserver and
// wine's services carry its WINEPREFIX.
bool prefixBusy(const std::string &prefix) {
    const std::string entry = "WINEPREFIX=" + prefix;
    for (const auto &process : fs::directory_iterator("/proc")) {
        std::ifstream environ(process.path() / "environ", std::ios::binary);
        for (std::string variable; std::getline(environ, variable, '\0');)
            if (variable == entry) return true;
    }
    return false;
}

void waitUntilIdle(const std::string &prefix) {
    for (const auto deadline = Clock::now() + 30s; prefixBusy(prefix) && Clock::now() < deadline;)
        std::this_thread::sleep_for(20ms);
}

double startTime(const DriveMaker &make) {
    const auto start = Clock::now();
    const auto drive = make();
    drive->initialise(kStation);
    const double ms = millis(Clock::now() - start);
    drive->terminate(kStation);
    return ms;
}

void starts(int count) {
    const DriveMaker native = hosted(OPSTATION_SIMULATED_DRIVE), wine = hosted(OPSTATION_DRIVE_DLL);
    std::vector<double> nativeStarts, cold, warm;
    for (int i = 0; i < count; ++i) nativeStarts.push_back(startTime(native));
    const std::string prefix = platform::winePrefix();
    for (int i = 0; i < count; ++i) {
        waitUntilIdle(prefix);
        cold.push_back(startTime(wine));
        const auto other = wine();  // keeps the prefix's wine server running
        other->initialise(kStation);
        warm.push_back(startTime(wine));
        other->terminate(kStation);
    }
    std::printf("\nstart (opstat_initialise), median of %d:\n", count);
    std::printf("  native drive host                  %8.1f ms\n", bench::Percentiles(nativeStarts).at(0.5));
    const bench::Percentiles coldStarts(cold), warmStarts(warm);
    std::printf("  wine, no wine server running       %8.1f ms (min %.1f, max %.1f)\n", coldStarts.at(0.5),
                coldStarts.min(), coldStarts.max());
    std::printf("  wine, wine server running          %8.1f ms (min %.1f, max %.1f)\n", warmStarts.at(0.5),
                warmStarts.min(), warmStarts.max());
}

}  // namespace

int main(int argc, char **argv) {
    const int cycles = argc > 1 ? std::atoi(argv[1]) : 3000;
    const int startCount = argc > 2 ? std::atoi(argv[2]) : 5;
    if (cycles <= 0 || startCount <= 0) {
        std::fputs("Usage: op-station-wine-probe [CYCLES] [STARTS]\n", stderr);
        return 2;
    }
    try {
        std::printf("round trip of one exchange cycle, %d cycles back to back:\n", cycles);
        roundTrips("native drive host", hosted(OPSTATION_SIMULATED_DRIVE), cycles);
        roundTrips("drive.dll, Windows host under wine", hosted(OPSTATION_DRIVE_DLL), cycles);
        if (std::filesystem::exists(OPSTATION_DRIVE_DLL32))
            roundTrips("32-bit drive.dll under wine", hosted(OPSTATION_DRIVE_DLL32), cycles);
        starts(startCount);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "op-station-wine-probe: %s\n", error.what());
        return 1;
    }
}
