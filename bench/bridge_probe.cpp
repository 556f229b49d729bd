// op-station-bridge-probe: what the bridge to Windows drive libraries costs,
// side by side with the native drive host, on our simulated drive (the
// native libdrive.so, and the same source cross-built as the x86_64
// drive.dll of the Windows build).
//
//   op-station-bridge-probe [CYCLES] [STARTS]
//
// Round trip of one exchange cycle as the panel makes it (HostedDrive's
// exchange; CYCLES of them after a warm-up, default 3000): natively
// (panel side -> drive host -> libdrive.so), through the bridge (panel side
// -> drive host -> bridge -> wine -> Windows drive host -> drive.dll), and
// the wine leg alone (panel side -> Windows drive host under wine64).
// Starts (opstat_initialise, which starts the hosts and loads the library):
// in a new wine prefix, then STARTS times (default 5) each with and
// without a wineserver of the prefix running.
#include <algorithm>
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

#include <unistd.h>

#include "opstation/host_process.h"
#include "opstation/hosted_drive.h"
#include "percentiles.h"

namespace {

namespace fs = std::filesystem;
using namespace opstation;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const fs::path kWork = fs::path(OPSTATION_PROBE_WORK);
const std::string kSharedPrefix = (kWork / "wine-prefix").string();

double micros(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }
double millis(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// A drive-library folder: the bridge as libdrive.so, our drive as drive.dll.
fs::path bridgeFolder() {
    const fs::path folder = kWork / "folder";
    fs::remove_all(folder);
    fs::create_directories(folder);
    fs::create_symlink(OPSTATION_BRIDGE, folder / "libdrive.so");
    fs::create_symlink(OPSTATION_DRIVE_DLL, folder / "drive.dll");
    return folder;
}

HostedDrive::Options hostOptions() {
    HostedDrive::Options options;
    options.hostProgram = OPSTATION_HOST_PROGRAM;
    return options;
}

using DriveMaker = std::function<std::unique_ptr<HostedDrive>()>;

std::unique_ptr<HostedDrive> native() { return std::make_unique<HostedDrive>(OPSTATION_SIMULATED_DRIVE, hostOptions()); }

std::unique_ptr<HostedDrive> bridged() {
    return std::make_unique<HostedDrive>((kWork / "folder" / "libdrive.so").string(), hostOptions());
}

// The Windows drive host under wine64, without the drive host and bridge
// in between.
std::unique_ptr<HostedDrive> wineAlone() {
    std::string dll = std::string("Z:") + OPSTATION_DRIVE_DLL;
    std::replace(dll.begin(), dll.end(), '/', '\\');
    return std::make_unique<HostedDrive>(
        OPSTATION_DRIVE_DLL,
        std::make_unique<HostProcess>("/usr/lib/wine/wine64", std::vector<std::string>{OPSTATION_WINDOWS_HOST, dll}, -1,
                                      std::vector<std::string>{"WINEPREFIX=" + kSharedPrefix, "WINEDEBUG=-all",
                                                               "WINEDLLOVERRIDES=mscoree,mshtml,winedbg.exe=",
                                                               "LC_ALL=C.UTF-8"}));
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
    std::vector<double> nativeStarts, cold, warm;
    for (int i = 0; i < count; ++i) nativeStarts.push_back(startTime(native));

    const std::string fresh = (kWork / "fresh-prefix").string();
    fs::remove_all(fresh);
    fs::remove(fresh + ".lock");
    ::setenv("OPSTATION_WINEPREFIX", fresh.c_str(), 1);
    const double first = startTime(bridged);
    fs::remove_all(fresh);

    ::setenv("OPSTATION_WINEPREFIX", kSharedPrefix.c_str(), 1);
    startTime(bridged);  // the shared prefix is prepared
    for (int i = 0; i < count; ++i) {
        waitUntilIdle(kSharedPrefix);
        cold.push_back(startTime(bridged));
        // Another program of the prefix keeps its wineserver running.
        const auto other = bridged();
        other->initialise(kStation);
        warm.push_back(startTime(bridged));
        other->terminate(kStation);
    }
    std::printf("\nstart (opstat_initialise), median of %d:\n", count);
    std::printf("  native drive host                  %8.1f ms\n", bench::Percentiles(nativeStarts).at(0.5));
    std::printf("  bridge, new wine prefix            %8.1f ms (one run)\n", first);
    const bench::Percentiles coldStarts(cold), warmStarts(warm);
    std::printf("  bridge, no wineserver running      %8.1f ms (min %.1f, max %.1f)\n", coldStarts.at(0.5),
                coldStarts.min(), coldStarts.max());
    std::printf("  bridge, wineserver running         %8.1f ms (min %.1f, max %.1f)\n", warmStarts.at(0.5),
                warmStarts.min(), warmStarts.max());
}

}  // namespace

int main(int argc, char **argv) {
    const int cycles = argc > 1 ? std::atoi(argv[1]) : 3000;
    const int startCount = argc > 2 ? std::atoi(argv[2]) : 5;
    if (cycles <= 0 || startCount <= 0) {
        std::fputs("Usage: op-station-bridge-probe [CYCLES] [STARTS]\n", stderr);
        return 2;
    }
    try {
        fs::create_directories(kWork);
        bridgeFolder();
        ::setenv("OPSTATION_WINEPREFIX", kSharedPrefix.c_str(), 1);
        std::printf("round trip of one exchange cycle, %d cycles:\n", cycles);
        roundTrips("native drive host", native, cycles);
        roundTrips("bridge (drive host, wine, .exe)", bridged, cycles);
        roundTrips("wine64 and the .exe alone", wineAlone, cycles);
        starts(startCount);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "op-station-bridge-probe: %s\n", error.what());
        return 1;
    }
}
