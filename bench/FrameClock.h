// Timing for the drawing benchmarks: seconds since a start and frames a
// second of a repeated drawing.
#pragma once

#include <windows.h>

namespace Velora::Bench {

inline double Seconds(LARGE_INTEGER start)
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return double(now.QuadPart - start.QuadPart) / double(frequency.QuadPart);
}

// GDI batches calls: every frame is flushed before it counts.
template <typename Frame> double FramesPerSecond(Frame frame, double seconds)
{
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    int frames = 0;
    do {
        frame();
        GdiFlush();
        ++frames;
    } while (Seconds(start) < seconds);
    return frames / Seconds(start);
}

} // namespace Velora::Bench
