// Test helpers for real windows: a private Xvfb server, child processes in their own process
// group, and a few X11 queries and requests (find a window by title, its geometry and state,
// a window manager's close request) plus keys through xdotool.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

// A private X server; picks a free display number with -displayfd. Killed on destruction.
class Xvfb {
public:
    Xvfb(int width, int height);
    ~Xvfb();
    Xvfb(const Xvfb&) = delete;
    Xvfb& operator=(const Xvfb&) = delete;
    bool ok() const { return !display_.empty(); }
    const std::string& display() const { return display_; }  // e.g. ":3"

private:
    pid_t pid_ = -1;
    std::string display_;
};

// A child process in a process group of its own, with its output in files.
class Child {
public:
    // Starts argv[0] (searched in PATH) in `dir` with extra environment variables.
    Child(const std::vector<std::string>& argv, const std::string& dir,
          const std::map<std::string, std::string>& env, const std::string& output_path);
    ~Child();  // kills the whole group if it still runs
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    pid_t pid() const { return pid_; }
    bool running();
    // Waits for the exit; returns the exit status, 128 + signal, or -1 on time-out.
    int wait(std::chrono::milliseconds timeout);
    void kill_group();

private:
    pid_t pid_ = -1;
    int status_ = -1;
    bool reaped_ = false;
};

// Runs a command to completion (with DISPLAY set) and returns its exit status.
int run_command(const std::vector<std::string>& argv, const std::string& display);

namespace x11 {

struct Geometry {
    int x = 0, y = 0, width = 0, height = 0;
};

// The first top-level window whose title is exactly `title` (and that is not `other_than`),
// or 0 after the time-out.
unsigned long wait_for_window(const std::string& display, const std::string& title,
                              std::chrono::milliseconds timeout, unsigned long other_than = 0);
// Whether a window with this title exists right now.
bool window_exists(const std::string& display, const std::string& title);
Geometry geometry(const std::string& display, unsigned long window);
// Whether the window asks to be full screen (_NET_WM_STATE_FULLSCREEN).
bool wants_fullscreen(const std::string& display, unsigned long window);
// Whether the X server's screen saver is running now (the screen-saver extension's state).
bool screen_saver_on(const std::string& display);
// Sends the window manager's close request (WM_DELETE_WINDOW).
bool request_close(const std::string& display, unsigned long window);
// Moves the pointer into the window and gives it the keyboard focus, so that xdotool's
// keys (sent as real input) reach it.
bool focus(const std::string& display, unsigned long window);
// xdotool key / keydown / keyup with the given key names, as real input.
bool key(const std::string& display, const std::string& action,
         const std::vector<std::string>& keys);
// Answers a message box: Return takes the default button (Yes/OK), Escape the other (No);
// the key is sent again while the box stays up. Whether the box went away.
bool answer_box(const std::string& display, const std::string& title, bool yes,
                std::chrono::milliseconds timeout);
// The same with any key (Wine's Yes/No boxes take N for No, and ignore Escape).
bool press_in_box(const std::string& display, const std::string& title, const std::string& key,
                  std::chrono::milliseconds timeout);
// Takes a screenshot of the window with ImageMagick's import.
bool screenshot(const std::string& display, unsigned long window, const std::string& png_path);

}  // namespace x11
