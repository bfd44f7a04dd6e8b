// glow-capture as a user runs it: short captures read back with libavformat and compared with
// the offscreen renderer's own frames and a reference decode of the track; options, Ctrl-C and
// errors with their exit statuses.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "demo/demo.h"
#include "tests/capture/media_file.h"
#include "tests/demo/demo_fixture.h"
#include "tests/support/media.h"
#include "tests/support/x11_session.h"

namespace {

using std::chrono::milliseconds;

bool exists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

std::string read_text(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A scratch folder for outputs and a way to run the capture on the shipped data/.
class Capture : public DemoGL {
protected:
    void SetUp() override {
        DemoGL::SetUp();
        char dir[] = "/tmp/glow-capture-test-XXXXXX";
        ASSERT_TRUE(mkdtemp(dir));
        dir_ = dir;
    }
    void TearDown() override {
        std::string command = "rm -rf '" + dir_ + "'";
        EXPECT_EQ(system(command.c_str()), 0);
        DemoGL::TearDown();
    }
    // Runs glow-capture with these arguments in `cwd`; its exit status, its output in *output.
    int run(const std::vector<std::string>& args, std::string* output = nullptr,
            const std::string& cwd = GLOW_SOURCE_DIR,
            const std::map<std::string, std::string>& env = {}) {
        std::vector<std::string> argv = {GLOW_CAPTURE};
        argv.insert(argv.end(), args.begin(), args.end());
        Child child(argv, cwd, env, dir_ + "/output.txt");
        int status = child.wait(milliseconds(120000));
        if (output) *output = read_text(dir_ + "/output.txt");
        return status;
    }
    // The frame the offscreen renderer draws for a music clock, as RGB, top row first.
    std::vector<uint8_t> reference_frame(int clock_ms) {
        if (!started_) demo_init();
        started_ = true;
        set_clock(clock_ms);
        demo_frame();
        std::vector<uint8_t> rgb = rgb_of(pixels()), flipped(rgb.size());
        const size_t row = 640 * 3;
        for (int y = 0; y < 480; ++y) std::copy_n(&rgb[(479 - y) * row], row, &flipped[y * row]);
        return flipped;
    }

    std::string dir_;
    bool started_ = false;
};

const std::vector<int16_t>& track(const char* name) {
    static std::map<std::string, std::vector<int16_t>> decoded;
    auto& samples = decoded[name];
    if (samples.empty()) samples = decode_mp3(std::string(GLOW_SOURCE_DIR) + "/data/music/" + name);
    return samples;
}

TEST_F(Capture, Mp4HoldsTheFramesAndTheSoundOfItsClock) {
    // 121 frames: 2016.67 ms, no whole number of milliseconds.
    std::string out = dir_ + "/two.mp4";
    ASSERT_EQ(run({"--quiet", "--seconds", "2.0167", out}), 0);
    MediaFile m = read_media(out, 90);
    ASSERT_TRUE(m.ok);
    EXPECT_EQ(m.frames, 121);
    EXPECT_EQ(m.width, 640);
    EXPECT_EQ(m.height, 480);
    EXPECT_DOUBLE_EQ(m.fps, 60.0);
    EXPECT_EQ(m.sample_rate, 44100);
    EXPECT_EQ(m.channels, 2);
    // The sound as long as the picture, to the sample; the decoder adds the padding of AAC's
    // last block.
    EXPECT_EQ(m.audio_frames, 121 * 735);
    EXPECT_GE(m.samples.size(), 2u * 121 * 735);
    EXPECT_LT(m.samples.size(), 2u * (121 * 735 + 1024));
    EXPECT_FALSE(exists(out + ".part"));

    // Frame 90 shows clock 1500, within what H.264 loses.
    EXPECT_GT(psnr(m.kept_frame, reference_frame(1500)), 35.0);

    // The sound is the track from its first sample: AAC keeps its shape and loses no time.
    const auto& reference = track("track.mp3");
    double correlation = 0;
    EXPECT_EQ(best_lag(reference, m.samples, 22050, 44100, 300, &correlation), 0);
    EXPECT_GT(correlation, 0.98);

    // --scale 2 in lossless H.264: frame 3 at 20 fps from 1350 shows clock 1500, pixels
    // doubled; a line says that few players play lossless H.264.
    std::string output;
    ASSERT_EQ(run({"--quiet", "--scale", "2", "--crf", "0", "--fps", "20", "--from", "1350",
                   "--seconds", "0.2", out},
                  &output),
              0);
    EXPECT_NE(output.find("High 4:4:4 Predictive"), std::string::npos) << output;
    m = read_media(out, 3);
    ASSERT_EQ(m.width, 1280);
    ASSERT_EQ(m.height, 960);
    std::vector<uint8_t> small(640 * 480 * 3);
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x)
            std::copy_n(&m.kept_frame[((2 * y) * 1280 + 2 * x) * 3], 3, &small[(y * 640 + x) * 3]);
    EXPECT_GT(psnr(small, reference_frame(1500)), 35.0);
}

TEST_F(Capture, RawFramesWavAndPngFramesAreExact) {
    // --track, --from and --seconds: the WAV beside the Y4M is the second track's mix from
    // 1000 ms on, sample for sample (within the decoders' 1 LSB).
    std::string y4m = dir_ + "/part.y4m";
    ASSERT_EQ(
        run({"--quiet", "--track=1", "--from", "1000", "--seconds", "0.5", "--fps", "30", y4m}), 0);
    MediaFile video = read_media(y4m), sound = read_media(dir_ + "/part.wav");
    EXPECT_EQ(video.frames, 15);
    EXPECT_DOUBLE_EQ(video.fps, 30.0);
    ASSERT_EQ(sound.samples.size(), 2u * 22050);
    const auto& reference = track("track2.mp3");
    ASSERT_GE(reference.size(), 2u * (44100 + 22050));
    size_t off_by_more = 0;
    for (size_t i = 0; i < sound.samples.size(); ++i)
        off_by_more += std::abs(sound.samples[i] - reference[2 * 44100 + i]) > 1;
    EXPECT_EQ(off_by_more, 0u);

    // --scale 2 in PNG frames: frame 1 at 20 fps from 1450 shows clock 1500, each pixel a 2x2
    // block of the renderer's own.
    std::string frames = dir_ + "/frames/";
    ASSERT_EQ(run({"--quiet", "--scale", "2", "--from", "1450", "--seconds", "0.1", "--fps", "20",
                   frames}),
              0);
    EXPECT_TRUE(exists(frames + "000001.png"));
    EXPECT_FALSE(exists(frames + "000002.png"));
    Picture p = read_png(frames + "000001.png");
    ASSERT_EQ(p.width, 1280);
    ASSERT_EQ(p.height, 960);
    std::vector<uint8_t> expected = reference_frame(1500);
    size_t wrong = 0;
    for (int y = 0; y < 960; ++y)
        for (int x = 0; x < 1280; ++x)
            wrong +=
                !std::equal(p.at(x, y), p.at(x, y) + 3, &expected[((y / 2) * 640 + x / 2) * 3]);
    EXPECT_EQ(wrong, 0u);
}

TEST_F(Capture, CtrlCFinishesAPlayableFileOfTheFramesMade) {
    std::string out = dir_ + "/long.mkv";
    Child child({GLOW_CAPTURE, "--seconds", "60", out}, GLOW_SOURCE_DIR, {}, dir_ + "/output.txt");
    // The output is opened once the renderers run; Ctrl-C comes once encoded frames have
    // made it grow, however long that takes on a busy machine.
    auto size_of = [&] {
        std::error_code error;
        auto size = std::filesystem::file_size(out + ".part", error);
        return error ? -1L : static_cast<long>(size);
    };
    auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (size_of() < 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(milliseconds(20));
    const long opened = size_of();
    ASSERT_GE(opened, 0);
    while (size_of() <= opened && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(milliseconds(20));
    ASSERT_GT(size_of(), opened) << "no frames were written in two minutes";
    kill(child.pid(), SIGINT);
    EXPECT_EQ(child.wait(std::chrono::minutes(2)), 128 + SIGINT);
    EXPECT_FALSE(exists(out + ".part"));
    MediaFile m = read_media(out);
    ASSERT_TRUE(m.ok);
    EXPECT_GT(m.frames, 0);
    EXPECT_LT(m.frames, 3600);
    // Sound for the frames made, decoded with AAC's 1024 leading samples (Matroska skips them
    // by timestamp) and at most a block of padding at the end.
    const double made = m.frames * 735.0 + 1024;
    EXPECT_GE(m.samples.size() / 2, made);
    EXPECT_LT(m.samples.size() / 2, made + 1024);
    EXPECT_NE(read_text(dir_ + "/output.txt").find("stopped after"), std::string::npos);
}

TEST_F(Capture, BadOptionsAndPathsGiveOneLineAndTheirStatus) {
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* says;
    };
    const std::string out = dir_ + "/x.mp4";
    const Case cases[] = {
        {{"--frobnicate", out}, 2, "unknown option --frobnicate"},
        {{"--scale", "5", out}, 2, "--scale"},
        {{"--fps", "0", out}, 2, "--fps"},
        {{"--seconds", "-1", out}, 2, "--seconds"},
        {{"--track", "9", out}, 2, "--track"},
        {{dir_ + "/x.avi"}, 2, ".mp4"},
        {{}, 2, "no output"},
        {{"--from", "99999999", out}, 2, "86400000 (24 h)"},
        {{"--quiet", "--seconds", "1", dir_ + "/no/such/folder/x.mp4"}, 1, "cannot write"},
    };
    for (const Case& c : cases) {
        std::string output;
        EXPECT_EQ(run(c.args, &output), c.status) << c.args[0];
        EXPECT_NE(output.find(c.says), std::string::npos) << output;
        EXPECT_EQ(output.rfind("glow-capture: ", 0), 0u) << output;
        EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1) << output;
    }
    // Run where EGL finds no renderer.
    std::string output;
    EXPECT_EQ(run({out}, &output, GLOW_SOURCE_DIR,
                  {{"__EGL_VENDOR_LIBRARY_FILENAMES", dir_ + "/none.json"}}),
              1);
    EXPECT_NE(output.find("no offscreen OpenGL"), std::string::npos) << output;
    EXPECT_FALSE(exists(out));
    EXPECT_FALSE(exists(out + ".part"));
}

// A failure on the way leaves nothing under OUT's names: a .wav that cannot take its name (a
// folder has it) after the .y4m is complete, and memory that runs out for the picture, at the
// start of a video or at the first of the PNG frames.
TEST_F(Capture, FailedOutputsLeaveNothingUnderTheirNames) {
    ASSERT_EQ(mkdir((dir_ + "/x.wav").c_str(), 0755), 0);
    const std::map<std::string, std::string> little_memory = {
        {"GLOW_CAPTURE_MAX_ALLOC", "4000000"}};
    struct Case {
        std::vector<std::string> args;
        std::map<std::string, std::string> env;
        const char* says;
        std::vector<std::string> left_out;
    } cases[] = {
        {{"x.y4m"}, {}, "cannot rename", {"x.y4m", "x.y4m.part", "x.wav.part"}},
        {{"--scale", "4", "x.mp4"}, little_memory, "out of memory", {"x.mp4", "x.mp4.part"}},
        {{"--size", "1280x960", "frames/"},
         little_memory,
         "out of memory",
         {"frames/000000.png", "frames/000000.png.part"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"--quiet", "--seconds", "0.1"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        args.back() = dir_ + "/" + args.back();
        std::string output;
        EXPECT_EQ(run(args, &output, GLOW_SOURCE_DIR, c.env), 1) << c.args.back();
        EXPECT_NE(output.find(c.says), std::string::npos) << output;
        EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1) << output;
        for (const std::string& name : c.left_out) EXPECT_FALSE(exists(dir_ + "/" + name)) << name;
    }
}

// --seconds past the end of the track: frames and sound to the end, not beyond, and the
// closing line says why it is shorter.
TEST_F(Capture, ACaptureStopsAtTheEndOfTheTrack) {
    const int length_ms = static_cast<int>(track("track.mp3").size() / 2 * 1000 / 44100);
    const std::string from = std::to_string(length_ms - 490);  // 9.8 frames at 20 fps
    std::string output;
    ASSERT_EQ(run({"--quiet", "--fps", "20", "--from", from, "--seconds", "5", dir_ + "/end.y4m"},
                  &output),
              0);
    EXPECT_EQ(read_media(dir_ + "/end.y4m").frames, 10);
    EXPECT_EQ(read_media(dir_ + "/end.wav").samples.size(), 2u * 10 * 2205);
    EXPECT_NE(output.find("end of the track (" + std::to_string(length_ms) + " ms)"),
              std::string::npos)
        << output;
}

// An animated WebP's canvas and frames, read from its chunks (FFmpeg reads still WebP pictures
// only), with the first frame made into a still picture of its own.
struct AnimatedWebp {
    int width = 0, height = 0;
    std::vector<int> durations_ms;
    std::string first_frame;  // a still WebP file
};

AnimatedWebp read_animated_webp(const std::string& path) {
    const std::string d = read_text(path);
    auto number = [&](size_t at, int bytes) {
        uint32_t n = 0;
        for (int i = bytes - 1; i >= 0; --i) n = n << 8 | static_cast<uint8_t>(d[at + i]);
        return n;
    };
    auto le32 = [](uint32_t n) {
        return std::string{char(n), char(n >> 8), char(n >> 16), char(n >> 24)};
    };
    AnimatedWebp webp;
    for (size_t at = 12, size = 0; at + 8 <= d.size(); at += 8 + size + (size & 1)) {
        size = number(at + 4, 4);
        const std::string tag = d.substr(at, 4);
        if (tag == "VP8X") {
            webp.width = 1 + number(at + 12, 3);
            webp.height = 1 + number(at + 15, 3);
        } else if (tag == "ANMF") {
            // After 16 bytes of position, size, duration and flags, the frame's own chunks.
            webp.durations_ms.push_back(static_cast<int>(number(at + 20, 3)));
            if (webp.first_frame.empty()) {
                const std::string chunks = d.substr(at + 24, size - 16);
                webp.first_frame = "RIFF" + le32(4 + chunks.size()) + "WEBP" + chunks;
            }
        }
    }
    return webp;
}

// What `make preview` makes: an animated WebP at --size, area-averaged from the demo's frames.
TEST_F(Capture, WebpPreviewAtItsSize) {
    const std::string out = dir_ + "/preview.webp";
    ASSERT_EQ(run({"--quiet", "--size", "320x240", "--fps", "30", "--from", "1400", "--seconds",
                   "0.2", out}),
              0);
    AnimatedWebp webp = read_animated_webp(out);
    EXPECT_EQ(webp.width, 320);
    EXPECT_EQ(webp.height, 240);
    ASSERT_EQ(webp.durations_ms.size(), 6u);
    for (int ms : webp.durations_ms) EXPECT_NEAR(ms, 1000.0 / 30, 1.0);

    // The first frame is clock 1400 halved (each pixel the mean of a 2x2 block), within what
    // the lossy encoding loses.
    std::ofstream(dir_ + "/first.webp", std::ios::binary) << webp.first_frame;
    MediaFile first = read_media(dir_ + "/first.webp", 0);
    ASSERT_EQ(first.width, 320);
    ASSERT_EQ(first.height, 240);
    std::vector<uint8_t> full = reference_frame(1400), half(320 * 240 * 3);
    for (size_t i = 0; i < half.size(); ++i) {
        const size_t x = i / 3 % 320, y = i / 3 / 320, c = i % 3;
        const size_t top = ((2 * y) * 640 + 2 * x) * 3 + c, below = top + 640 * 3;
        half[i] = static_cast<uint8_t>(
            (full[top] + full[top + 3] + full[below] + full[below + 3] + 2) / 4);
    }
    EXPECT_GT(psnr(first.kept_frame, half), 30.0);
}

// Started from another folder, glow-capture finds the checkout's data/ beside its build folder
// and writes a relative OUT where it was started; a copy of it where no data/ is near says
// where it looked.
TEST_F(Capture, DataIsFoundFromAnotherFolder) {
    std::string output;
    ASSERT_EQ(run({"--quiet", "--seconds", "0.05", "here.mkv"}, &output, dir_), 0) << output;
    EXPECT_EQ(read_media(dir_ + "/here.mkv").frames, 3);

    const std::string lone = dir_ + "/lone", bin = lone + "/bin";
    ASSERT_EQ(system(("mkdir -p '" + bin + "' && cp '" GLOW_CAPTURE "' '" + bin + "/'").c_str()),
              0);
    Child child({bin + "/glow-capture", "x.mp4"}, dir_, {}, dir_ + "/output.txt");
    EXPECT_EQ(child.wait(milliseconds(120000)), 1);
    output = read_text(dir_ + "/output.txt");
    EXPECT_NE(output.find("no data/ folder in " + dir_ + ", " + bin + " or " + lone + "\n"),
              std::string::npos)
        << output;
    EXPECT_FALSE(exists(dir_ + "/x.mp4"));
}

}  // namespace
