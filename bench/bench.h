// What the benchmarks share: a clock, quartiles, and the kernel's figures.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

inline double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The p-quantile, interpolated between neighbours.
inline double Quantile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    const double at = p * (v.size() - 1);
    const size_t below = (size_t)at, above = std::min(below + 1, v.size() - 1);
    return v[below] + (v[above] - v[below]) * (at - below);
}

// "median (p25 - p75)", each in `format`.
inline std::string Quartiles(const std::vector<double> &v, const char *format) {
    char text[128];
    const std::string f = std::string(format) + " (" + format + " - " + format + ")";
    std::snprintf(text, sizeof text, f.c_str(), Quantile(v, .5), Quantile(v, .25),
                  Quantile(v, .75));
    return text;
}

// A line of /proc/PID/status such as "VmRSS:", in MiB; -1 when missing.
inline double StatusMiB(const std::string &pid, const char *field) {
    std::ifstream in("/proc/" + pid + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field)) / 1024.0;
    return -1;
}

inline double LoadAverage() {
    double load = -1;
    std::ifstream("/proc/loadavg") >> load;
    return load;
}
