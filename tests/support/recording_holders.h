// Display and LED holders for tests that record what the exchange cycle
// wrote, so a test can tell a rewrite from no write.
#pragma once

#include <array>
#include <vector>

#include "opstation/panel/exchange_cycle.h"

namespace opstation::test {

class RecordingDisplay final : public DisplayLines {
public:
    std::vector<int> writes;
    std::u16string_view line(int index) const override { return memory_.line(index); }
    void setLine(int index, std::u16string_view text) override {
        writes.push_back(index);
        memory_.setLine(index, text);
    }

private:
    MemoryDisplayLines memory_;
};

class RecordingLeds final : public LedColours {
public:
    std::array<Colour, kLedCount> colours{};
    std::vector<Led> order;
    void setLedColour(Led led, Colour colour) override {
        colours[static_cast<std::size_t>(led)] = colour;
        order.push_back(led);
    }
    Colour operator[](Led led) const { return colours[static_cast<std::size_t>(led)]; }
};

}  // namespace opstation::test
