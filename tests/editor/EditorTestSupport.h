// The editor suites' fixture: the test instrument with its editor opened
// offscreen, playing both the host's GUI thread (idle, injected input) and
// its audio thread (render).
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "editor/controls/CCustomFrame.h"
#include "gui/Toolkit.h"
#include "gui/platform/HeadlessWindow.h"
#include "tests/editor/TestInstrument.h"

namespace EditorTest {

class EditorFixture : public ::testing::Test {
protected:
    void SetUp() override {
        RecordingHost::instance() = RecordingHost{};
        plugin = std::make_unique<TestInstrument>();
        plugin->dispatcher(effOpen, 0, 0, nullptr, 0.0f);
        plugin->dispatcher(effSetSampleRate, 0, 0, nullptr, 44100.0f);
        plugin->dispatcher(effSetBlockSize, 0, kBlock, nullptr, 0.0f);
        plugin->dispatcher(effMainsChanged, 0, 1, nullptr, 0.0f);
        editor = plugin->window();
        ASSERT_EQ(plugin->dispatcher(effEditOpen, 0, 0, nullptr, 0.0f), 1);
        window = dynamic_cast<HeadlessWindow*>(editor->getFrame()->getPlatformWindow());
        ASSERT_NE(window, nullptr);
        idle();
    }
    void TearDown() override {
        if (plugin) plugin->dispatcher(effEditClose, 0, 0, nullptr, 0.0f);
        plugin.reset();
        setDialogMode(CDialogMode::automatic);
    }

    // The host's GUI thread: effEditIdle, a few times so warps and redraws settle.
    void idle(int rounds = 3) {
        for (int i = 0; i < rounds; ++i) plugin->dispatcher(effEditIdle, 0, 0, nullptr, 0.0f);
    }
    // The host's audio thread: long enough for a program change's fade.
    void render(int blocks = 2) {
        std::vector<float> left(kBlock), right(kBlock);
        float* outputs[2] = {left.data(), right.data()};
        AEffect* effect = plugin->getAeffect();
        for (int b = 0; b < blocks; ++b) effect->processReplacing(effect, nullptr, outputs, kBlock);
    }
    void renderAndIdle() {
        render();
        idle();
    }

    CPoint centre(const CControl* control) const {
        const CRect& r = control->getViewSize();
        return CPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    }
    void click(const CPoint& where, long buttons = kLButton) {
        window->injectClick(where, buttons);
        idle();
    }
    // Press in the control, move up by `up` pixels in steps of `step`, release.
    void drag(const CControl* control, int up, int step = 5, long modifiers = 0) {
        window->injectMouseDown(centre(control), kLButton | modifiers);
        idle(1);
        for (int moved = 0; moved < up; moved += step) {
            window->injectMouseMoveBy(0, -step, kLButton | modifiers);
            idle(1);
        }
        window->injectMouseUp(window->cursorInFrame(), modifiers);
        idle();
    }

    static constexpr int kBlock = 256;
    std::unique_ptr<TestInstrument> plugin;
    Vst::MorvelithEditor* editor = nullptr;
    HeadlessWindow* window = nullptr;
};

}  // namespace EditorTest
