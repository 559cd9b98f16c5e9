#pragma once

// A figure measured once per round: its median and range.

#include <QString>

#include <algorithm>
#include <cmath>
#include <vector>

namespace Bench {

struct Figures {
    std::vector<double> values;
    void add(double v) { values.push_back(v); }
    bool empty() const { return values.empty(); }
    double median() const
    {
        std::vector<double> v = values;
        std::sort(v.begin(), v.end());
        if (v.empty())
            return NAN;
        return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    }
    double min() const { return values.empty() ? NAN : *std::min_element(values.begin(), values.end()); }
    double max() const { return values.empty() ? NAN : *std::max_element(values.begin(), values.end()); }
    QString text() const { return QString::asprintf("%7.3f [%.3f-%.3f]", median(), min(), max()); }
};

} // namespace Bench
