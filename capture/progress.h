// The progress line on standard error: frames done of the total, percent, frames a second and
// the time left. Rewritten in place on a terminal, a plain line every few seconds otherwise.
#pragma once

#include <chrono>
#include <cstdio>

class Progress {
public:
    Progress(int total, bool quiet, FILE* out = stderr);
    void update(int done);
    // The last state, and the end of the line on a terminal.
    void finish(int done);

private:
    void print(int done);

    using Clock = std::chrono::steady_clock;
    int total_;
    bool quiet_, terminal_;
    FILE* out_;
    Clock::time_point start_, last_;
};
