// Percentiles of timed samples, by nearest rank (rounded down), as every
// benchmark and probe here reports them.
#pragma once

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

namespace opstation::bench {

class Percentiles {
public:
    explicit Percentiles(std::vector<double> samples) : sorted_(std::move(samples)) {
        std::sort(sorted_.begin(), sorted_.end());
    }

    // The sample below which the fraction `p` of them lie; 0 for none.
    double at(double p) const {
        if (sorted_.empty()) return 0.0;
        return sorted_[std::min(sorted_.size() - 1, static_cast<std::size_t>(p * static_cast<double>(sorted_.size())))];
    }
    double max() const { return sorted_.empty() ? 0.0 : sorted_.back(); }
    double min() const { return sorted_.empty() ? 0.0 : sorted_.front(); }

private:
    std::vector<double> sorted_;
};

}  // namespace opstation::bench
