// Terminal progress bar for morvelith-render: a 40-cell bar, the percentage
// and the rendered seconds, redrawn in place with a carriage return.
#include "host/ProgressBar.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace Host {

namespace {
constexpr int kBarWidth = 40;
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
}  // namespace

ProgressBar::ProgressBar(int64_t totalFrames, double sampleRate)
    : total(std::max<int64_t>(totalFrames, 1)),
      rate(sampleRate),
      terminal(isatty(STDERR_FILENO) == 1),
      started(std::chrono::steady_clock::now()),
      lastDraw(started) {}

void ProgressBar::update(int64_t framesDone) {
    done = framesDone;
    if (!terminal) return;
    const auto now = std::chrono::steady_clock::now();
    if (!shown) {
        const double audioSeconds = static_cast<double>(total) / rate;
        const double wallSeconds = std::chrono::duration<double>(now - started).count();
        if (audioSeconds < kLongRenderSeconds && wallSeconds < kSlowRenderSeconds) return;
    } else if (now - lastDraw < kRedrawInterval) {
        return;
    }
    lastDraw = now;
    draw(framesDone);
}

void ProgressBar::finish() { endLine(total); }

void ProgressBar::abandon() { endLine(done); }

void ProgressBar::endLine(int64_t framesDone) {
    if (!shown) return;
    draw(framesDone);
    std::fputc('\n', stderr);
    shown = false;
}

void ProgressBar::draw(int64_t framesDone) {
    shown = true;
    const double fraction = std::clamp(static_cast<double>(framesDone) / static_cast<double>(total), 0.0, 1.0);
    const int filled = static_cast<int>(fraction * kBarWidth);
    char bar[kBarWidth + 1];
    for (int i = 0; i < kBarWidth; ++i) bar[i] = i < filled ? '#' : '.';
    bar[kBarWidth] = '\0';
    std::fprintf(stderr, "\r[%s] %3d%%  %.1f / %.1f s", bar, static_cast<int>(fraction * 100.0),
                 static_cast<double>(framesDone) / rate, static_cast<double>(total) / rate);
    std::fflush(stderr);
}

}  // namespace Host
