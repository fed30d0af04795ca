// The editor between the host's threads: an audio thread renders and stores
// parameter changes (telling the editor of each), an automation thread writes
// parameters and selects programs, and the GUI thread idles the editor while
// a knob is dragged. Built under ThreadSanitizer too (label tsan): the marks
// the audio thread leaves must be the only thing it shares with the views.
// Afterwards every control shows the store's value.
#include <atomic>
#include <thread>

#include "tests/editor/EditorTestSupport.h"

using namespace EditorTest;

class EditorThreads : public EditorFixture {};

TEST_F(EditorThreads, AudioAndAutomationThreadsNeverTouchTheViews) {
    std::atomic<bool> running{true};
    std::thread audio([&] {
        std::vector<float> left(kBlock), right(kBlock);
        float* outputs[2] = {left.data(), right.data()};
        while (running.load()) plugin->processReplacing(nullptr, outputs, kBlock);
    });
    std::thread automation([&] {
        for (int round = 0; round < 400; ++round) {
            for (int index : {Vst::kLfoSyncEnable, Vst::kVibraSyncEnable, Vst::kAmpSyncEnable})
                plugin->setParameter(index, static_cast<float>(round % 2));
            plugin->setParameter(Vst::kMasterLevel, static_cast<float>(round % 10) / 10.0f);
            if (round % 50 == 0) plugin->setProgram((round / 50) % 3);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });

    CControl* knob = editor->getControl(Vst::kDriveAmount);
    for (int pass = 0; pass < 20; ++pass) {
        window->injectMouseDown(centre(knob), kLButton);
        for (int step = 0; step < 8; ++step) window->injectMouseMoveBy(0, pass % 2 ? 3 : -3, kLButton);
        window->injectMouseUp(centre(knob), 0);
        idle(4);
    }
    automation.join();
    // Let the audio thread drain what the GUI and the automation queued.
    for (int i = 0; i < 20; ++i) {
        idle(1);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    running.store(false);
    audio.join();
    render();
    idle();

    for (int i = 0; i < 181; ++i) {
        if (CControl* control = editor->getControl(i)) {
            EXPECT_EQ(control->getValue(), plugin->getParameter(i)) << i;
        }
    }
    const bool synced = plugin->getParameter(Vst::kLfoSyncEnable) == 1.0f;
    EXPECT_EQ(editor->getControl(Vst::kLfoRateSynced)->isVisible(), synced);
    EXPECT_EQ(editor->getControl(Vst::kLfoRate)->isVisible(), !synced);
}
