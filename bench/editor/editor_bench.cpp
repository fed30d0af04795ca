// What the editor costs each thread: the mark the audio thread leaves per
// parameter change (nanoseconds, the only editor work on that thread), and on
// the GUI thread the open and close of the whole window, an idle with nothing
// to do, and the idle that brings all 120 controls up to date after a program
// change, drawing included. Offscreen frame, the test instrument of the suites.
#include <benchmark/benchmark.h>

#include <thread>

#include "editor/controls/CCustomFrame.h"
#include "tests/editor/TestInstrument.h"

namespace {

struct OpenedEditor {
    OpenedEditor() {
        plugin.dispatcher(effOpen, 0, 0, nullptr, 0.0f);
        plugin.dispatcher(effMainsChanged, 0, 1, nullptr, 0.0f);
        plugin.dispatcher(effEditOpen, 0, 0, nullptr, 0.0f);
        plugin.dispatcher(effEditIdle, 0, 0, nullptr, 0.0f);
    }
    ~OpenedEditor() { plugin.dispatcher(effEditClose, 0, 0, nullptr, 0.0f); }
    EditorTest::TestInstrument plugin;
};

void machine(benchmark::State& state) {
    state.counters["hardware_threads"] = std::thread::hardware_concurrency();
}

void BM_AudioThreadMarksAParameterChange(benchmark::State& state) {
    OpenedEditor opened;
    Vst::MorvelithEditor* editor = opened.plugin.window();
    int index = 0;
    for (auto _ : state) {
        editor->setParameter(index, 0.5f);
        index = index == 180 ? 0 : index + 1;
    }
    machine(state);
}
BENCHMARK(BM_AudioThreadMarksAParameterChange);

void BM_OpenAndCloseTheWindow(benchmark::State& state) {
    EditorTest::TestInstrument plugin;
    plugin.dispatcher(effOpen, 0, 0, nullptr, 0.0f);
    for (auto _ : state) {
        plugin.dispatcher(effEditOpen, 0, 0, nullptr, 0.0f);
        plugin.dispatcher(effEditIdle, 0, 0, nullptr, 0.0f);  // first full draw
        plugin.dispatcher(effEditClose, 0, 0, nullptr, 0.0f);
    }
    state.SetLabel("open, first draw, close");
    machine(state);
}
BENCHMARK(BM_OpenAndCloseTheWindow)->Unit(benchmark::kMillisecond);

void BM_IdleWithNothingPending(benchmark::State& state) {
    OpenedEditor opened;
    for (auto _ : state) opened.plugin.dispatcher(effEditIdle, 0, 0, nullptr, 0.0f);
    machine(state);
}
BENCHMARK(BM_IdleWithNothingPending)->Unit(benchmark::kMicrosecond);

void BM_IdleAfterAProgramChange(benchmark::State& state) {
    OpenedEditor opened;
    int program = 0;
    for (auto _ : state) {
        program = 1 - program;
        opened.plugin.setProgram(program);
        opened.plugin.dispatcher(effEditIdle, 0, 0, nullptr, 0.0f);
    }
    state.SetLabel("every control, value text and redraw");
    machine(state);
}
BENCHMARK(BM_IdleAfterAProgramChange)->Unit(benchmark::kMicrosecond);

}  // namespace
