// One offscreen frame of the arm (DrawGLScene + glFinish) beside a frame
// that only clears, on headless Mesa. Prints the ratio of the two.

#include "arm/arm.h"
#include "tools/offscreen_gl.h"
#include "window/scene.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

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

// Keeps the time per frame of each benchmark for the closing ratio.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    std::map<std::string, double> perFrame;
    void ReportRuns(const std::vector<Run> &runs) override {
        for (const Run &run : runs)
            if (run.run_type == Run::RT_Iteration && run.iterations > 0)
                perFrame[run.benchmark_name()] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
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
    const double frame = reporter.perFrame["ArmFrame"], clear = reporter.perFrame["ClearOnlyFrame"];
    if (frame > 0 && clear > 0)
        printf("frame/clear: %.2f (arm frame %.1f us, clear-only frame %.1f us)\n", frame / clear,
               frame, clear);
    return 0;
}
