#pragma once

#include <QElapsedTimer>
#include <QString>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

// Runs a measurement and its reference alternately, several times, and
// reports the medians and their ratio.
namespace bench {

inline double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

inline double timeOnce(const std::function<void()>& f) {
    QElapsedTimer t;
    t.start();
    f();
    return double(t.nsecsElapsed()) / 1e6;
}

// Prints one line: "<name>: <ms> ms (worst <ms>) vs reference <ms> ms (worst <ms>), ratio <r>
// (target <= <limit>)", the times being medians. Answers whether the ratio is within the limit.
inline bool compare(const char* name, const std::function<void()>& measured,
                    const std::function<void()>& reference, double limit, int rounds = 5) {
    std::vector<double> m, r;
    for (int i = 0; i < rounds; ++i) {
        r.push_back(timeOnce(reference));
        m.push_back(timeOnce(measured));
    }
    if (std::getenv("BENCH_VERBOSE")) {
        for (int i = 0; i < rounds; ++i)
            std::printf("  round %d: %.1f ms vs %.1f ms\n", i, m[size_t(i)], r[size_t(i)]);
    }
    const double mm = median(m), rr = median(r);
    const double ratio = rr > 0 ? mm / rr : 0;
    std::printf("%s: %.2f ms (worst %.2f) vs reference %.2f ms (worst %.2f), ratio %.2f "
                "(target <= %.2f) %s\n",
                name, mm, *std::max_element(m.begin(), m.end()), rr,
                *std::max_element(r.begin(), r.end()), ratio, limit,
                ratio <= limit ? "ok" : "OVER");
    std::fflush(stdout);
    return ratio <= limit;
}

} // namespace bench
