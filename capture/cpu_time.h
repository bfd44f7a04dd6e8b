// CPU time for the capture's accounting: on a machine whose cores are shared, the CPU each stage
// used says where the work goes; wall time would charge a stage for waiting on the others.
#pragma once

#include <time.h>

inline double cpu_seconds(clockid_t clock) {
    timespec t;
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}
// This process, all its threads (the software renderer's and the encoder's included).
inline double process_cpu_s() { return cpu_seconds(CLOCK_PROCESS_CPUTIME_ID); }
// The calling thread alone.
inline double thread_cpu_s() { return cpu_seconds(CLOCK_THREAD_CPUTIME_ID); }
