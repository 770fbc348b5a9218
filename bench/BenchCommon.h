// What every benchmark shares: the clock (the performance counter in
// milliseconds) and the median of a series of figures.
#pragma once

#include <windows.h>

#include <algorithm>
#include <vector>

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

// The middle figure; the mean of the two middle ones for an even count.
inline double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 != 0 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}
