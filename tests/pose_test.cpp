// The pose keys: order, limits, consumption of flags.
#include "arm/arm.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

enum : int { F1 = 0x70, F2, F3, F4, F5, F6, F7, Escape = 0x1B };
enum : int { Left = 0x25, Up, Right, Down };

struct PoseKey {
    int key;
    GLfloat *value;
    GLfloat step, bound;
};

// The ten keys in the order the control step must take them.
const PoseKey kPoseKeys[] = {
    {F2, &Piston1Rot, +1, 75},    {F3, &Piston1Rot, -1, -75},  {F4, &Piston2Rot, +1, 75},
    {F5, &Piston2Rot, -1, -75},   {F6, &Piston3Rot, +1, 75},   {F7, &Piston3Rot, -1, -75},
    {Right, &Piston3Trans, +1, 8}, {Left, &Piston3Trans, -1, 1}, {Up, &PinceRot, +1, 90},
    {Down, &PinceRot, -1, 45},
};

void ResetPose() {
    Piston1Rot = Piston2Rot = Piston3Rot = 0;
    Piston3Trans = 1;
    PinceRot = 45;
    for (int &k : keys) k = 0;
}

void Press(int key) {
    keys[key] = 1;
    ApplyPoseKeys();
}

class PoseKeys : public ::testing::Test {
  protected:
    void SetUp() override { ResetPose(); }
};

TEST(Pose, StartsAtItsStartValuesWithNoKeyLatched) {
    EXPECT_EQ(Piston1Rot, 0.0f);
    EXPECT_EQ(Piston2Rot, 0.0f);
    EXPECT_EQ(Piston3Rot, 0.0f);
    EXPECT_EQ(Piston3Trans, 1.0f);
    EXPECT_EQ(PinceRot, 45.0f);
    for (int k : keys) ASSERT_EQ(k, 0);
}

TEST_F(PoseKeys, EachKeyMovesOnlyItsValueByOneUnitAndIsConsumed) {
    for (const PoseKey &k : kPoseKeys) {
        ResetPose();
        *k.value = (k.step > 0) ? k.bound - 5 : k.bound + 5; // room to move either way
        GLfloat before[5] = {Piston1Rot, Piston2Rot, Piston3Rot, Piston3Trans, PinceRot};
        const GLfloat expected = *k.value + k.step;
        Press(k.key);
        EXPECT_EQ(*k.value, expected) << "key 0x" << std::hex << k.key;
        EXPECT_EQ(keys[k.key], 0) << "key 0x" << std::hex << k.key;
        const GLfloat *after[5] = {&Piston1Rot, &Piston2Rot, &Piston3Rot, &Piston3Trans, &PinceRot};
        for (int i = 0; i < 5; ++i) {
            if (after[i] != k.value) {
                EXPECT_EQ(*after[i], before[i]) << "key 0x" << std::hex << k.key;
            }
        }
    }
}

TEST_F(PoseKeys, HeldPressesStopExactlyOnTheBoundAndStayOnWholeNumbers) {
    for (const PoseKey &k : kPoseKeys) {
        for (int i = 0; i < 200; ++i) {
            Press(k.key);
            ASSERT_EQ(*k.value, std::round(*k.value)) << "key 0x" << std::hex << k.key;
            ASSERT_LE(std::fabs(*k.value - k.bound), 150.0f);
        }
        EXPECT_EQ(*k.value, k.bound) << "key 0x" << std::hex << k.key;
        EXPECT_EQ(keys[k.key], 0);
    }
    // The gripper and the pieces start on their lowest values.
    ResetPose();
    for (int i = 0; i < 20; ++i) Press(Right);
    EXPECT_EQ(Piston3Trans, 8.0f);
    Press(Left);
    EXPECT_EQ(Piston3Trans, 7.0f);
}

TEST_F(PoseKeys, APressAgainstTheLimitIsConsumedAndChangesNothing) {
    Press(Down);
    EXPECT_EQ(PinceRot, 45.0f);
    EXPECT_EQ(keys[Down], 0);
    Press(Left);
    EXPECT_EQ(Piston3Trans, 1.0f);
    EXPECT_EQ(keys[Left], 0);
    Press(Up);
    EXPECT_EQ(PinceRot, 46.0f);
}

// With both keys of a pair latched in one pass the raising key goes first,
// which shows at the bounds: at the top only the lowering key acts, at the
// bottom the value goes up and comes back.
TEST_F(PoseKeys, BothKeysOfAPairInOnePassRaiseThenLower) {
    for (int pair = 0; pair < 10; pair += 2) {
        const PoseKey &up = kPoseKeys[pair], &down = kPoseKeys[pair + 1];
        const GLfloat middle = std::floor((up.bound + down.bound) / 2);
        for (GLfloat start : {middle, up.bound, down.bound}) {
            *up.value = start;
            keys[up.key] = keys[down.key] = 1;
            ApplyPoseKeys();
            const GLfloat expected = (start == up.bound) ? start - 1 : start;
            EXPECT_EQ(*up.value, expected) << "pair 0x" << std::hex << up.key << " from " << start;
            EXPECT_EQ(keys[up.key] | keys[down.key], 0);
        }
    }
    Piston1Rot = 10;
    keys[F2] = keys[F3] = 1;
    ApplyPoseKeys();
    EXPECT_EQ(Piston1Rot, 10.0f);
}

TEST_F(PoseKeys, KeysOutsideTheTableAreLeftAlone) {
    for (int &k : keys) k = 1;
    ApplyPoseKeys();
    for (int code = 0; code < 256; ++code) {
        bool posed = false;
        for (const PoseKey &k : kPoseKeys) posed |= (k.key == code);
        EXPECT_EQ(keys[code], posed ? 0 : 1) << "key 0x" << std::hex << code;
    }
    EXPECT_EQ(keys[F1], 1);
    EXPECT_EQ(keys[Escape], 1);
    // Every pair went up and down again.
    EXPECT_EQ(Piston1Rot, 0.0f);
    EXPECT_EQ(Piston3Trans, 1.0f);
    EXPECT_EQ(PinceRot, 45.0f);
}

TEST_F(PoseKeys, NoFlagNoChange) {
    for (int i = 0; i < 10; ++i) ApplyPoseKeys();
    EXPECT_EQ(Piston1Rot, 0.0f);
    EXPECT_EQ(Piston3Trans, 1.0f);
    EXPECT_EQ(PinceRot, 45.0f);
}

} // namespace
