#include "parameters.h"

#include <algorithm>

#include "text.h"

namespace drivesim {

namespace {

// Ramp times are for 0 to 100 % of maximum speed. A DECEL TIME under 1.0 s
// is allowed on purpose: it lets the operator provoke an overvoltage trip.
constexpr std::array<ParamInfo, kParamCount> kTable{{
    {"ACCEL TIME", "s", 1, 600, 1, 50, 1, {nullptr, nullptr}},
    {"DECEL TIME", "s", 1, 600, 1, 50, 1, {nullptr, nullptr}},
    {"MAX SPEED", "rpm", 300, 3600, 10, 1500, 0, {nullptr, nullptr}},
    {"JOG SPEED", "%", 0, 500, 1, 100, 1, {nullptr, nullptr}},
    {"STOP IN REMOTE", "", 0, 1, 1, 1, 0, {"DISABLED", "ENABLED"}},
    {"REMOTE RUN", "", 0, 1, 1, 0, 0, {"OFF", "ON"}},
    {"REMOTE SETPOINT", "%", 0, 1000, 1, 500, 1, {nullptr, nullptr}},
    {"LOCAL SETPOINT", "%", 0, 1000, 1, 500, 1, {nullptr, nullptr}},
}};

double scale(int decimals) { return decimals == 0 ? 1.0 : 10.0; }

}  // namespace

const ParamInfo &info(Param p) { return kTable[static_cast<std::size_t>(p)]; }

double Parameters::value(Param p) const { return raw(p) / scale(info(p).decimals); }

void Parameters::set(Param p, int32_t raw) {
    const ParamInfo &i = info(p);
    values_[index(p)] = std::clamp(raw, i.min, i.max);
}

void Parameters::restoreDefaults() {
    for (std::size_t k = 0; k < kParamCount; ++k) values_[k] = kTable[k].def;
}

std::string Parameters::text(Param p) const {
    const ParamInfo &i = info(p);
    if (i.choices[0] != nullptr) return i.choices[raw(p) != 0 ? 1 : 0];
    return fixed(value(p), i.decimals) + " " + i.unit;
}

}  // namespace drivesim
