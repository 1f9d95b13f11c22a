// The real program on real X servers (Xvfb, no window manager): answered
// and typed at through the keyboard as a user would, its window read back
// pixel by pixel. Each test runs its own server.
// gtest first: Xlib's macros (None, Bool) clash with its names.
#include <gtest/gtest.h>

#include "tests/e2e/program_session.h"
#include "tests/start_pose_probes.h"

#include <cstring>
#include <unistd.h>

namespace e2e {
namespace {

// A screen with a 640x480 mode, and one without.
const char kSmallScreen[] = "640x480x16";
const char kLargeScreen[] = "1024x768x24";

const int kWindowed = 27; // exit status after Escape: the character message's

// Waits for the program's window and for it to show the start pose.
Window WaitForStartPose(Desk &desk, Window except = 0, Image *shown = nullptr) {
    const Window w = desk.WaitForWindow("Orvanel", except);
    if (!w) {
        ADD_FAILURE() << "no program window";
        return 0;
    }
    bool met = false;
    const Image image = desk.WaitForImage(
        w, [](const Image &i) { return ShowsStartPose(i); }, kTimeoutMs, &met);
    std::string why;
    ShowsStartPose(image, &why);
    EXPECT_TRUE(met) << "start pose not shown: " << why;
    if (shown) *shown = image;
    return w;
}

Image WaitForPicture(Desk &desk, Window w, const Image &picture) {
    bool met = false;
    Image image = desk.WaitForImage(
        w, [&](const Image &i) { return i == picture; }, kTimeoutMs, &met);
    EXPECT_TRUE(met) << "the picture did not come back";
    return image;
}

// Waits until the picture has stayed the same over a few grabs.
Image WaitUntilSettled(Desk &desk, Window w) {
    Image last = desk.Grab(w);
    int same = 0;
    bool met = false;
    desk.WaitForImage(
        w,
        [&](const Image &i) {
            usleep(50000);
            same = i == last ? same + 1 : 0;
            last = i;
            return same >= 4;
        },
        kTimeoutMs, &met);
    EXPECT_TRUE(met) << "the picture keeps changing";
    return last;
}

// Holds Escape until the program has ended; its exit status.
std::optional<int> QuitWithEscape(Session &s) {
    s.desk.HoldUntil("Escape", [&] { return !s.program.Running(); });
    return s.program.Wait();
}

// Holds a key until the window's picture is no longer `from`; the new one.
Image HoldUntilChanged(Desk &desk, const char *key, Window w, const Image &from) {
    Image now;
    EXPECT_TRUE(desk.HoldUntil(key, [&] { return (now = desk.Grab(w)) != from; }))
        << key << " changed nothing";
    return now;
}

// Holds a key until the window shows `picture` again.
void HoldUntilShows(Desk &desk, const char *key, Window w, const Image &picture) {
    EXPECT_TRUE(desk.HoldUntil(key, [&] { return desk.Grab(w) == picture; }))
        << key << " did not bring the picture back";
}

// Holds F1 until the window is gone, taken down for the other mode.
bool Toggle(Desk &desk, Window w) {
    return desk.HoldUntil("F1", [&] { return desk.WaitUntilGone(w, 0); });
}

// Leftmost column where two pictures differ, or -1.
int LeftmostChange(const Image &a, const Image &b) {
    int left = -1;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < (left < 0 ? a.width : left); ++x)
            if (std::memcmp(a.At(x, y), b.At(x, y), 3) != 0) {
                left = x;
                break;
            }
    return left;
}

// Rightmost column that shows any of the arm (the background is black).
int RightmostArm(const Image &image) {
    for (int x = image.width - 1; x >= 0; --x)
        for (int y = 0; y < image.height; ++y) {
            const std::uint8_t *p = image.At(x, y);
            if (p[0] | p[1] | p[2]) return x;
        }
    return -1;
}

// Topmost row that shows any of the arm.
int TopmostArm(const Image &image) {
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const std::uint8_t *p = image.At(x, y);
            if (p[0] | p[1] | p[2]) return y;
        }
    return -1;
}

// Column of an eye-space x on the arm's front plane in a 640x480 picture.
int Column(double eyeX) {
    return (int)ProbePixel({eyeX, -3.5, -25}, 640, 480)[0];
}

// The program answered No on a screen without a 640x480 mode: its window
// `w` showing the start pose, which is `start`.
class Windowed : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_SERVER(s);
        ASSERT_TRUE(Answer(s.desk, "FullScreen ?", "Escape"));
        w = WaitForStartPose(s.desk, 0, &start);
        ASSERT_TRUE(w);
    }
    Session s{kLargeScreen};
    Window w = 0;
    Image start;
};

TEST_F(Windowed, IsA640x480WindowWithTheStartPoseAndEscapeEndsWith27) {
    const XWindowAttributes a = s.desk.Attributes(w);
    EXPECT_EQ(a.width, 640);
    EXPECT_EQ(a.height, 480);
    EXPECT_FALSE(s.desk.AsksForFullscreen(w));
    EXPECT_FALSE(s.desk.AsksForNoDecorations(w)) << "a window gets a title bar and frame";
    EXPECT_EQ(s.desk.FocusedWindow(), w) << "the new window has the keyboard";

    EXPECT_EQ(QuitWithEscape(s), std::optional<int>(kWindowed));
    EXPECT_TRUE(s.desk.WaitUntilGone(w));
    EXPECT_EQ(s.program.Stderr(), "");
}

// Each pose key moves its own part of the arm and nothing before it; its
// opposite key puts the picture back exactly.
TEST_F(Windowed, EachKeyMovesItsPartAndTheOppositeKeyMovesItBack) {

    // Where the first change shows, in eye x: from the green joint, the
    // blue joint, the wrist, the end of the first telescopic piece (seen
    // a little deeper), the jaws; and before the next part's own start.
    // The joints turn the arm up, Up opens the upper jaw upwards, Right
    // makes the arm longer; the wrist turns it about its own axis.
    enum Effect { Raises, Lengthens, Turns };
    struct Pair {
        const char *up, *down;
        double from, before;
        Effect effect;
    };
    const Pair pairs[] = {
        {"F2", "F3", -5.5, -1.0, Raises}, {"F4", "F5", -1.0, 2.0, Raises},
        {"F6", "F7", 2.0, 8.0, Turns},    {"Right", "Left", 3.0, 3.2, Lengthens},
        {"Up", "Down", 3.7, 8.0, Raises},
    };
    for (const Pair &p : pairs) {
        SCOPED_TRACE(p.up);
        const Image moved = HoldUntilChanged(s.desk, p.up, w, start);
        const int left = LeftmostChange(start, moved);
        EXPECT_GE(left, Column(p.from - 0.6)) << "moves a part before its own";
        EXPECT_LT(left, Column(p.before)) << "does not move its own part";
        // Longer pieces push the gripper a unit further right.
        EXPECT_EQ(RightmostArm(moved) > RightmostArm(start) + 10, p.effect == Lengthens);
        if (p.effect == Raises) {
            EXPECT_LT(TopmostArm(moved), TopmostArm(start)) << "turns the wrong way";
        }
        HoldUntilShows(s.desk, p.down, w, start);
    }
    EXPECT_EQ(QuitWithEscape(s), std::optional<int>(kWindowed));
}

TEST_F(Windowed, AHeldKeyRepeats) {

    // Held past the keyboard's repeat delay, F2 moves the joint more than
    // one step, so one press of F3 does not bring the start pose back.
    s.desk.AutoRepeat(true);
    s.desk.Press("F2", nullptr, 1500);
    s.desk.AutoRepeat(false);
    // A repeat sent just before the release may still be on its way.
    const Image held = WaitUntilSettled(s.desk, w);
    EXPECT_NE(held, start);
    const Image back = HoldUntilChanged(s.desk, "F3", w, held);
    EXPECT_NE(back, start) << "the held key moved the pose only once";
    EXPECT_EQ(QuitWithEscape(s), std::optional<int>(kWindowed));
}

TEST(Fullscreen, YesCoversA640x480ScreenAndF1SwitchesToAWindowAndBackKeepingThePose) {
    Session s(kSmallScreen);
    ASSERT_SERVER(s);
    ASSERT_TRUE(Answer(s.desk, "FullScreen ?", "Return"));
    Image start;
    const Window full = WaitForStartPose(s.desk, 0, &start);
    ASSERT_TRUE(full);
    EXPECT_TRUE(s.desk.AsksForFullscreen(full));
    EXPECT_TRUE(s.desk.AsksForNoDecorations(full));
    EXPECT_EQ(s.desk.FocusedWindow(), full) << "the new window has the keyboard";
    const XWindowAttributes a = s.desk.Attributes(full);
    EXPECT_EQ(a.x, 0);
    EXPECT_EQ(a.y, 0);
    EXPECT_EQ(a.width, 640);
    EXPECT_EQ(a.height, 480);

    const Image posed = HoldUntilChanged(s.desk, "F2", full, start);

    ASSERT_TRUE(Toggle(s.desk, full));
    const Window windowed = s.desk.WaitForWindow("Orvanel", full);
    ASSERT_TRUE(windowed);
    EXPECT_FALSE(s.desk.AsksForFullscreen(windowed));
    EXPECT_FALSE(s.desk.AsksForNoDecorations(windowed));
    WaitForPicture(s.desk, windowed, posed);

    ASSERT_TRUE(Toggle(s.desk, windowed));
    const Window again = s.desk.WaitForWindow("Orvanel", windowed);
    ASSERT_TRUE(again);
    EXPECT_TRUE(s.desk.AsksForFullscreen(again));
    WaitForPicture(s.desk, again, posed);

    EXPECT_EQ(QuitWithEscape(s), std::optional<int>(kWindowed));
    EXPECT_EQ(s.program.Stderr(), "");
}

TEST(Fullscreen, NoAtStartThenF1CoversA640x480Screen) {
    Session s(kSmallScreen);
    ASSERT_SERVER(s);
    ASSERT_TRUE(Answer(s.desk, "FullScreen ?", "Escape"));
    const Window windowed = WaitForStartPose(s.desk);
    ASSERT_TRUE(windowed);
    EXPECT_FALSE(s.desk.AsksForFullscreen(windowed));

    ASSERT_TRUE(Toggle(s.desk, windowed));
    const Window full = WaitForStartPose(s.desk, windowed);
    ASSERT_TRUE(full);
    EXPECT_TRUE(s.desk.AsksForFullscreen(full));
    EXPECT_EQ(s.desk.FocusedWindow(), full) << "the new window has the keyboard";
    EXPECT_EQ(QuitWithEscape(s), std::optional<int>(kWindowed));
}

// On a screen without a 640x480 mode the program offers a window instead.
TEST(Fullscreen, WithoutThe640x480ModeYesThenYesGivesAWindowAndF1ThenNoEndsWith0) {
    Session s(kLargeScreen);
    ASSERT_SERVER(s);
    ASSERT_TRUE(Answer(s.desk, "FullScreen ?", "Return"));
    ASSERT_TRUE(Answer(s.desk, "Vorel GL", "Return"));
    const Window w = WaitForStartPose(s.desk);
    ASSERT_TRUE(w);
    EXPECT_EQ(s.desk.Attributes(w).width, 640);
    EXPECT_FALSE(s.desk.AsksForFullscreen(w));

    // F1 tries fullscreen again; this time the answer is No.
    ASSERT_TRUE(Toggle(s.desk, w));
    ASSERT_TRUE(Answer(s.desk, "Vorel GL", "Escape"));
    ASSERT_TRUE(Answer(s.desk, "ERROR", "Return")); // "Program Will Now Close."
    EXPECT_EQ(s.program.Wait(), std::optional<int>(0));
    EXPECT_FALSE(s.desk.WaitForWindow("Orvanel", 0, 200));
}

TEST(Fullscreen, WithoutThe640x480ModeYesThenNoEndsWith0) {
    Session s(kLargeScreen);
    ASSERT_SERVER(s);
    ASSERT_TRUE(Answer(s.desk, "FullScreen ?", "Return"));
    ASSERT_TRUE(Answer(s.desk, "Vorel GL", "Escape"));
    ASSERT_TRUE(Answer(s.desk, "ERROR", "Escape"));
    EXPECT_EQ(s.program.Wait(), std::optional<int>(0));
}

TEST_F(Windowed, TheCloseBoxEndsWith0) {
    s.desk.Close(w);
    EXPECT_EQ(s.program.Wait(), std::optional<int>(0));
}

TEST_F(Windowed, AltF4EndsWith0) {
    s.desk.KeyDown("Alt_L");
    s.desk.HoldUntil("F4", [&] { return !s.program.Running(); });
    s.desk.KeyUp("Alt_L");
    EXPECT_EQ(s.program.Wait(), std::optional<int>(0));
}

TEST_F(Windowed, MinimisedAndRestoredItKeepsRunningAndDrawing) {

    s.desk.Minimise(w);
    ASSERT_TRUE(s.desk.WaitUntilGone(w));
    // Still there a while later: not crashed, not ended.
    EXPECT_FALSE(s.program.Wait(500));

    s.desk.Restore(w);
    WaitForStartPose(s.desk);
    HoldUntilChanged(s.desk, "F2", w, start);
    EXPECT_EQ(QuitWithEscape(s), std::optional<int>(kWindowed));
}

TEST(NoDisplay, EndsWith0AndSaysWhyOnStderr) {
    for (const bool serverGone : {false, true}) {
        SCOPED_TRACE(serverGone ? "DISPLAY names no server" : "no DISPLAY");
        Program program(ORVANEL_PROGRAM, serverGone ? ":1999" : "");
        EXPECT_EQ(program.Wait(), std::optional<int>(0));
        const std::string err = program.Stderr();
        EXPECT_NE(err.find("FullScreen ?: Passer en plein ecran (640x480) ?"), std::string::npos)
            << err;
        EXPECT_NE(err.find("ERROR: Program Will Now Close."), std::string::npos) << err;
        EXPECT_NE(err.find("could not be shown"), std::string::npos) << err;
    }
}

} // namespace
} // namespace e2e
