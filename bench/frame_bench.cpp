// One offscreen frame of the arm (DrawGLScene + glFinish) beside a frame
// that only clears, on headless Mesa. Prints the ratio of the two: of the
// medians, when the benchmarks are repeated (for instance with
// --benchmark_repetitions=9 --benchmark_enable_random_interleaving=true,
// which runs the repetitions of both in a shuffled order).

#include "arm/arm.h"
#include "tools/offscreen_gl.h"
#include "window/scene.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

static void ArmFrame(benchmark::State &state) {
    for (auto _ : state) {
        DrawGLScene();
        glFinish();
    }
}

static void ClearOnlyFrame(benchmark::State &state) {
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glFinish();
    }
}

BENCHMARK(ArmFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(ClearOnlyFrame)->Unit(benchmark::kMicrosecond);

// Keeps the times per frame of each benchmark (one per repetition) for
// the closing ratio.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    std::map<std::string, std::vector<double>> perFrame;
    void ReportRuns(const std::vector<Run> &runs) override {
        for (const Run &run : runs)
            if (run.run_type == Run::RT_Iteration && run.iterations > 0)
                perFrame[run.run_name.function_name].push_back(run.GetAdjustedRealTime());
        ConsoleReporter::ReportRuns(runs);
    }
    double Median(const std::string &name) {
        std::vector<double> v = perFrame[name];
        if (v.empty()) return 0;
        std::sort(v.begin(), v.end());
        return (v[(v.size() - 1) / 2] + v[v.size() / 2]) / 2;
    }
};

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    std::string why;
    if (!offscreen::Start(&why)) {
        fprintf(stderr, "orvanel-bench: no headless OpenGL: %s\n", why.c_str());
        return 1;
    }
    InitGL();
    ReSizeGLScene(offscreen::kWidth, offscreen::kHeight);

    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double frame = reporter.Median("ArmFrame"), clear = reporter.Median("ClearOnlyFrame");
    if (frame > 0 && clear > 0)
        printf("frame/clear: %.2f (arm frame %.1f us, clear-only frame %.1f us%s)\n", frame / clear,
               frame, clear, reporter.perFrame["ArmFrame"].size() > 1 ? ", medians" : "");
    return 0;
}
