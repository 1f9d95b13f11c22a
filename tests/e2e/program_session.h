// The real program on a private X server of its own, and answering its
// boxes from the keyboard: shared by the end-to-end tests of the program.
// Include after <gtest/gtest.h> (Xlib's macros clash with its names).
#pragma once

#include "tests/e2e/x_session.h"

namespace e2e {

// ORVANEL_PROGRAM is the program's path, given by the build.
class Session {
  public:
    explicit Session(const char *screen)
        : server(screen), desk(server.X()), program(ORVANEL_PROGRAM, server.Name()) {}
    XServer server;
    Desk desk;
    Program program;
};

#define ASSERT_SERVER(s) ASSERT_TRUE((s).server.Ready()) << (s).server.Error()

// Answers a message box from the keyboard, once it is there.
inline ::testing::AssertionResult Answer(Desk &desk, const char *caption, const char *key) {
    const Window box = desk.WaitForWindow(caption);
    if (!box) return ::testing::AssertionFailure() << "no \"" << caption << "\" box";
    desk.Focus(box); // a window manager gives a new window the focus
    desk.Press(key);
    if (!desk.WaitUntilGone(box))
        return ::testing::AssertionFailure() << "\"" << caption << "\" stays after " << key;
    return ::testing::AssertionSuccess();
}

} // namespace e2e
