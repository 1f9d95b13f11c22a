// Renders one frame of the arm, in any pose, to a 640x480 PNG, headless,
// through the program's own InitGL, ReSizeGLScene and DrawGLScene.

#include "arm/arm.h"
#include "tools/offscreen_gl.h"
#include "window/scene.h"

#include <png.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// The options that set the pose; their ranges are the pose's own limits.
struct PoseOption {
    const char *name, *unit, *meaning;
    const PoseLimit &limit; // the value it sets, with its range
};

static const PoseOption kOptions[] = {
    {"--piston1", "DEG", "green segment's joint", PoseLimits[0]},
    {"--piston2", "DEG", "blue segment's joint", PoseLimits[1]},
    {"--piston3", "DEG", "wrist", PoseLimits[2]},
    {"--trans", "LEN", "length of each telescopic piece", PoseLimits[3]},
    {"--pince", "DEG", "gripper opening", PoseLimits[4]},
};
const int kPoseValues = sizeof kOptions / sizeof kOptions[0];

static std::string Range(const PoseOption &o) {
    char text[64];
    snprintf(text, sizeof text, "a number from %g to %g", o.limit.lowest, o.limit.highest);
    return text;
}

// The defaults are the pose's start values, which the globals still hold.
static void PrintUsage() {
    fputs("usage: orvanel-snapshot [options] OUTPUT.png\n"
          "Renders one 640x480 frame of the arm to OUTPUT.png.\n",
          stdout);
    for (const PoseOption &o : kOptions) {
        const std::string option = std::string(o.name) + " " + o.unit;
        printf("  %-15s %s, %g to %g (default %g)\n", option.c_str(), o.meaning, o.limit.lowest,
               o.limit.highest, *o.limit.value);
    }
    fputs("  --help          this text\n"
          "Bad arguments exit with status 2 and write nothing.\n",
          stdout);
}

static int BadArgument(const std::string &line) {
    fprintf(stderr, "orvanel-snapshot: %s\n", line.c_str());
    return 2;
}

// Parses the command line into pose[] (in kOptions' order, starting from the
// values given) and the output path. Returns 0, or the exit status after
// reporting the problem.
static int ParseArguments(int argc, char **argv, GLfloat pose[], const char **output) {
    *output = nullptr;
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (strcmp(arg, "--help") == 0 || strcmp(arg, "-h") == 0) {
            PrintUsage();
            exit(0);
        }
        int option = -1;
        for (int o = 0; o < kPoseValues; ++o)
            if (strcmp(arg, kOptions[o].name) == 0) option = o;
        if (option >= 0) {
            const std::string range = Range(kOptions[option]);
            if (i + 1 >= argc) return BadArgument(std::string(arg) + ": missing value, " + range);
            const char *text = argv[++i];
            char *end = nullptr;
            errno = 0;
            double value = strtod(text, &end);
            if (end == text || *end != '\0' || errno != 0 || !std::isfinite(value))
                return BadArgument(std::string(arg) + ": '" + text + "' is not " + range);
            const PoseLimit &limit = kOptions[option].limit;
            if (value < limit.lowest || value > limit.highest)
                return BadArgument(std::string(arg) + ": " + text + " is out of range, " + range);
            pose[option] = (GLfloat)value;
        } else if (arg[0] == '-' && arg[1] != '\0') {
            return BadArgument(std::string("unknown option '") + arg + "' (see --help)");
        } else if (*output) {
            return BadArgument(std::string("extra argument '") + arg +
                               "': only one OUTPUT.png is taken");
        } else {
            *output = arg;
        }
    }
    if (!*output) return BadArgument("OUTPUT.png: missing, a path to write the picture to");
    return 0;
}

// Writes the frame as an 8-bit RGB PNG, top row first. The screen shows no
// alpha, so none is stored.
static bool WritePng(FILE *file, const std::vector<unsigned char> &rgba) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    std::vector<unsigned char> row(offscreen::kWidth * 3);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, offscreen::kWidth, offscreen::kHeight, 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = offscreen::kHeight - 1; y >= 0; --y) {
        const unsigned char *source = &rgba[size_t(y) * offscreen::kWidth * 4];
        for (int x = 0; x < offscreen::kWidth; ++x)
            memcpy(&row[x * 3], &source[x * 4], 3);
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

int main(int argc, char **argv) {
    GLfloat pose[kPoseValues];
    for (int o = 0; o < kPoseValues; ++o)
        pose[o] = *kOptions[o].limit.value;
    const char *output = nullptr;
    if (int status = ParseArguments(argc, argv, pose, &output)) return status;
    for (int o = 0; o < kPoseValues; ++o)
        *kOptions[o].limit.value = pose[o];

    std::string why;
    if (!offscreen::Start(&why)) {
        fprintf(stderr, "orvanel-snapshot: no headless OpenGL: %s\n", why.c_str());
        return 1;
    }
    InitGL();
    ReSizeGLScene(offscreen::kWidth, offscreen::kHeight);
    DrawGLScene();
    glFinish();
    std::vector<unsigned char> pixels = offscreen::ReadRGBA();

    FILE *file = fopen(output, "wb");
    if (!file)
        return BadArgument(std::string("OUTPUT.png: cannot write '") + output +
                           "': " + strerror(errno));
    bool written = WritePng(file, pixels);
    if (fclose(file) != 0) written = false;
    if (!written) {
        remove(output);
        fprintf(stderr, "orvanel-snapshot: writing '%s' failed\n", output);
        return 1;
    }
    return 0;
}
