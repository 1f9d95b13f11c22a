// One offscreen frame of the arm (DrawGLScene + glFinish) beside a frame that
// only clears, on headless Mesa (EGL pbuffer, no window system). Repeated with
// --benchmark_repetitions=9 --benchmark_enable_random_interleaving=true, the
// repetitions of both run in a shuffled order; scripts/bench.sh prints the
// ratio of their medians.

#include "arm/arm.h"
#include "tools/offscreen_gl.h"
#include "window/scene.h"

#include <benchmark/benchmark.h>

#include <cstdio>
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

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    std::string why;
    if (!offscreen::Start(&why)) {
        std::fprintf(stderr, "orvanel-bench: no headless OpenGL: %s\n", why.c_str());
        return 1;
    }
    InitGL();
    ReSizeGLScene(offscreen::kWidth, offscreen::kHeight);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
