// One run of the real `glow` binary for end-to-end tests: a private Xvfb, a scratch working
// directory with its own data/, audio through SDL's disk driver into a file, and helpers to
// answer the start box, type keys, take screenshots, read the audio and the process's memory.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/media.h"
#include "tests/support/x11_session.h"

// How long a test waits for something that must happen (a window, a frame, a key's effect)
// before it calls it a failure: generous, because a loaded machine is slow, and it costs
// nothing when things go well, as every wait ends as soon as its condition holds.
constexpr std::chrono::milliseconds kPatience{60000};

// Polls `done` until it returns true or the time-out passes; its last answer.
bool wait_until(const std::function<bool()>& done, std::chrono::milliseconds timeout = kPatience);

// Milliseconds since `start`, for bounds that a test measures itself.
long ms_since(std::chrono::steady_clock::time_point start);

class DemoRun {
public:
    // Starts an X server of the given size and prepares a scratch directory whose data/ is a
    // copy of the shipped one.
    DemoRun(int screen_width, int screen_height);
    ~DemoRun();

    // The program launch() starts: glow by default (the Windows tests run glow.exe under Wine).
    void set_command(std::vector<std::string> command) { command_ = std::move(command); }

    const std::string& display() const { return xvfb_.display(); }
    const std::string& dir() const { return dir_; }
    bool ok() const { return xvfb_.ok() && !dir_.empty(); }

    // Starts glow in the scratch directory. Extra variables override the defaults (DISPLAY,
    // the disk audio driver writing to audio.raw, Mesa reporting GL errors on stderr).
    void launch(const std::map<std::string, std::string>& env = {});
    // Launches glow with the default environment, answers the start box and gives the window
    // the keyboard: the window, or 0 if it never came.
    unsigned long open_window(bool full_screen = false);
    // Answers the start box and waits for the window with this title; 0 if it never came.
    unsigned long start(bool full_screen, const std::string& title = "glow of the snow");
    unsigned long wait_window(const std::string& title,
                              std::chrono::milliseconds timeout = kPatience,
                              unsigned long other_than = 0);
    // Gives the window the keyboard, then presses keys as real input.
    void focus(unsigned long window);
    void tap(const std::string& key);
    void hold(const std::vector<std::string>& keys, std::chrono::milliseconds how_long);
    // Keys held down until released: the demo acts on them in every frame in between.
    void key_down(const std::vector<std::string>& keys);
    void key_up(const std::vector<std::string>& keys);

    Picture screenshot(unsigned long window, const std::string& name = "");
    // Takes screenshots until one is taken and satisfies `ready` (a frame drawn, a key's effect
    // shown) or the time-out passes; the last one taken either way.
    Picture screenshot_when(unsigned long window, const std::string& name,
                            const std::function<bool(const Picture&)>& ready,
                            std::chrono::milliseconds timeout = kPatience);
    // Waits until the window has shown `count` new pictures, each unlike the one before (the
    // scroller moves with the music in every frame): so that many frames have been drawn
    // since the call, and the demo has read what the keyboard did before it.
    bool wait_new_frames(unsigned long window, int count, std::chrono::milliseconds timeout =
                                                              kPatience);
    bool running() { return child_ && child_->running(); }
    int wait_exit(std::chrono::milliseconds timeout = kPatience);
    // Presses Escape until the program has ended; its exit status.
    int quit_with_escape(unsigned long window);
    long rss_kb();
    std::string output() const;  // what the program wrote to stdout and stderr

    // The audio written so far, interleaved 16-bit stereo at 44100 Hz, and its length in ms.
    std::vector<int16_t> audio() const;
    long audio_ms() const;
    // Where in `track` (a reference decode) the latest audio lies, in ms; -1 when the last
    // 50 ms of output are found nowhere in it (silence, or another track).
    long track_position_ms(const std::vector<int16_t>& track) const;

private:
    Xvfb xvfb_;
    std::string dir_;
    std::unique_ptr<Child> child_;
    std::vector<std::string> command_;
};

// Reference decodes of the shipped tracks, made once per process.
const std::vector<int16_t>& reference_track(const std::string& name);

std::string glow_source_dir();

// The mean brightness (0-255, all channels) of rows [top, bottom) of a picture.
double mean_brightness(const Picture& p, int top, int bottom);
// Whether a screenshot shows a drawn frame: the scene between the bars is lit (the window's
// first contents, before any frame, are black).
bool scene_drawn(const Picture& p);
