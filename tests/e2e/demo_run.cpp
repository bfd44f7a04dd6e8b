// One run of the real glow binary under a private Xvfb, with its own data and audio file.
#include "tests/e2e/demo_run.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string glow_source_dir() { return GLOW_SOURCE_DIR; }

bool wait_until(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (done()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(50ms);
    }
}

long ms_since(std::chrono::steady_clock::time_point start) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - start)
                                 .count());
}

DemoRun::DemoRun(int screen_width, int screen_height) : xvfb_(screen_width, screen_height) {
    char pattern[] = "/tmp/glow-e2e-XXXXXX";
    if (!mkdtemp(pattern)) return;
    dir_ = pattern;
    std::error_code error;
    fs::copy(fs::path(GLOW_SOURCE_DIR) / "data", fs::path(dir_) / "data",
             fs::copy_options::recursive, error);
    if (error) dir_.clear();
}

DemoRun::~DemoRun() {
    child_.reset();  // kills the program's whole process group
    if (!dir_.empty()) {
        std::error_code error;
        fs::remove_all(dir_, error);
    }
}

void DemoRun::launch(const std::map<std::string, std::string>& env) {
    std::map<std::string, std::string> all = {
        {"DISPLAY", display()},
        {"SDL_AUDIODRIVER", "disk"},
        {"SDL_DISKAUDIOFILE", dir_ + "/audio.raw"},
        {"MESA_DEBUG", "1"},
    };
    for (auto& [name, value] : env) all[name] = value;
    if (command_.empty()) command_ = {GLOW_BINARY};
    child_ = std::make_unique<Child>(command_, dir_, all, dir_ + "/output.txt");
}

unsigned long DemoRun::open_window(bool full_screen) {
    if (!ok()) return 0;
    launch();
    unsigned long window = start(full_screen);
    if (window) focus(window);
    return window;
}

unsigned long DemoRun::start(bool full_screen, const std::string& title) {
    if (!x11::answer_box(display(), "Start FullScreen?", full_screen, kPatience)) return 0;
    return wait_window(title);
}

unsigned long DemoRun::wait_window(const std::string& title, std::chrono::milliseconds timeout,
                                   unsigned long other_than) {
    return x11::wait_for_window(display(), title, timeout, other_than);
}

void DemoRun::focus(unsigned long window) { x11::focus(display(), window); }

// The program reads the keyboard between frames, so a key must stay down across a frame to be
// seen, as a person's key press does; xdotool's own taps are often shorter than a frame.
void DemoRun::tap(const std::string& key) { hold({key}, std::chrono::milliseconds(150)); }

// Down, the wait and up in one xdotool run: starting a second program for the release can
// take seconds on a loaded machine, and the demo would see the keys held all that time.
void DemoRun::hold(const std::vector<std::string>& keys, std::chrono::milliseconds how_long) {
    std::vector<std::string> argv = {"xdotool", "keydown"};
    argv.insert(argv.end(), keys.begin(), keys.end());
    argv.insert(argv.end(), {"sleep", std::to_string(how_long.count() / 1000.0), "keyup"});
    argv.insert(argv.end(), keys.begin(), keys.end());
    run_command(argv, display());
}

void DemoRun::key_down(const std::vector<std::string>& keys) { x11::key(display(), "keydown", keys); }
void DemoRun::key_up(const std::vector<std::string>& keys) { x11::key(display(), "keyup", keys); }

// A loaded machine can make import fail now and then; it is tried again a few times.
Picture DemoRun::screenshot(unsigned long window, const std::string& name) {
    std::string path = dir_ + "/" + (name.empty() ? "shot" : name) + ".png";
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (x11::screenshot(display(), window, path)) {
            Picture shot = read_png(path);
            if (shot.ok()) return shot;
        }
        std::this_thread::sleep_for(100ms);
    }
    return Picture{};
}

Picture DemoRun::screenshot_when(unsigned long window, const std::string& name,
                                 const std::function<bool(const Picture&)>& ready,
                                 std::chrono::milliseconds timeout) {
    Picture shot;
    wait_until([&] { return (shot = screenshot(window, name)).ok() && ready(shot); }, timeout);
    return shot;
}

bool DemoRun::wait_new_frames(unsigned long window, int count,
                              std::chrono::milliseconds timeout) {
    Picture last = screenshot(window, "frames");
    int seen = 0;
    return wait_until(
        [&] {
            Picture now = screenshot(window, "frames");
            if (now.ok() && now.rgb != last.rgb) {
                ++seen;
                last = std::move(now);
            }
            return seen >= count;
        },
        timeout);
}

int DemoRun::wait_exit(std::chrono::milliseconds timeout) {
    return child_ ? child_->wait(timeout) : -1;
}

// Escape stays down until the program has seen it and ended, however long its frames take.
int DemoRun::quit_with_escape(unsigned long window) {
    focus(window);
    key_down({"Escape"});
    int code = wait_exit(kPatience);
    key_up({"Escape"});
    return code;
}

long DemoRun::rss_kb() {
    if (!child_) return -1;
    std::ifstream status("/proc/" + std::to_string(child_->pid()) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

std::string DemoRun::output() const {
    std::ifstream file(dir_ + "/output.txt");
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::vector<int16_t> DemoRun::audio() const { return read_samples(dir_ + "/audio.raw"); }

long DemoRun::audio_ms() const {
    std::error_code error;
    auto bytes = fs::file_size(dir_ + "/audio.raw", error);
    return error ? 0 : static_cast<long>(bytes / 4 * 1000 / 44100);
}

long DemoRun::track_position_ms(const std::vector<int16_t>& track) const {
    std::vector<int16_t> samples = audio();
    const long frames = 2205;  // 50 ms
    long total = static_cast<long>(samples.size() / 2);
    if (total < frames) return -1;
    long at = find_frames(track, samples, total - frames, frames);
    return at < 0 ? -1 : (at + frames) * 1000 / 44100;
}

const std::vector<int16_t>& reference_track(const std::string& name) {
    static std::map<std::string, std::vector<int16_t>> decoded;
    auto it = decoded.find(name);
    if (it == decoded.end())
        it = decoded.emplace(name, decode_mp3(std::string(GLOW_SOURCE_DIR) + "/data/music/" + name))
                 .first;
    return it->second;
}

bool scene_drawn(const Picture& p) { return mean_brightness(p, 60, 420) > 5.0; }

double mean_brightness(const Picture& p, int top, int bottom) {
    if (!p.ok() || bottom <= top) return 0.0;
    double sum = 0;
    for (int y = top; y < bottom; ++y)
        for (int x = 0; x < p.width; ++x) {
            const uint8_t* px = p.at(x, y);
            sum += px[0] + px[1] + px[2];
        }
    return sum / (3.0 * p.width * (bottom - top));
}
