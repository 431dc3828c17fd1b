// The process's CPU time and peak resident memory, as the Linux benchmark hosts print them.
#pragma once

#include <sys/resource.h>

#include <cstdio>

// User and system time of every thread of the process so far, in seconds.
inline double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// "cpu_seconds" and "peak_rss_mib" lines, for bench/run.
inline void PrintResourceUse()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("cpu_seconds %.3f\n", CpuSeconds());
    std::printf("peak_rss_mib %.1f\n", static_cast<double>(usage.ru_maxrss) / 1024.0);
}
