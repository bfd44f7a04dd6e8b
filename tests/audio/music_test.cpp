// The music logic against the recording fake of the sound layer: the calls of start-up and of
// a track change, the playlist index arithmetic, seeking, the clock, and the slots and files
// that play nothing.
#include "audio/music.h"

#include "platform/sound/sound.h"
#include "tests/audio/fake_sound.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::vector<char> pattern_bytes(size_t size, unsigned seed) {
    std::vector<char> bytes(size);
    for (size_t i = 0; i < size; ++i) {
        seed = seed * 1103515245u + 12345u;
        bytes[i] = static_cast<char>(seed >> 16);
    }
    return bytes;
}

void write_file(const fs::path& path, const std::vector<char>& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Runs each test in a scratch working directory holding data/music/track.mp3 and track2.mp3
// (arbitrary bytes: the fake does not decode them), with the music state as at program start.
class MusicTest : public ::testing::Test {
protected:
    void SetUp() override {
        old_dir = fs::current_path();
        char name[] = "/tmp/music_test_XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir = name;
        track1 = pattern_bytes(5000, 1);
        track2 = pattern_bytes(3333, 2);
        write_file(dir / "data/music/track.mp3", track1);
        write_file(dir / "data/music/track2.mp3", track2);
        fs::current_path(dir);
        track_index = 0;
        music_stream = nullptr;
        music_channel = -1;
        music_clock = 0.0f;
        fake_sound_reset();
    }
    void TearDown() override {
        fs::current_path(old_dir);
        fs::remove_all(dir);
    }

    // The checksum of the bytes the last stream was opened with.
    uint64_t last_open_checksum() {
        auto opens = fake_sound_calls("stream_open");
        return opens.empty() ? 0 : opens.back().data_checksum;
    }
    uint64_t sum1() { return fake_sound_checksum(track1.data(), track1.size()); }
    uint64_t sum2() { return fake_sound_checksum(track2.data(), track2.size()); }

    fs::path old_dir, dir;
    std::vector<char> track1, track2;
};

TEST_F(MusicTest, StartMusicMakesTheDocumentedCallsInOrder) {
    EXPECT_EQ(music_clock, 0.0f);
    EXPECT_EQ(music_channel, -1);
    EXPECT_EQ(music_stream, nullptr);

    start_music();

    const auto& calls = fake_sound_calls();
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls[0].op, "set_output");
    EXPECT_EQ(calls[0].args, (std::vector<long long>{1}));
    EXPECT_EQ(calls[1].op, "init");
    EXPECT_EQ(calls[1].args, (std::vector<long long>{44100, 32, 0}));
    EXPECT_EQ(calls[2].op, "stream_open");
    EXPECT_EQ(calls[2].args, (std::vector<long long>{1, 0x28130, 0, 5000}));
    EXPECT_EQ(calls[2].data_size, 5000u);
    EXPECT_EQ(calls[2].data_checksum, sum1());
    long long handle = calls[2].result;
    EXPECT_EQ(fake_sound_handle_number(music_stream), handle);
    EXPECT_EQ(calls[3].op, "play_ex");
    EXPECT_EQ(calls[3].args, (std::vector<long long>{-1, handle, 0, 1}));
    EXPECT_EQ(music_channel, calls[3].result);
    EXPECT_EQ(calls[4].op, "set_paused");
    EXPECT_EQ(calls[4].args, (std::vector<long long>{music_channel, 0}));
    EXPECT_EQ(track_index, 0);
}

TEST_F(MusicTest, TrackChangeClosesThenOpensTheSlotAtTheIndexBeforeTheStep) {
    start_music();
    long long first = fake_sound_handle_number(music_stream);
    fake_sound_reset();

    next_track();  // the first Up restarts slot 0
    const auto& calls = fake_sound_calls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].op, "close");
    EXPECT_EQ(calls[0].args, (std::vector<long long>{first}));
    EXPECT_EQ(calls[1].op, "stream_open");
    EXPECT_EQ(calls[1].args, (std::vector<long long>{1, 0x28130, 0, 5000}));
    EXPECT_EQ(calls[1].data_checksum, sum1());
    EXPECT_EQ(calls[2].op, "play_ex");
    EXPECT_EQ(calls[2].args, (std::vector<long long>{-1, calls[1].result, 0, 1}));
    EXPECT_EQ(calls[3].op, "set_paused");
    EXPECT_EQ(calls[3].args, (std::vector<long long>{calls[2].result, 0}));
    EXPECT_EQ(track_index, 1);

    next_track();  // then slot 1
    EXPECT_EQ(last_open_checksum(), sum2());
    EXPECT_EQ(fake_sound_calls("stream_open").back().data_size, 3333u);
    EXPECT_EQ(track_index, 2);

    previous_track();  // Down plays what the next Up would have played, and steps back
    EXPECT_EQ(fake_sound_calls("stream_open").size(), 3u);
    EXPECT_EQ(last_open_checksum(), sum2());
    EXPECT_EQ(track_index, 1);
    previous_track();
    previous_track();
    EXPECT_EQ(last_open_checksum(), sum1());
    EXPECT_EQ(track_index, -1);
    EXPECT_EQ(fake_sound_open_streams(), 1);
}

TEST_F(MusicTest, EmptySlotsAndIndexesOutsideTheTablePlayNothing) {
    start_music();
    // Held Up: 40 changes run through the filled slots, the empty ones and past the table.
    for (int i = 0; i < 40; ++i) next_track();
    EXPECT_EQ(track_index, 40);
    EXPECT_EQ(fake_sound_calls("stream_open").size(), 1u + 5u);
    EXPECT_EQ(music_stream, nullptr);
    EXPECT_EQ(music_channel, -1);
    EXPECT_EQ(fake_sound_open_streams(), 0);
    fake_sound_set_time(777);
    update_music_clock();
    EXPECT_EQ(music_clock, 0.0f);

    // Held Down from there: nothing until the index is back at slot 4.
    for (int i = 0; i < 35; ++i) previous_track();
    EXPECT_EQ(track_index, 5);
    EXPECT_EQ(fake_sound_calls("stream_open").size(), 6u);
    previous_track();  // slot 5 is empty
    EXPECT_EQ(music_stream, nullptr);
    previous_track();  // slot 4
    EXPECT_EQ(track_index, 3);
    EXPECT_EQ(fake_sound_calls("stream_open").size(), 7u);
    EXPECT_EQ(last_open_checksum(), sum2());
    update_music_clock();
    EXPECT_EQ(music_clock, 777.0f);

    // Below the table, and a window re-creation there, play nothing either.
    track_index = -3;
    next_track();
    EXPECT_EQ(track_index, -2);
    EXPECT_EQ(music_stream, nullptr);
    start_music();
    EXPECT_EQ(music_stream, nullptr);
    EXPECT_EQ(fake_sound_calls("stream_open").size(), 7u);

    // The index wraps instead of overflowing.
    track_index = INT_MAX;
    next_track();
    EXPECT_EQ(track_index, INT_MIN);
    EXPECT_EQ(music_stream, nullptr);
}

TEST_F(MusicTest, FilesThatCannotBeReadOrOpenedPlayNothing) {
    fs::remove(dir / "data/music/track.mp3");
    start_music();
    EXPECT_TRUE(fake_sound_calls("stream_open").empty());
    EXPECT_TRUE(fake_sound_calls("play_ex").empty());
    EXPECT_EQ(music_stream, nullptr);
    EXPECT_EQ(music_channel, -1);

    write_file(dir / "data/music/track.mp3", {});
    next_track();  // an empty file
    EXPECT_TRUE(fake_sound_calls("stream_open").empty());
    EXPECT_EQ(music_stream, nullptr);

    fake_sound_fail_opens(true);
    next_track();  // slot 1: read, but the layer refuses it
    EXPECT_EQ(fake_sound_calls("stream_open").size(), 1u);
    EXPECT_TRUE(fake_sound_calls("play_ex").empty());
    EXPECT_EQ(music_stream, nullptr);
    EXPECT_EQ(music_channel, -1);

    fake_sound_fail_opens(false);
    next_track();
    EXPECT_NE(music_stream, nullptr);
    EXPECT_EQ(last_open_checksum(), sum2());
    EXPECT_EQ(track_index, 3);
}

TEST_F(MusicTest, SecondStartReplacesTheStreamWithoutClosingIt) {
    start_music();
    next_track();
    next_track();  // slot 1 plays, index 2
    fake_sound_reset();
    start_music();  // window re-creation
    auto calls = fake_sound_calls();
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls[0].op, "set_output");
    EXPECT_EQ(calls[1].op, "init");
    EXPECT_EQ(calls[2].op, "stream_open");
    EXPECT_EQ(calls[2].data_checksum, sum2());  // the slot at the index, not slot 0
    EXPECT_EQ(fake_sound_handle_number(music_stream), calls[2].result);
    EXPECT_EQ(track_index, 2);
}

TEST_F(MusicTest, SeekAddsTheDeltaToTheClockAndTruncatesTowardZero) {
    start_music();
    long long handle = fake_sound_handle_number(music_stream);
    fake_sound_set_time(250);
    update_music_clock();
    seek_music(-400.0f);
    seek_music(400.0f);
    seek_music(-250.75f);  // -0.75 truncates to 0, not -1
    seek_music(0.75f);
    music_clock = 3.0e9f;  // beyond any int: pinned, not undefined
    seek_music(400.0f);
    auto seeks = fake_sound_calls("set_time");
    ASSERT_EQ(seeks.size(), 5u);
    EXPECT_EQ(seeks[0].args, (std::vector<long long>{handle, -150}));
    EXPECT_EQ(seeks[1].args, (std::vector<long long>{handle, 650}));
    EXPECT_EQ(seeks[2].args[1], 0);
    EXPECT_EQ(seeks[3].args[1], 250);
    EXPECT_EQ(seeks[4].args[1], INT_MAX);
}

TEST_F(MusicTest, ClockIsTheStreamTimeConvertedToFloat) {
    update_music_clock();  // nothing plays yet
    EXPECT_EQ(music_clock, 0.0f);
    start_music();
    fake_sound_set_time(183456);
    update_music_clock();
    EXPECT_EQ(music_clock, 183456.0f);
    fake_sound_set_time(16777217);  // past float's exact integers: rounds to nearest
    update_music_clock();
    EXPECT_EQ(music_clock, 16777216.0f);
    auto reads = fake_sound_calls("get_time");
    ASSERT_EQ(reads.size(), 2u);
    EXPECT_EQ(reads[0].args[0], fake_sound_handle_number(music_stream));

    next_track();  // a new stream restarts from the fake's time of the new handle
    fake_sound_set_time(0);
    update_music_clock();
    EXPECT_EQ(music_clock, 0.0f);
}

}  // namespace
