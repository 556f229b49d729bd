// What any drive in another process must cost on this machine: the
// processor time of one bare 64-byte round trip over a socket pair every
// 40 ms (the panel's cycle), in the asking process and in the answering
// one, against the same loop without the round trip; and how long such a
// round trip takes (p50, p99). Prints one `name=value` line per figure;
// bench/panel_idle.sh runs it beside the panel's own figures.
//
//   op-station-round-trip-floor [CYCLES]
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "percentiles.h"

namespace {

double processMicros() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

std::vector<double> g_roundTrips;  // microseconds, of the last run with round trips

// Processor time per cycle of the asking side; with `answerer`, the
// answering side's is written into it.
double cycles(int count, bool roundTrip, double *answerer) {
    int pair[2];
    int report[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0 || pipe(report) != 0) std::exit(1);
    const pid_t child = fork();
    if (child == 0) {
        close(pair[0]);
        char bytes[64];
        const double start = processMicros();
        int answered = 0;
        while (read(pair[1], bytes, sizeof bytes) > 0 && write(pair[1], bytes, sizeof bytes) > 0) ++answered;
        const double perCycle = answered > 0 ? (processMicros() - start) / answered : 0.0;
        if (write(report[1], &perCycle, sizeof perCycle) != sizeof perCycle) _exit(1);
        _exit(0);
    }
    close(pair[1]);
    char bytes[64] = {};
    const double start = processMicros();
    for (int i = 0; i < count; ++i) {
        usleep(40000);
        if (!roundTrip) continue;
        const auto sent = std::chrono::steady_clock::now();
        if (write(pair[0], bytes, sizeof bytes) != sizeof bytes) std::exit(1);
        pollfd ready{pair[0], POLLIN, 0};
        poll(&ready, 1, 1000);
        if (read(pair[0], bytes, sizeof bytes) <= 0) std::exit(1);
        g_roundTrips.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - sent).count());
    }
    const double perCycle = (processMicros() - start) / count;
    close(pair[0]);
    double other = 0.0;
    if (read(report[0], &other, sizeof other) != sizeof other) other = 0.0;
    waitpid(child, nullptr, 0);
    if (answerer != nullptr) *answerer = other;
    return perCycle;
}

}  // namespace

int main(int argc, char **argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 250;
    const double alone = cycles(count, false, nullptr);
    double answering = 0.0;
    const double asking = cycles(count, true, &answering);
    std::printf("loop_alone_us_per_cycle=%.1f\n", alone);
    std::printf("asking_us_per_cycle=%.1f\n", asking);
    std::printf("answering_us_per_cycle=%.1f\n", answering);
    std::printf("round_trip_cost_us_per_cycle=%.1f\n", asking - alone + answering);
    const opstation::bench::Percentiles roundTrips(g_roundTrips);
    std::printf("round_trip_p50_us=%.1f\nround_trip_p99_us=%.1f\n", roundTrips.at(0.5), roundTrips.at(0.99));
    return 0;
}
