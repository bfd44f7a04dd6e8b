// One run of the real `glow` binary for end-to-end tests: a private Xvfb, a scratch working
// directory with its own data/, audio through SDL's disk driver into a file, and helpers to
// answer the start box, type keys, take screenshots, read the audio and the process's memory.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/media.h"
#include "tests/support/x11_session.h"

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
    // Answers the start box and waits for the window with this title; 0 if it never came.
    unsigned long start(bool full_screen, const std::string& title = "glow of the snow");
    unsigned long wait_window(const std::string& title, std::chrono::milliseconds timeout =
                                                             std::chrono::milliseconds(15000));
    // Gives the window the keyboard, then presses keys as real input.
    void focus(unsigned long window);
    void tap(const std::string& key);
    void hold(const std::vector<std::string>& keys, std::chrono::milliseconds how_long);

    Picture screenshot(unsigned long window, const std::string& name = "");
    bool running() { return child_ && child_->running(); }
    int wait_exit(std::chrono::milliseconds timeout = std::chrono::milliseconds(10000));
    // Presses Escape until the program has ended; its exit status.
    int quit_with_escape(unsigned long window);
    long rss_kb();
    std::string output() const;  // what the program wrote to stdout and stderr

    // The audio written so far, interleaved 16-bit stereo at 44100 Hz.
    std::vector<int16_t> audio() const;
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
