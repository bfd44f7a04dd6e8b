// A private Xvfb server, child processes in their own process group, and X11 window queries.
#include "tests/support/x11_session.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/scrnsaver.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

void exec_child(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
}

int status_code(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

// Xlib reports errors by calling a handler that exits by default; a test asking about a
// window that has just gone away must get an answer, not an exit.
int ignore_x_error(Display*, XErrorEvent*) { return 0; }

struct Connection {
    Display* display;
    explicit Connection(const std::string& name) : display(XOpenDisplay(name.c_str())) {
        XSetErrorHandler(ignore_x_error);
    }
    ~Connection() {
        if (display) XCloseDisplay(display);
    }
};

// The window's title as its raw bytes, whatever the encoding it was stored in (XFetchName
// only reads Latin-1 titles; SDL stores UTF-8 ones).
std::string title_of(Display* d, Window w) {
    XTextProperty property;
    if (!XGetWMName(d, w, &property) || !property.value) return "";
    std::string title(reinterpret_cast<char*>(property.value), property.nitems);
    XFree(property.value);
    return title;
}

unsigned long find_titled(Display* d, Window w, const std::string& title) {
    if (title_of(d, w) == title) return w;
    Window root, parent, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(d, w, &root, &parent, &children, &count)) return 0;
    unsigned long found = 0;
    for (unsigned int i = 0; i < count && !found; ++i) found = find_titled(d, children[i], title);
    if (children) XFree(children);
    return found;
}

}  // namespace

Xvfb::Xvfb(int width, int height) {
    int fds[2];
    if (pipe(fds) != 0) return;
    std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    pid_ = fork();
    if (pid_ == 0) {
        setpgid(0, 0);
        close(fds[0]);
        int devnull = open("/dev/null", O_RDWR);
        dup2(devnull, 0);
        dup2(devnull, 1);
        dup2(devnull, 2);
        // -r: no auto-repeat, so a key held down by a test stays one press however long it is
        // held (the demo polls its key table; a repeated F1 would re-create the window again).
        exec_child({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", screen,
                    "-nolisten", "tcp", "-noreset", "-r"});
    }
    close(fds[1]);
    std::string number;
    pollfd p = {fds[0], POLLIN, 0};
    auto deadline = Clock::now() + std::chrono::seconds(60);  // a loaded machine starts slowly
    while (Clock::now() < deadline) {
        if (poll(&p, 1, 100) <= 0) continue;
        char c;
        ssize_t n = read(fds[0], &c, 1);
        if (n <= 0 || c == '\n') break;
        number += c;
    }
    close(fds[0]);
    if (!number.empty()) display_ = ":" + number;
}

Xvfb::~Xvfb() {
    if (pid_ > 0) {
        kill(-pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

Child::Child(const std::vector<std::string>& argv, const std::string& dir,
             const std::map<std::string, std::string>& env, const std::string& output_path) {
    pid_ = fork();
    if (pid_ == 0) {
        setpgid(0, 0);
        if (!dir.empty() && chdir(dir.c_str()) != 0) _exit(126);
        for (auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
        int out = open(output_path.empty() ? "/dev/null" : output_path.c_str(),
                       O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, 1);
        dup2(out, 2);
        int devnull = open("/dev/null", O_RDONLY);
        dup2(devnull, 0);
        exec_child(argv);
    }
    if (pid_ > 0) setpgid(pid_, pid_);
}

Child::~Child() { kill_group(); }

bool Child::running() {
    if (reaped_ || pid_ <= 0) return false;
    int status;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
        reaped_ = true;
        status_ = status_code(status);
        return false;
    }
    return true;
}

int Child::wait(std::chrono::milliseconds timeout) {
    auto deadline = Clock::now() + timeout;
    while (running()) {
        if (Clock::now() >= deadline) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return status_;
}

void Child::kill_group() {
    if (pid_ <= 0) return;
    kill(-pid_, SIGKILL);  // the group: message-box helpers the program forked die with it
    if (!reaped_) {
        int status;
        if (waitpid(pid_, &status, 0) == pid_) status_ = status_code(status);
        reaped_ = true;
    }
}

int run_command(const std::vector<std::string>& argv, const std::string& display) {
    pid_t pid = fork();
    if (pid == 0) {
        setenv("DISPLAY", display.c_str(), 1);
        int devnull = open("/dev/null", O_RDWR);
        dup2(devnull, 1);
        dup2(devnull, 2);
        exec_child(argv);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
    return status_code(status);
}

namespace x11 {

unsigned long wait_for_window(const std::string& display, const std::string& title,
                              std::chrono::milliseconds timeout, unsigned long other_than) {
    auto deadline = Clock::now() + timeout;
    do {
        {
            Connection c(display);
            if (c.display) {
                unsigned long w = find_titled(c.display, DefaultRootWindow(c.display), title);
                if (w && w != other_than) {
                    XWindowAttributes attributes;
                    if (XGetWindowAttributes(c.display, w, &attributes) &&
                        attributes.map_state == IsViewable)
                        return w;
                }
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (Clock::now() < deadline);
    return 0;
}

bool window_exists(const std::string& display, const std::string& title) {
    Connection c(display);
    return c.display && find_titled(c.display, DefaultRootWindow(c.display), title) != 0;
}

Geometry geometry(const std::string& display, unsigned long window) {
    Geometry g;
    Connection c(display);
    if (!c.display) return g;
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(c.display, window, &attributes)) return g;
    Window child;
    XTranslateCoordinates(c.display, window, DefaultRootWindow(c.display), 0, 0, &g.x, &g.y,
                          &child);
    g.width = attributes.width;
    g.height = attributes.height;
    return g;
}

bool wants_fullscreen(const std::string& display, unsigned long window) {
    Connection c(display);
    if (!c.display) return false;
    Atom state = XInternAtom(c.display, "_NET_WM_STATE", False);
    Atom fullscreen = XInternAtom(c.display, "_NET_WM_STATE_FULLSCREEN", False);
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(c.display, window, state, 0, 64, False, XA_ATOM, &type, &format, &count,
                           &after, &data) != Success || !data)
        return false;
    bool found = false;
    for (unsigned long i = 0; i < count; ++i)
        found |= reinterpret_cast<Atom*>(data)[i] == fullscreen;
    XFree(data);
    return found;
}

bool screen_saver_on(const std::string& display) {
    Connection c(display);
    if (!c.display) return false;
    XScreenSaverInfo* info = XScreenSaverAllocInfo();
    bool on = info && XScreenSaverQueryInfo(c.display, DefaultRootWindow(c.display), info) &&
              info->state == ScreenSaverOn;
    XFree(info);
    return on;
}

bool request_close(const std::string& display, unsigned long window) {
    Connection c(display);
    if (!c.display) return false;
    XEvent e = {};
    e.xclient.type = ClientMessage;
    e.xclient.window = window;
    e.xclient.message_type = XInternAtom(c.display, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(XInternAtom(c.display, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    bool sent = XSendEvent(c.display, window, False, NoEventMask, &e) != 0;
    XSync(c.display, False);
    return sent;
}

bool focus(const std::string& display, unsigned long window) {
    Geometry g = geometry(display, window);
    if (g.width == 0) return false;
    return run_command({"xdotool", "mousemove", std::to_string(g.x + g.width / 2),
                        std::to_string(g.y + g.height / 2)},
                       display) == 0 &&
           run_command({"xdotool", "windowfocus", "--sync", std::to_string(window)}, display) == 0;
}

bool key(const std::string& display, const std::string& action,
         const std::vector<std::string>& keys) {
    std::vector<std::string> argv = {"xdotool", action};
    argv.insert(argv.end(), keys.begin(), keys.end());
    return run_command(argv, display) == 0;
}

bool answer_box(const std::string& display, const std::string& title, bool yes,
                std::chrono::milliseconds timeout) {
    return press_in_box(display, title, yes ? "Return" : "Escape", timeout);
}

bool press_in_box(const std::string& display, const std::string& title, const std::string& key,
                  std::chrono::milliseconds timeout) {
    auto deadline = Clock::now() + timeout;
    unsigned long box = wait_for_window(display, title, timeout);
    if (!box) return false;
    // The box reads its keys itself (press, then release), sent straight to its window. A box
    // that is mapped but not yet reading lets a key pass, so the key is sent again for as long
    // as the box is there.
    do {
        if (run_command({"xdotool", "key", "--window", std::to_string(box), key}, display) != 0)
            break;  // the box went away under the key
        for (int i = 0; i < 25; ++i) {
            if (!window_exists(display, title)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    } while (Clock::now() < deadline);
    return !window_exists(display, title);
}

bool screenshot(const std::string& display, unsigned long window, const std::string& png_path) {
    return run_command({"import", "-window", std::to_string(window), png_path}, display) == 0;
}

}  // namespace x11
