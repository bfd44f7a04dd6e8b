// The music with the real sound layer: a thousand track changes in a row, through the shipped
// tracks, empty slots and indexes outside the playlist, keep the process the size it was.
#include "audio/music.h"

#include "platform/sound/sound.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

// AddressSanitizer keeps freed blocks in quarantine, so the process size says nothing there;
// its leak check at exit covers that build instead.
#if defined(__SANITIZE_ADDRESS__)
const long kAllowedGrowth = 1L << 40;
#else
const long kAllowedGrowth = 4L << 20;
#endif

long resident_bytes() {
    long pages = 0, resident = 0;
    FILE* f = std::fopen("/proc/self/statm", "r");
    if (!f) return -1;
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = -1;
    std::fclose(f);
    return resident * sysconf(_SC_PAGESIZE);
}

TEST(MusicMemory, AThousandTrackChangesKeepTheProcessSize) {
    std::filesystem::current_path(GLOW_SOURCE_DIR);  // where data/music lives
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    start_music();
    ASSERT_NE(music_stream, nullptr);
    // Up then Down, over and over: slot 0 and slot 1 take turns, each read whole and scanned.
    for (int i = 0; i < 10; ++i) (i % 2 ? previous_track : next_track)();
    long before = resident_bytes();
    ASSERT_GT(before, 0);
    for (int i = 0; i < 1000; ++i) (i % 2 ? previous_track : next_track)();
    long after = resident_bytes();
    ASSERT_NE(music_stream, nullptr);
    EXPECT_EQ(track_index, 0);
    EXPECT_LT(after - before, kAllowedGrowth) << "grew from " << before << " to " << after;

    // Held Up runs past the filled slots and the table; held Down comes back and plays again.
    for (int i = 0; i < 40; ++i) next_track();
    EXPECT_EQ(music_stream, nullptr);
    update_music_clock();
    EXPECT_EQ(music_clock, 0.0f);
    for (int i = 0; i < 37; ++i) previous_track();
    ASSERT_NE(music_stream, nullptr);  // slot 4
    // A window re-creation while a track plays releases that track and starts the slot again.
    start_music();
    ASSERT_NE(music_stream, nullptr);
    EXPECT_LT(resident_bytes() - before, kAllowedGrowth);
}

}  // namespace
