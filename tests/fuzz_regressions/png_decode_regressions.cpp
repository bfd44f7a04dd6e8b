// The PNG decode behind pngBind on every committed input (the seed corpus of every colour type,
// and whatever fuzzing it finds), through the fuzz target's own checks.
#include <gtest/gtest.h>

#include "tests/fuzz_regressions/replay.h"

namespace {

TEST(PngDecodeRegressions, EveryCommittedInputKeepsTheDecodeInvariants) {
    EXPECT_GE(replay_all("png_decode"), 19u);
}

}  // namespace
