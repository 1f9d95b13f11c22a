// For tests of the SDL2 backend in-process: one private X server for the
// whole test program, made the display before SDL starts, and the record
// of what the test's window procedure was given. Include once, in
// the test program's one source file.
#pragma once

#include "platform/sdl_backend.h"
#include "tests/e2e/x_session.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <vector>

namespace {

e2e::XServer *server = nullptr;

class PrivateServer : public ::testing::Environment {
  public:
    void SetUp() override {
        server = new e2e::XServer("1024x768x24");
        ASSERT_TRUE(server->Ready()) << server->Error();
        setenv("DISPLAY", server->Name().c_str(), 1);
        unsetenv("WAYLAND_DISPLAY");
    }
    void TearDown() override {
        sdl::Shutdown(); // SDL lets go of the server before it stops
        delete server;
    }
};
const auto *const kServer = ::testing::AddGlobalTestEnvironment(new PrivateServer);

// What a test's window procedure was given, in order.
struct Seen {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<Seen> seen;

const Seen *Find(UINT message, WPARAM wParam) {
    for (const Seen &s : seen)
        if (s.message == message && s.wParam == wParam) return &s;
    return nullptr;
}

// Registers a window class of the test's own, as the program registers its.
ATOM RegisterTestClass(const char *name, WNDPROC proc) {
    WNDCLASSA wc{};
    wc.style = CS_OWNDC;
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = name;
    return RegisterClassA(&wc);
}

// Takes messages off the queue and dispatches them until `done` holds or
// the time is up; whether `done` came.
bool PumpUntil(const std::function<bool()> &done, int timeoutMs = 5000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    MSG msg;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
            if (msg.message != WM_QUIT) DispatchMessageA(&msg);
    }
    return true;
}

} // namespace
