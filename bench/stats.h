// Order statistics of a sample, for the benchmark reports.
#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

// The value at fraction q (0..1) of the sorted sample, nearest rank; 0 for an empty one.
inline double Quantile(std::vector<double> values, double q)
{
    if (values.empty()) {
        return 0.0;
    }
    std::sort(values.begin(), values.end());
    const double rank = std::ceil(q * static_cast<double>(values.size()));
    const size_t index = rank < 1.0 ? 0 : static_cast<size_t>(rank) - 1;
    return values[std::min(index, values.size() - 1)];
}
