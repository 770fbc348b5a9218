// The benchmarks' clock: the performance counter in milliseconds.
#pragma once

#include <windows.h>

inline double NowMs()
{
    static const double dFrequency = [] {
        LARGE_INTEGER frequency;
        ::QueryPerformanceFrequency(&frequency);
        return static_cast<double>(frequency.QuadPart);
    }();
    LARGE_INTEGER counter;
    ::QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) * 1000.0 / dFrequency;
}
