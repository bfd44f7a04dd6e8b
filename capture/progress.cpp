// The progress line: a carriage return rewrites it on a terminal; logs and pipes get a line
// every five seconds instead, so they stay readable.
#include "capture/progress.h"

#include <unistd.h>

Progress::Progress(int total, bool quiet, FILE* out)
    : total_(total),
      quiet_(quiet),
      terminal_(isatty(fileno(out))),
      out_(out),
      start_(Clock::now()),
      last_(start_) {}

void Progress::update(int done) {
    if (quiet_) return;
    auto now = Clock::now();
    auto every = terminal_ ? std::chrono::milliseconds(200) : std::chrono::milliseconds(5000);
    if (now - last_ < every) return;
    last_ = now;
    print(done);
}

void Progress::finish(int done) {
    if (quiet_) return;
    print(done);
    if (terminal_) fputc('\n', out_);
}

void Progress::print(int done) {
    double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
    double fps = seconds > 0 ? done / seconds : 0.0;
    int left = fps > 0 ? static_cast<int>((total_ - done) / fps + 0.5) : 0;
    fprintf(out_, "%sglow-capture: frame %d of %d (%.0f%%), %.1f fps, %d:%02d left%s",
            terminal_ ? "\r" : "", done, total_, total_ ? 100.0 * done / total_ : 100.0, fps,
            left / 60, left % 60, terminal_ ? "\033[K" : "\n");
    fflush(out_);
}
