#pragma once

// Two sides measured round by round (ours and a reference doing the same work, one after the
// other in alternating order), so that load drifting on the machine moves both sides of a round
// alike. The figure is the median of the per-round ratios ours/reference, with their minimum and
// maximum; each side's median is kept beside it.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>
#include <vector>

namespace bench {

inline double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

struct RoundRatios {
    std::vector<double> ours, reference, ratios;

    // One round's two figures; a round where the reference measured 0 has no ratio.
    void add(double oursValue, double referenceValue) {
        ours.push_back(oursValue);
        reference.push_back(referenceValue);
        if (referenceValue != 0) ratios.push_back(oursValue / referenceValue);
    }
    bool empty() const { return ratios.empty(); }
    double ratioMedian() const { return median(ratios); }
    double ratioMin() const { return ratios.empty() ? 0 : *std::min_element(ratios.begin(), ratios.end()); }
    double ratioMax() const { return ratios.empty() ? 0 : *std::max_element(ratios.begin(), ratios.end()); }

    // Counters: each side's median under the names given, then `ratio_median`, `ratio_min`,
    // `ratio_max` and `rounds`.
    void report(benchmark::State& state, const std::string& oursName, const std::string& referenceName) const {
        if (empty()) return;
        state.counters[oursName] = median(ours);
        state.counters[referenceName] = median(reference);
        state.counters["ratio_median"] = ratioMedian();
        state.counters["ratio_min"] = ratioMin();
        state.counters["ratio_max"] = ratioMax();
        state.counters["rounds"] = double(ratios.size());
    }
};

}  // namespace bench
