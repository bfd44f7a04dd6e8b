// A recording fake of the window system (win32.h) for the shell's tests. Every call is logged
// as one line of text; any call can be made to fail; message boxes answer from a list; the
// message queue is a script of messages and idle turns. GL contexts are real offscreen ones, so
// the GL state the shell sets can be read back.
#pragma once

#include <deque>
#include <set>
#include <string>
#include <vector>

#include "platform/win32/win32.h"

namespace fake {

struct Step {
    bool idle;  // true: PeekMessageA finds the queue empty this turn
    MSG msg;
};

struct Box {
    std::string text, caption;
    UINT type;
};

extern std::vector<std::string> log;      // every call, in order
extern std::set<std::string> failing;     // names of calls that fail
extern std::deque<int> box_answers;       // MessageBoxA results, in order; IDOK when empty
extern std::vector<Box> boxes;            // every box shown
extern std::deque<Step> script;           // what PeekMessageA sees, turn by turn
extern int display_width, display_height; // the display mode ChangeDisplaySettingsA accepts
extern bool script_ran_out;               // PeekMessageA ended a run that had no more script
extern DEVMODEA last_mode;                // the last mode passed to ChangeDisplaySettingsA

void reset();
void queue_message(UINT message, WPARAM wparam = 0, LPARAM lparam = 0);
void queue_idle(int turns = 1);
void queue_key(WPARAM vk, bool down);
// How many log lines start with the given prefix.
int count(const std::string& prefix);
// Index of the first log line starting with prefix at or after `from`, or -1.
int find(const std::string& prefix, int from = 0);
bool gl_current();

}  // namespace fake
