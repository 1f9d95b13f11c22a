// Headless desktop OpenGL (compatibility profile, so the fixed-function
// interface) on Mesa through EGL: a 640x480 RGBA pbuffer with a 16-bit
// depth buffer. Support for tests, tools and benchmarks; not program code.
#pragma once

#include <string>
#include <vector>

namespace offscreen {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

// Opens the display and the pbuffer (640x480 unless asked otherwise).
// Returns false, with the reason in *why, when there is no usable EGL.
// Safe to call again once open; the size is the first call's.
bool Open(std::string *why, int width = kWidth, int height = kHeight);

// A new context with the GL defaults, sharing nothing; null on failure.
void *CreateContext();
bool DestroyContext(void *context);

// Binds the context to the pbuffer; null leaves no context current.
bool MakeCurrent(void *context);

// Open, create a context and make it current, in one go.
bool Start(std::string *why);

// The colour buffer as RGBA rows, bottom row first.
std::vector<unsigned char> ReadRGBA();

} // namespace offscreen
