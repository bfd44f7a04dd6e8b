// The sound layer, and the demo once, on a real PulseAudio daemon: a private one with a null
// sink, in a runtime folder of its own, recorded through the sink's monitor with parec. A late
// first callback, a suspended sink, a killed, a restarted and a stopped daemon: the clock never
// waits for the server, and the music is heard from the clock's position as soon as it plays.
#include "platform/sound/sound.h"

#include "tests/e2e/demo_run.h"
#include "tests/sound/sound_test_util.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace {

using Ms = std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;
const double kBufferMs = 1024 * 1000.0 / 44100;  // one SDL device buffer

// A private daemon: only the native protocol (anonymous) and a null sink named "glow", its
// state under the folder's own HOME and its clients' settings in the folder too, so that no
// setting of the system or the user is written, and no user's daemon is found or started.
class PulseDaemon {
public:
    explicit PulseDaemon(const std::string& dir) : dir_(dir) {
        mkdir((dir + "/run").c_str(), 0700);
        mkdir((dir + "/home").c_str(), 0700);
        std::ofstream(dir + "/client.conf") << "autospawn = no\n";
        std::ofstream(dir + "/cookie") << std::string(256, 'g');
        // For this process (SDL, pactl, parec) and the programs it starts.
        for (auto& [name, value] : client_env()) setenv(name.c_str(), value.c_str(), 1);
    }

    std::map<std::string, std::string> client_env() const {
        return {{"XDG_RUNTIME_DIR", dir_ + "/run"},
                {"PULSE_SERVER", "unix:" + dir_ + "/run/pulse/native"},
                {"PULSE_CLIENTCONFIG", dir_ + "/client.conf"},
                {"PULSE_COOKIE", dir_ + "/cookie"},
                {"SDL_AUDIODRIVER", "pulseaudio"}};
    }

    // Starts the daemon and waits until it answers; false when it never does. The sink can
    // start suspended, so that nothing plays before the test says so.
    bool start(bool sink_suspended = false) {
        std::ofstream(dir_ + "/daemon.pa")
            << "load-module module-native-protocol-unix auth-anonymous=1\n"
               "load-module module-null-sink sink_name=glow rate=44100 format=s16le channels=2\n"
               "set-default-sink glow\n"
            << (sink_suspended ? "suspend-sink glow 1\n" : "");
        // It ends with this process, even one killed for taking too long.
        daemon_ = std::make_unique<Child>(
            std::vector<std::string>{"setpriv", "--pdeathsig", "KILL", "pulseaudio", "-n",
                                     "-F", dir_ + "/daemon.pa",
                                     "--exit-idle-time=-1", "--daemonize=no",
                                     "--use-pid-file=no", "--log-target=stderr"},
            dir_, std::map<std::string, std::string>{{"HOME", dir_ + "/home"}},
            dir_ + "/daemon.log");
        auto deadline = Clock::now() + std::chrono::seconds(30);
        while (daemon_->running() && Clock::now() < deadline) {
            if (pactl({"info"})) return true;
            std::this_thread::sleep_for(Ms(50));
        }
        return false;
    }
    void kill() { daemon_->kill_group(); }
    void signal(int number) { ::kill(daemon_->pid(), number); }
    static bool pactl(const std::vector<std::string>& args) {
        std::vector<std::string> argv = {"pactl"};
        argv.insert(argv.end(), args.begin(), args.end());
        return run_command(argv, "") == 0;
    }
    std::string log() const {
        std::ifstream f(dir_ + "/daemon.log");
        return std::string(std::istreambuf_iterator<char>(f), {});
    }

private:
    std::string dir_;
    std::unique_ptr<Child> daemon_;
};

// parec of the null sink's monitor into a file. The sink plays silence while nothing else
// plays, so the file grows from the moment the recording runs (the first time after up to 2 s,
// the null sink's longest block, unless a stream asks for less).
struct Recording {
    explicit Recording(const std::string& file)
        : path(file),
          parec({"parec", "-v", "--device=glow.monitor", "--format=s16le", "--rate=44100",
                 "--channels=2", "--raw", "--latency-msec=10", file},
                "", {}, file + ".log") {}
    size_t frames_now() const {
        struct stat st;
        return stat(path.c_str(), &st) == 0 ? static_cast<size_t>(st.st_size) / 4 : 0;
    }
    bool connected() const {
        std::ifstream log(path + ".log");
        std::string text(std::istreambuf_iterator<char>(log), {});
        return text.find("Stream successfully created") != std::string::npos;
    }
    std::string path;
    Child parec;
};

// A stretch of the recording that is an exact copy of the reference: where it lies in each.
struct Stretch {
    size_t at, length, ref_at;
};

std::vector<Stretch> stretches(const Pcm& rec, const Pcm& ref) {
    std::vector<Stretch> out;
    const size_t probe = 256;
    size_t r = 0;
    while (r + probe <= frames(rec)) {
        if (silent(rec, r, r + 1)) {
            ++r;
            continue;
        }
        long q = find_frames(ref, rec, r, probe);
        if (q < 0) {
            r += probe / 4;
            continue;
        }
        size_t n = matching_frames(rec, r, ref, static_cast<size_t>(q));
        out.push_back({r, n, static_cast<size_t>(q)});
        r += n;
    }
    return out;
}

// One look at the sound layer and the recording, at t ms into the test.
struct Sample {
    double t;
    size_t recorded;  // frames in the recording's file
    int clock;        // the stream's time
};

class PulseTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir.path.empty());
        if (!daemon.start())
            GTEST_SKIP() << "PulseAudio cannot start here, so the sound layer was not tried on "
                            "a real sound server. Its log:\n"
                         << daemon.log();
    }
    void TearDown() override { sound_shutdown(); }

    double now() const {
        return std::chrono::duration<double, std::milli>(Clock::now() - epoch).count();
    }

    // Looks every 2 ms until done() or until limit_ms have passed; false on time-out.
    template <class Done>
    bool watch(SoundStream* s, const Recording* rec, double limit_ms, Done done) {
        double until = now() + limit_ms;
        while (now() < until) {
            size_t recorded = rec ? rec->frames_now() : 0;
            samples.push_back({now(), recorded, sound_stream_get_time(s)});
            if (done(samples.back())) return true;
            std::this_thread::sleep_for(Ms(2));
        }
        return false;
    }
    bool wait_recording(const Recording& rec) {
        return watch(nullptr, &rec, 30000, [](const Sample& x) { return x.recorded > 0; });
    }

    // The first sample after `since` at which the clock had moved: the music starts when the
    // device or the clock thread first takes it, a little after it was started.
    Sample started(double since) const {
        for (const Sample& x : samples)
            if (x.t >= since && x.clock > 0) return x;
        return {since, 0, 0};
    }

    // How far the clock ran ahead of real time since `from` (negative: behind), at most, over
    // the samples of [from_t, to_t). The clock thread keeps to real time whenever it gets the
    // processor; a loaded machine can hold single samples back, but not all of them.
    double clock_ahead(const Sample& from, double from_t, double to_t) const {
        double most = -1e9;
        for (const Sample& x : samples)
            if (x.t >= from_t && x.t < to_t)
                most = std::max(most, (x.clock - from.clock) - (x.t - from.t));
        return most;
    }

    struct Heard {
        double after_ms = -1;  // from `since` until music near the clock began to arrive
        double lag_ms = 1e9;   // the least of clock minus position heard, as it arrived
    };
    // When, after `since`, the recording began to bring music from within `near_ms` of the
    // clock (not what the server held from before a stall), and how far the clock was ahead
    // of it: the path through the server, least over the samples of the first `span_ms`.
    Heard heard(const Recording& rec, double since, double span_ms, double near_ms) const {
        Heard h;
        std::vector<Stretch> found = stretches(read_pcm(rec.path), ref);
        for (const Sample& x : samples) {
            if (x.t < since || x.recorded == 0) continue;
            size_t last = x.recorded - 1;
            auto in = std::find_if(found.begin(), found.end(), [&](const Stretch& s) {
                return s.at <= last && last < s.at + s.length;
            });
            if (in == found.end()) continue;
            double lag = x.clock - (in->ref_at + (last - in->at)) * 1000.0 / 44100;
            if (lag > near_ms) continue;
            if (h.after_ms < 0) h.after_ms = x.t - since;
            if (x.t - since > h.after_ms + span_ms) break;
            h.lag_ms = std::min(h.lag_ms, lag);
        }
        return h;
    }

    TempDir dir;
    PulseDaemon daemon{dir.path};
    Clock::time_point epoch = Clock::now();
    std::vector<Sample> samples;
    Pcm ref;
};

// A stall is not a loss, a loss is not for ever: the late first callback, a 3-second suspend,
// a killed daemon and its restart, with one stream playing through all of it, no new init.
TEST_F(PulseTest, LateStartSuspendKillAndRestart) {
    std::string mp3 = dir.path + "/tone.mp3";
    Tone tone;
    tone.seconds = 40;
    ASSERT_TRUE(make_tone_mp3(mp3, tone));
    ref = reference_decode(mp3, 44100);

    // The late start: the sink is suspended across the open, so the server takes the first
    // buffers and asks for no more until it is resumed 2 s later.
    auto first = std::make_unique<Recording>(dir.path + "/first.raw");
    ASSERT_TRUE(wait_recording(*first));
    ASSERT_TRUE(PulseDaemon::pactl({"suspend-sink", "glow", "1"}));
    ASSERT_EQ(sound_set_output(SOUND_OUTPUT_DEFAULT), 1);
    ASSERT_EQ(sound_init(44100, 32, 0), 1);
    // Opened by name, so the stream's data lives until TearDown ends the stream.
    SoundStream* s = sound_stream_open(mp3.c_str(), SOUND_MPEGACCURATE, 0, 0);
    ASSERT_NE(s, nullptr);
    ASSERT_GE(sound_stream_play_ex(SOUND_FREE, s, nullptr, 0), 0);
    double played = now();
    watch(s, first.get(), 2000, [](const Sample&) { return false; });
    EXPECT_NEAR(clock_ahead(started(played), played + 1800, played + 2000), 0, kBufferMs + 5)
        << "the clock did not follow the time while the server held the music up";
    EXPECT_EQ(sound_get_output(), SOUND_OUTPUT_DEFAULT) << "a late device was taken as lost";

    ASSERT_TRUE(PulseDaemon::pactl({"suspend-sink", "glow", "0"}));
    double resumed = now();
    size_t at_resume = first->frames_now();
    ASSERT_TRUE(watch(s, first.get(), 15000, [&](const Sample& x) {
        return x.recorded > at_resume + 44100 * 2;
    }));
    // Music held up 2 s and then played from where it stopped would lag the clock by those
    // 2 s; the path through the server is far shorter.
    const double near = 1000;
    Heard start = heard(*first, resumed, 500, near);
    Heard steady = heard(*first, now() - 600, 500, near);
    std::printf("late start: sound %.0f ms after the resume, clock ahead of it by %.1f ms, "
                "then %.1f ms\n", start.after_ms, start.lag_ms, steady.lag_ms);
    ASSERT_GE(start.after_ms, 0) << "no music at the clock's position after the resume";
    EXPECT_LE(start.after_ms, 500);
    EXPECT_GT(steady.lag_ms, -kBufferMs);
    EXPECT_NEAR(start.lag_ms, steady.lag_ms, kBufferMs + 5);

    // A 3-second suspend: the clock goes on, and after the resume the music is heard from
    // where the clock is, as far behind it as before.
    ASSERT_TRUE(PulseDaemon::pactl({"suspend-sink", "glow", "1"}));
    Sample suspended = {now(), 0, sound_stream_get_time(s)};
    watch(s, first.get(), 3000, [](const Sample&) { return false; });
    EXPECT_NEAR(clock_ahead(suspended, suspended.t + 2800, suspended.t + 3000), 0, kBufferMs + 5)
        << "the clock did not follow the time while the sink was suspended";
    ASSERT_TRUE(PulseDaemon::pactl({"suspend-sink", "glow", "0"}));
    resumed = now();
    at_resume = first->frames_now();
    ASSERT_TRUE(watch(s, first.get(), 15000, [&](const Sample& x) {
        return x.recorded > at_resume + 44100;
    }));
    Heard again = heard(*first, resumed, 500, near);
    std::printf("suspend: sound %.0f ms after the resume, clock ahead of it by %.1f ms\n",
                again.after_ms, again.lag_ms);
    ASSERT_GE(again.after_ms, 0) << "no music at the clock's position after the resume";
    EXPECT_LE(again.after_ms, 500);
    EXPECT_NEAR(again.lag_ms, steady.lag_ms, kBufferMs + 5);
    first.reset();

    // The daemon killed: the device is lost, and the clock keeps time on the silent output.
    Sample killed = {now(), 0, sound_stream_get_time(s)};
    daemon.kill();
    watch(s, nullptr, 1500, [](const Sample&) { return false; });
    EXPECT_NEAR(clock_ahead(killed, killed.t + 1300, killed.t + 1500), 0, kBufferMs + 5)
        << "the clock did not keep time without the server";
    EXPECT_EQ(sound_get_output(), SOUND_OUTPUT_NOSOUND);

    // The daemon back: the layer finds it by itself, and the music goes on from the clock as
    // soon as the sink plays. (It starts suspended until the recording runs, or the null
    // sink's first block, up to 2 s of silence, would be what the test measured.)
    ASSERT_TRUE(daemon.start(true)) << daemon.log();
    auto second = std::make_unique<Recording>(dir.path + "/second.raw");
    ASSERT_TRUE(watch(s, nullptr, 30000, [&](const Sample&) { return second->connected(); }));
    ASSERT_TRUE(PulseDaemon::pactl({"suspend-sink", "glow", "0"}));
    double back_at = now();
    ASSERT_TRUE(watch(s, second.get(), 15000, [&](const Sample& x) {
        return sound_get_output() == SOUND_OUTPUT_DEFAULT && x.recorded > 44100;
    }));
    Heard back = heard(*second, back_at, 500, near);
    std::printf("restart: sound %.0f ms after the daemon played, clock ahead of it by %.1f ms\n",
                back.after_ms, back.lag_ms);
    ASSERT_GE(back.after_ms, 0) << "no music at the clock's position after the restart";
    EXPECT_LE(back.after_ms, 2000);
    EXPECT_NEAR(back.lag_ms, steady.lag_ms, kBufferMs + 5);
}

// A server that stops answering (stopped with SIGSTOP) while the layer opens the device holds up
// nothing: sound_init returns within 2 s on the silent output, the clock runs, and once the
// server answers again the device opens by itself and the music comes from the clock's place.
TEST_F(PulseTest, AServerThatDoesNotAnswerHoldsUpNothing) {
    ref = reference_track("track.mp3");
    Recording rec(dir.path + "/rec.raw");
    ASSERT_TRUE(wait_recording(rec));
    daemon.signal(SIGSTOP);
    double asked = now();
    ASSERT_EQ(sound_set_output(SOUND_OUTPUT_DEFAULT), 1);
    ASSERT_EQ(sound_init(44100, 32, 0), 1);
    EXPECT_LE(now() - asked, 2000);
    EXPECT_EQ(sound_get_output(), SOUND_OUTPUT_NOSOUND);
    SoundStream* s = sound_stream_open((glow_source_dir() + "/data/music/track.mp3").c_str(),
                                       SOUND_MPEGACCURATE, 0, 0);
    ASSERT_GE(sound_stream_play_ex(SOUND_FREE, s, nullptr, 0), 0);
    double played = now();
    watch(s, &rec, 1000, [](const Sample&) { return false; });
    EXPECT_NEAR(clock_ahead(started(played), played + 800, played + 1000), 0, kBufferMs + 5);

    daemon.signal(SIGCONT);
    double answered = now();
    ASSERT_TRUE(watch(s, &rec, 15000, [&](const Sample&) {
        return heard(rec, answered, 0, 1000).after_ms >= 0;
    })) << "no music at the clock's position once the server answered";
    std::printf("stopped server: sound %.0f ms after it went on\n", now() - answered);
    EXPECT_EQ(sound_get_output(), SOUND_OUTPUT_DEFAULT);
}

// The demo itself on the daemon: the track is heard, and Escape ends it with 0, even while the
// sink is suspended.
TEST_F(PulseTest, TheDemoPlaysOnTheServerAndEscapeEndsIt) {
    DemoRun run(640, 480);
    ASSERT_TRUE(run.ok());
    // The demo starts on an idle null sink, which plays in blocks of up to 2 s until a stream
    // asks for less: the server takes the first buffers and asks for the next ones late.
    run.launch(daemon.client_env());
    unsigned long window = run.start(false);
    ASSERT_NE(window, 0u) << run.output();
    Recording rec(dir.path + "/demo.raw");
    ref = reference_track("track.mp3");
    size_t music = 0;
    auto deadline = Clock::now() + std::chrono::seconds(30);
    while (music < 44100 && Clock::now() < deadline && run.running()) {
        std::this_thread::sleep_for(Ms(200));
        music = 0;
        for (const Stretch& s : stretches(read_pcm(rec.path), ref)) music += s.length;
    }
    EXPECT_GE(music, 44100u) << "the demo was silent on the server\n" << run.output();
    // A device whose server holds it up (here a suspended sink) cannot be closed until the
    // server lets it go; quitting does not wait for that.
    ASSERT_TRUE(PulseDaemon::pactl({"suspend-sink", "glow", "1"}));
    EXPECT_EQ(run.quit_with_escape(window), 0);
}

}  // namespace
