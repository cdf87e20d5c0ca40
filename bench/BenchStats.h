// Timing and reporting helpers shared by the host and the Windows benchmarks.
#pragma once
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

inline double Median(std::vector<double> values)
{
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

// The code under test against its baseline, interleaved run by run so that a busy moment of the
// machine hits both sides alike. Each function returns the seconds of its timed part.
struct Pair {
    double subject = 0, baseline = 0;
    double Ratio() const { return baseline > 0 ? subject / baseline : 0; }
};

inline Pair MedianPair(int runs, const std::function<double()>& subject, const std::function<double()>& baseline)
{
    std::vector<double> s, b;
    for (int i = 0; i < runs; ++i) {
        // Alternate which side goes first: the second one may find warmer caches.
        if (i % 2) {
            b.push_back(baseline());
            s.push_back(subject());
        } else {
            s.push_back(subject());
            b.push_back(baseline());
        }
    }
    return {Median(s), Median(b)};
}

// One line per benchmark; scripts/bench.sh and the README quote it as printed.
inline bool Report(const char* name, const Pair& p, double target, int runs)
{
    const bool met = p.Ratio() <= target;
    std::printf("%-10s %9.2f ms  baseline %9.2f ms  ratio %.3f  target <= %.2f  %s  (median of %d)\n", name,
                p.subject * 1e3, p.baseline * 1e3, p.Ratio(), target, met ? "met" : "MISSED", runs);
    std::fflush(stdout);
    return met;
}

}  // namespace bench
