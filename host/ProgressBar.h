// A one-line progress bar on standard error for long renders. It draws only
// when standard error is a terminal, and only for renders that are long in
// audio or already slow in wall time, redrawing at most ten times a second.
#pragma once

#include <chrono>
#include <cstdint>

namespace Host {

class ProgressBar {
public:
    // Audio of at least this length gets a bar from the start.
    static constexpr double kLongRenderSeconds = 5.0;
    // Shorter audio gets one once the render has taken this long.
    static constexpr double kSlowRenderSeconds = 1.0;

    ProgressBar(int64_t totalFrames, double sampleRate);
    void update(int64_t framesDone);
    void finish();   // completes the bar and ends its line, if one was drawn
    void abandon();  // a failed render: ends the line where the bar stopped

private:
    void draw(int64_t framesDone);
    void endLine(int64_t framesDone);

    int64_t total;
    double rate;
    bool terminal;
    bool shown = false;
    int64_t done = 0;
    std::chrono::steady_clock::time_point started;
    std::chrono::steady_clock::time_point lastDraw;
};

}  // namespace Host
