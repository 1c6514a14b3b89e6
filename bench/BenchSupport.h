#pragma once

#include <QElapsedTimer>
#include <QString>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

// Runs a measurement and its reference alternately, several times, and
// reports the medians and the worst cases beside each other with their
// ratios. A benchmark's exit status is not zero when a target is missed.
namespace bench {

inline double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

inline double worst(const std::vector<double>& v) {
    return *std::max_element(v.begin(), v.end());
}

inline double timeOnce(const std::function<void()>& f) {
    QElapsedTimer t;
    t.start();
    f();
    return double(t.nsecsElapsed()) / 1e6;
}

inline bool verbose() {
    return std::getenv("BENCH_VERBOSE") != nullptr;
}

// Whether a measurement is to be made: all of them, or with BENCH_ONLY=text
// those whose name holds the text.
inline bool selected(const char* name) {
    const char* only = std::getenv("BENCH_ONLY");
    return !only || std::strstr(name, only);
}

inline double ratio(double measured, double reference) {
    return reference > 0 ? measured / reference : 0;
}

enum class Target { Median, WorstCase, Both };

// Prints one line: "<name>: median <ms> ms vs <ms> ms, ratio <r>; worst <ms> ms
// vs <ms> ms, ratio <r> (target <= <limit> ...) ok|OVER". Answers whether the
// ratios the target is for are within the limit.
inline bool report(const char* name, double mm, double rm, double mw, double rw, double limit,
                   Target target) {
    const double medianRatio = ratio(mm, rm), worstRatio = ratio(mw, rw);
    const bool ok = (target == Target::WorstCase || medianRatio <= limit) &&
                    (target == Target::Median || worstRatio <= limit);
    const char* what = target == Target::Median      ? "the median"
                       : target == Target::WorstCase ? "the worst case"
                                                     : "the median and the worst case";
    std::printf("%s: median %.2f ms vs %.2f ms, ratio %.2f; worst %.2f ms vs %.2f ms, ratio %.2f "
                "(target <= %.2f for %s) %s\n",
                name, mm, rm, medianRatio, mw, rw, worstRatio, limit, what, ok ? "ok" : "OVER");
    std::fflush(stdout);
    return ok;
}

// Times a measurement and its reference alternately, `rounds` times each.
inline bool compare(const char* name, const std::function<void()>& measured,
                    const std::function<void()>& reference, double limit, int rounds = 5,
                    Target target = Target::Median) {
    std::vector<double> m, r;
    for (int i = 0; i < rounds; ++i) {
        r.push_back(timeOnce(reference));
        m.push_back(timeOnce(measured));
    }
    if (verbose()) {
        for (int i = 0; i < rounds; ++i)
            std::printf("  round %d: %.1f ms vs %.1f ms\n", i, m[size_t(i)], r[size_t(i)]);
    }
    return report(name, median(m), median(r), worst(m), worst(r), limit, target);
}

// Reports steps timed in several rounds (keys pressed one by one, each with
// what it makes the window do) on the measured subject and on the reference.
// A step's time is its median over the rounds, so that a step slow in every
// round shows and a pause of the machine in one round does not; the slowest
// step is the worst case. The target holds for the median step and for the
// slowest.
inline bool reportSteps(const char* name, const std::vector<std::vector<double>>& measured,
                        const std::vector<std::vector<double>>& reference, double limit) {
    const auto perStep = [](const std::vector<std::vector<double>>& runs) {
        std::vector<double> steps;
        for (size_t k = 0; k < runs.front().size(); ++k) {
            std::vector<double> times;
            for (const auto& run : runs)
                times.push_back(run[k]);
            steps.push_back(median(times));
        }
        return steps;
    };
    const std::vector<double> ms = perStep(measured), rs = perStep(reference);
    if (verbose()) {
        for (size_t k = 0; k < ms.size() && k < rs.size(); ++k)
            std::printf("  step %zu: %.2f ms vs %.2f ms\n", k, ms[k], rs[k]);
    }
    return report(name, median(ms), median(rs), worst(ms), worst(rs), limit, Target::Both);
}

// Times the steps of a sequence on the measured subject and on the reference
// alternately, `rounds` times, and reports them as reportSteps does.
inline bool compareSteps(const char* name, const std::function<std::vector<double>()>& measured,
                         const std::function<std::vector<double>()>& reference, double limit,
                         int rounds = 3) {
    std::vector<std::vector<double>> m, r;
    for (int i = 0; i < rounds; ++i) {
        r.push_back(reference());
        m.push_back(measured());
    }
    return reportSteps(name, m, r, limit);
}

} // namespace bench
