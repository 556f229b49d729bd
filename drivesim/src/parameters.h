// The drive's settings: one table row per parameter (name, unit, range,
// step, default), values kept as whole counts of their smallest step so that
// repeated UP/DOWN never drifts and a range check is exact.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace drivesim {

enum class Param : std::size_t {
    AccelTime,
    DecelTime,
    MaxSpeed,
    JogSpeed,
    StopInRemote,
    RemoteRun,
    RemoteSetpoint,
    LocalSetpoint,  // set from the home view, not listed in a menu
};
inline constexpr std::size_t kParamCount = 8;

struct ParamInfo {
    const char *name;
    const char *unit;            // empty for a choice
    int32_t min, max, step, def; // in counts
    int decimals;                // a count is 10^-decimals of a unit
    const char *choices[2];      // names of 0 and 1 for an off/on choice
};

const ParamInfo &info(Param p);

class Parameters {
public:
    Parameters() { restoreDefaults(); }

    int32_t raw(Param p) const { return values_[index(p)]; }
    // Value in its unit: seconds, rpm, percent, or 0/1 for a choice.
    double value(Param p) const;
    bool isOn(Param p) const { return raw(p) != 0; }

    // Values never leave their range: anything outside is clamped.
    void set(Param p, int32_t raw);
    void stepBy(Param p, int steps) { set(p, raw(p) + steps * info(p).step); }
    void restoreDefaults();

    // "5.0 s", "1500 rpm", "ENABLED".
    std::string text(Param p) const;

private:
    static std::size_t index(Param p) { return static_cast<std::size_t>(p); }
    std::array<int32_t, kParamCount> values_{};
};

}  // namespace drivesim
