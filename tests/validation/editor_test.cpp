// The editor while the host plays: the instrument built in process (the audio
// thread and the editor must share one instance), its editor opened and closed
// through the dispatcher (offscreen, and once inside a real X parent window in
// Xvfb) while an audio thread renders notes and pitch bend, and host automation
// from a third thread plus program changes moving the controls. The audio
// thread's calls must never reach the heap through all of it.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iostream>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "editor/MorvelithEditor.h"
#include "editor/controls/CCustomFrame.h"
#include "editor/controls/CProgramBrowser.h"
#include "frame/Entry.h"
#include "frame/Plugin.h"
#include "gui/Toolkit.h"
#include "gui/platform/HeadlessWindow.h"
#include "gui/platform/PosixSubprocess.h"
#include "host/HostedPlugin.h"
#include "instrument/ParameterTable.h"
#include "tests/support/XvfbServer.h"
#include "tests/validation/ValidationSupport.h"

// After GoogleTest: Xlib's macros (None, Bool, Status) would break its headers.
#include <X11/Xlib.h>

using namespace Validation;

namespace {

constexpr double kRate = 44100.0;
constexpr int kMaxBlock = 1024;
constexpr int kCycles = 20;

VstIntPtr VSTCALLBACK hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

// The instrument from its factory, driven through its record; the battery's
// block loop drives it as it drives the loaded library.
class InProcess {
public:
    InProcess() : plugin(dynamic_cast<Vst::Plugin*>(Vst::createPluginInstance(&hostCallback))) {
        if (plugin == nullptr) throw std::runtime_error("the factory made no frame plug-in");
        effect = plugin->getAeffect();
        dispatch(effOpen);
        dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(kRate));
        dispatch(effSetBlockSize, 0, kMaxBlock);
        dispatch(effMainsChanged, 0, 1);
    }
    ~InProcess() {
        dispatch(effMainsChanged, 0, 0);
        dispatch(effClose);  // deletes the instance
    }
    InProcess(const InProcess&) = delete;
    InProcess& operator=(const InProcess&) = delete;

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0) {
        return effect->dispatcher(effect, opcode, index, value, ptr, opt);
    }
    Vst::MorvelithEditor* editor() const { return dynamic_cast<Vst::MorvelithEditor*>(plugin->getEditor()); }

    void reserveEvents(int count) { eventList.reserve(count); }
    // Counted by the block loop: effProcessEvents and processReplacing only.
    void processBlock(const Host::BlockEvent* events, int count, float**, float** outputs, int frames) {
        deliverBlock(effect, eventList, events, count, outputs, frames);
    }

    Vst::Plugin* plugin;
    AEffect* effect;

private:
    EventList eventList;
};

// The host's audio thread: the test phrase over and over in changing blocks,
// heap use counted inside the plug-in's calls, until stopped. The driver is
// the in-process instrument or the loaded library.
template <class Driver>
class AudioThread {
public:
    explicit AudioThread(Driver& instrument) : instrument(instrument) {
        thread = std::thread([this] { run(); });
    }
    ~AudioThread() { stop(); }

    void stop() {
        running.store(false);
        if (thread.joinable()) thread.join();
    }
    // Returns once the audio thread has run a whole pass begun after the
    // call: by then it has applied what the host queued before the call and
    // told the editor of it.
    void waitForFreshPass() const {
        const long target = passCount.load() + 2;
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (passCount.load() < target && std::chrono::steady_clock::now() < limit)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    // After stop(): what the audio thread saw.
    const HeapUse& heap() const { return heapUse; }
    bool finite() const { return outputFinite; }
    double loudest() const { return loudestPeak; }

private:
    void run() {
        const Host::Timeline phrase = testPhrase(kRate);
        const int64_t frames = phraseFrames(kRate) / 16;  // a short pass: the loop checks `running` often
        Host::Timeline part;
        for (const auto& event : phrase.events)
            if (event.frame < frames) part.events.push_back(event);
        part.events.push_back({frames - 1, {{0xB0, 123, 0}, 3}});  // no note hangs over into the next pass
        while (running.load()) {
            HeapUse pass;
            const Stereo audio = render(instrument, part, frames, {256, 7, 1000, 64, 1}, &pass);
            heapUse.allocations += pass.allocations;
            heapUse.releases += pass.releases;
            heapUse.blocks += pass.blocks;
            outputFinite = outputFinite && allFinite(audio);
            loudestPeak = std::max(loudestPeak, peak(audio));
            passCount.fetch_add(1);
        }
    }

    Driver& instrument;
    std::atomic<bool> running{true};
    std::atomic<long> passCount{0};
    HeapUse heapUse;
    bool outputFinite = true;
    double loudestPeak = 0.0;
    std::thread thread;
};

// No factory sound may leave more than +12 dB over full scale; random
// automation only has to stay finite.
constexpr double kFactoryPeakBound = 4.0;

template <class Driver>
void expectSoundAudioThread(const AudioThread<Driver>& audio, bool factorySoundsOnly) {
    EXPECT_GT(audio.heap().blocks, 100) << "the audio thread ran alongside the editor";
    EXPECT_TRUE(audio.finite());
    std::cout << "[editor] " << audio.heap().blocks << " audio blocks alongside the editor, loudest sample "
              << audio.loudest() << ", heap use " << (countsAllocations() ? "counted" : "not counted in this build")
              << std::endl;
    if (factorySoundsOnly) {
        EXPECT_LE(audio.loudest(), kFactoryPeakBound);
    }
    EXPECT_GT(audio.loudest(), 1e-4) << "the notes were heard";
    if (!countsAllocations()) return;
    EXPECT_EQ(audio.heap().allocations, 0) << "over " << audio.heap().blocks << " blocks";
    EXPECT_EQ(audio.heap().releases, 0) << "over " << audio.heap().blocks << " blocks";
}

void idle(InProcess& instrument, int rounds) {
    for (int i = 0; i < rounds; ++i) instrument.dispatch(effEditIdle);
}

// Every control the editor shows holds the store's value.
void expectControlsFollowTheStore(InProcess& instrument, const char* when) {
    Vst::MorvelithEditor* editor = instrument.editor();
    ASSERT_NE(editor, nullptr);
    int controls = 0;
    for (int i = 0; i < kParameterCount; ++i)
        if (CControl* control = editor->getControl(i)) {
            ++controls;
            EXPECT_EQ(control->getValue(), instrument.plugin->getParameter(i)) << when << ": parameter " << i;
        }
    EXPECT_GT(controls, kParameterCount / 2) << when;
}

// Level changes a host automates while the window opens and closes: at most
// the program's own level, so the factory bound on the output still holds.
float loweredLevel(float programLevel, int cycle) {
    return programLevel * (0.5f + 0.025f * static_cast<float>(cycle));
}

void expectEditorRect(InProcess& instrument) {
    ERect* rect = nullptr;
    ASSERT_EQ(instrument.dispatch(effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right - rect->left, Vst::MorvelithEditor::kWidth);
    EXPECT_EQ(rect->bottom - rect->top, Vst::MorvelithEditor::kHeight);
}

}  // namespace

TEST(EditorWhileProcessing, OpensAndClosesOffscreenTwentyTimes) {
    InProcess instrument;
    const float programLevel = instrument.plugin->getParameter(Vst::kMasterLevel);
    ASSERT_GT(programLevel, 0.0f);
    AudioThread<InProcess> audio(instrument);
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        SCOPED_TRACE("cycle " + std::to_string(cycle));
        ASSERT_EQ(instrument.dispatch(effEditOpen, 0, 0, nullptr), 1);
        ASSERT_NE(instrument.editor()->getFrame(), nullptr);
        EXPECT_NE(dynamic_cast<HeadlessWindow*>(instrument.editor()->getFrame()->getPlatformWindow()), nullptr)
            << "no parent window: an offscreen frame";
        expectEditorRect(instrument);
        idle(instrument, 3);
        audio.waitForFreshPass();
        idle(instrument, 2);
        instrument.dispatch(effEditClose);
        EXPECT_EQ(instrument.editor()->getFrame(), nullptr) << "closing releases the window";
        EXPECT_EQ(instrument.editor()->getControl(Vst::kMasterLevel), nullptr);
        // A host may idle a closed editor, and the audio thread keeps telling it of changes.
        instrument.effect->setParameter(instrument.effect, Vst::kMasterLevel, loweredLevel(programLevel, cycle));
        idle(instrument, 1);
        audio.waitForFreshPass();
    }
    // The last change made while closed shows once the editor opens again.
    ASSERT_EQ(instrument.dispatch(effEditOpen, 0, 0, nullptr), 1);
    idle(instrument, 2);
    EXPECT_FLOAT_EQ(instrument.editor()->getControl(Vst::kMasterLevel)->getValue(),
                    loweredLevel(programLevel, kCycles - 1));
    instrument.dispatch(effEditClose);
    audio.stop();
    expectSoundAudioThread(audio, true);
}

// The same through the built library: a host that has only the entry point
// opens and closes the editor while its audio thread plays and a third thread
// automates every parameter.
TEST(EditorWhileProcessing, TheLibraryOpensAndClosesItsEditorUnderAutomation) {
    VALIDATION_REQUIRE_PLUGIN();
    Host::HostedPlugin plugin(pluginPath());
    ASSERT_TRUE(plugin.hasFlag(effFlagsHasEditor));
    plugin.open({kRate, kMaxBlock, 0});
    AudioThread<Host::HostedPlugin> audio(plugin);
    std::atomic<bool> automating{true};
    std::atomic<long> values{0};
    std::thread automation([&] {
        std::mt19937 random(3);
        std::uniform_real_distribution<float> unit(0.0f, 1.0f);
        while (automating.load()) {
            plugin.setParameter(static_cast<int>(random() % kParameterCount), unit(random));
            if (values.fetch_add(1) % 16 == 15) std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    });
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        SCOPED_TRACE("cycle " + std::to_string(cycle));
        ASSERT_EQ(plugin.dispatch(effEditOpen, 0, 0, nullptr), 1);
        ERect* rect = nullptr;
        ASSERT_EQ(plugin.dispatch(effEditGetRect, 0, 0, &rect), 1);
        ASSERT_NE(rect, nullptr);
        EXPECT_EQ(rect->right - rect->left, Vst::MorvelithEditor::kWidth);
        EXPECT_EQ(rect->bottom - rect->top, Vst::MorvelithEditor::kHeight);
        for (int i = 0; i < 3; ++i) {
            plugin.dispatch(effEditIdle);
            audio.waitForFreshPass();
        }
        if (cycle % 5 == 0) plugin.selectProgram(cycle);
        plugin.dispatch(effEditIdle);
        plugin.dispatch(effEditClose);
        plugin.dispatch(effEditIdle);
    }
    automating.store(false);
    automation.join();
    audio.stop();
    std::cout << "[editor] " << values.load() << " automated values while the library's editor came and went"
              << std::endl;
    EXPECT_GT(values.load(), kParameterCount);
    expectSoundAudioThread(audio, false);
}

TEST(EditorWhileProcessing, HostAutomationAndProgramChangesMoveTheControls) {
    InProcess instrument;
    ASSERT_EQ(instrument.dispatch(effEditOpen, 0, 0, nullptr), 1);
    idle(instrument, 2);
    AudioThread<InProcess> audio(instrument);

    // The automation thread writes every parameter in rounds; the last round's
    // values are kept to be found on the controls.
    std::vector<float> lastWritten(kParameterCount, 0.0f);
    std::atomic<int> roundsDone{0};
    auto automate = [&](unsigned seed, int rounds) {
        std::mt19937 random(seed);
        std::uniform_real_distribution<float> unit(0.0f, 1.0f);
        for (int round = 0; round < rounds; ++round) {
            for (int i = 0; i < kParameterCount; ++i) {
                const float value = unit(random);
                instrument.effect->setParameter(instrument.effect, i, value);
                if (round == rounds - 1) lastWritten[static_cast<size_t>(i)] = value;
            }
            roundsDone.fetch_add(1);
            std::this_thread::sleep_for(std::chrono::microseconds(300));
        }
    };

    // Automation and the GUI thread's program changes and idles at once.
    std::thread automation(automate, 7u, 60);
    for (int step = 0; roundsDone.load() < 60; ++step) {
        if (step % 10 == 0) instrument.dispatch(effSetProgram, 0, (step / 10 * 13) % kProgramCount);
        idle(instrument, 1);
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    automation.join();
    audio.waitForFreshPass();
    idle(instrument, 2);
    expectControlsFollowTheStore(instrument, "after automation across program changes");

    // A program change alone: its values reach the controls and the browser.
    Vst::MorvelithEditor* editor = instrument.editor();
    for (int program : {5, 76, 42}) {
        SCOPED_TRACE("program " + std::to_string(program));
        instrument.dispatch(effSetProgram, 0, program);
        audio.waitForFreshPass();  // past the change's fade
        idle(instrument, 2);
        EXPECT_EQ(instrument.dispatch(effGetProgram), program);
        EXPECT_EQ(editor->getProgramBrowser()->getMenu()->getCurrent(), program);
        expectControlsFollowTheStore(instrument, "after a program change");
    }

    // Automation after the last program change: the controls show what the host wrote.
    roundsDone.store(0);
    std::thread last(automate, 11u, 3);
    last.join();
    audio.waitForFreshPass();
    idle(instrument, 2);
    expectControlsFollowTheStore(instrument, "after the last automation");
    int moved = 0;
    for (int i = 0; i < kParameterCount; ++i)
        if (CControl* control = editor->getControl(i))
            moved += control->getValue() == lastWritten[static_cast<size_t>(i)];
    // Switches and stepped parameters store a snapped value; continuous ones keep the host's.
    EXPECT_GT(moved, kParameterCount / 3) << "controls showing exactly the value the host wrote";
    EXPECT_EQ(editor->getControl(Vst::kMasterLevel)->getValue(), lastWritten[Vst::kMasterLevel]);

    instrument.dispatch(effEditClose);
    audio.stop();
    expectSoundAudioThread(audio, false);
}

namespace {

// Xvfb started for the suite, and a stand-in host window on it.
class EditorInXvfb : public ::testing::Test {
protected:
    void SetUp() override {
        std::string display;
        if (const std::string why = TestSupport::startXvfb(server, display); !why.empty()) GTEST_SKIP() << why;
        host = XOpenDisplay(display.c_str());
        ASSERT_NE(host, nullptr) << "cannot connect to " << display;
        parent = XCreateSimpleWindow(host, DefaultRootWindow(host), 20, 20, 865, 555, 0, BlackPixel(host, 0),
                                     WhitePixel(host, 0));
        XMapWindow(host, parent);
        XSync(host, False);
    }
    void TearDown() override {
        if (host) {
            if (parent) XDestroyWindow(host, parent);
            XCloseDisplay(host);
        }
        server.terminate();
    }

    // The host window's children as the server sees them.
    std::vector<Window> children() {
        XSync(host, False);
        Window root = 0, parentOfParent = 0;
        Window* list = nullptr;
        unsigned int count = 0;
        XQueryTree(host, parent, &root, &parentOfParent, &list, &count);
        std::vector<Window> out(list, list + count);
        if (list) XFree(list);
        return out;
    }

    PosixSubprocess server;
    Display* host = nullptr;
    Window parent = 0;
};

}  // namespace

TEST_F(EditorInXvfb, OpensInARealParentWindowTwentyTimes) {
    InProcess instrument;
    const float programLevel = instrument.plugin->getParameter(Vst::kMasterLevel);
    ASSERT_GT(programLevel, 0.0f);
    AudioThread<InProcess> audio(instrument);
    void* parentHandle = reinterpret_cast<void*>(static_cast<uintptr_t>(parent));
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        SCOPED_TRACE("cycle " + std::to_string(cycle));
        ASSERT_EQ(instrument.dispatch(effEditOpen, 0, 0, parentHandle), 1);
        expectEditorRect(instrument);
        const std::vector<Window> shown = children();
        ASSERT_EQ(shown.size(), 1u) << "the editor's window is a child of the host's";
        XWindowAttributes attributes{};
        ASSERT_NE(XGetWindowAttributes(host, shown[0], &attributes), 0);
        EXPECT_EQ(attributes.width, Vst::MorvelithEditor::kWidth);
        EXPECT_EQ(attributes.height, Vst::MorvelithEditor::kHeight);

        // The host's GUI loop while the window is up, with a change of its own to show.
        const float level = loweredLevel(programLevel, cycle);
        instrument.effect->setParameter(instrument.effect, Vst::kMasterLevel, level);
        for (int i = 0; i < 3; ++i) {
            instrument.dispatch(effEditIdle);
            audio.waitForFreshPass();
        }
        instrument.dispatch(effEditIdle);
        EXPECT_FLOAT_EQ(instrument.editor()->getControl(Vst::kMasterLevel)->getValue(), level);

        instrument.dispatch(effEditClose);
        EXPECT_TRUE(children().empty()) << "closing removes the editor's window";
        instrument.dispatch(effEditIdle);  // a host idles whether or not the window is up
    }
    audio.stop();
    expectSoundAudioThread(audio, true);
}
