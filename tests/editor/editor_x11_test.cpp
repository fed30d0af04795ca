// The editor in a real X server: Xvfb started by the test (skipped with the
// reason when it cannot be), a stand-in host window handed over through
// effEditOpen, and real input through xdotool (XTest in-process where xdotool
// is not installed) that drags a knob, clicks a switch and steps the program
// browser while the "host" idles and renders. The window's picture is kept as
// editor_x11.png and compared with the offscreen rendering of the same frame.
#include <cairo.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iostream>
#include <string>
#include <set>
#include <thread>

#include "editor/controls/CProgramBrowser.h"
#include "gui/platform/PosixSubprocess.h"
#include "tests/editor/EditorTestSupport.h"
#include "tests/support/XvfbServer.h"

// After GoogleTest: Xlib's macros (None, Bool, Status) would break its headers.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#if EDITOR_TEST_HAVE_XTEST
#include <X11/extensions/XTest.h>
#endif

using namespace EditorTest;

namespace {

class EditorInRealX : public ::testing::Test {
protected:
    void SetUp() override {
        useXdotool = !PosixSubprocess::findInPath("xdotool").empty();
#if !EDITOR_TEST_HAVE_XTEST
        if (!useXdotool)
            GTEST_SKIP() << "neither xdotool (Debian package xdotool) nor XTest (libxtst-dev) to send input";
#endif
        std::string display;
        if (const std::string why = TestSupport::startXvfb(server, display); !why.empty()) GTEST_SKIP() << why;
        host = XOpenDisplay(display.c_str());
        ASSERT_NE(host, nullptr) << "cannot connect to " << display;
        parent = XCreateSimpleWindow(host, DefaultRootWindow(host), 20, 20, 865, 555, 0, BlackPixel(host, 0),
                                     WhitePixel(host, 0));
        XMapWindow(host, parent);
        XSync(host, False);

        RecordingHost::instance() = RecordingHost{};
        plugin = std::make_unique<TestInstrument>();
        plugin->dispatcher(effOpen, 0, 0, nullptr, 0.0f);
        plugin->dispatcher(effSetSampleRate, 0, 0, nullptr, 44100.0f);
        plugin->dispatcher(effSetBlockSize, 0, kBlock, nullptr, 0.0f);
        plugin->dispatcher(effMainsChanged, 0, 1, nullptr, 0.0f);
        editor = plugin->window();
        const char* input = useXdotool ? "xdotool" : "XTest";
        std::cout << "[ input    ] real input sent through " << input << std::endl;
        RecordProperty("input", input);
    }
    void TearDown() override {
        if (plugin) {
            plugin->dispatcher(effEditClose, 0, 0, nullptr, 0.0f);
            plugin.reset();
        }
        if (host) {
            if (parent) XDestroyWindow(host, parent);
            XCloseDisplay(host);
        }
        server.terminate();
    }

    // A host's loop: a block of audio and an editor idle every 10 ms.
    bool runUntil(const std::function<bool()>& done, int ms = 3000) {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        std::vector<float> left(kBlock), right(kBlock);
        float* outputs[2] = {left.data(), right.data()};
        while (std::chrono::steady_clock::now() < limit) {
            plugin->getAeffect()->processReplacing(plugin->getAeffect(), nullptr, outputs, kBlock);
            plugin->dispatcher(effEditIdle, 0, 0, nullptr, 0.0f);
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    void runFor(int ms) {
        runUntil([] { return false; }, ms);
    }

    // One xdotool command against the test's server (DISPLAY is inherited),
    // waited for so the events are queued before the host loop runs on.
    void xdotool(std::vector<std::string> args) {
        args.insert(args.begin(), "xdotool");
        PosixSubprocess tool;
        ASSERT_TRUE(tool.start(args)) << "xdotool did not start";
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!tool.poll()) {
            ASSERT_LT(std::chrono::steady_clock::now(), limit) << "xdotool did not finish";
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        ASSERT_EQ(tool.exitCode(), 0) << "xdotool " << args[1] << " failed";
    }

    void moveTo(const CPoint& inFrame) {
        const CPoint screen = editor->getFrame()->frameToScreen(inFrame);
        if (useXdotool) {
            xdotool({"mousemove", std::to_string(screen.x), std::to_string(screen.y)});
        } else {
#if EDITOR_TEST_HAVE_XTEST
            XTestFakeMotionEvent(host, 0, screen.x, screen.y, CurrentTime);
            XFlush(host);
#endif
        }
        runFor(30);
    }
    void button(bool down) {
        if (useXdotool) {
            xdotool({down ? "mousedown" : "mouseup", "1"});
        } else {
#if EDITOR_TEST_HAVE_XTEST
            XTestFakeButtonEvent(host, 1, down ? True : False, CurrentTime);
            XFlush(host);
#endif
        }
        runFor(30);
    }
    void moveBy(int dx, int dy) {
        if (useXdotool) {
            xdotool({"mousemove_relative", "--", std::to_string(dx), std::to_string(dy)});
        } else {
#if EDITOR_TEST_HAVE_XTEST
            XTestFakeRelativeMotionEvent(host, dx, dy, CurrentTime);
            XFlush(host);
#endif
        }
        runFor(20);
    }
    void typeKey(KeySym keysym) {
        if (useXdotool) {
            xdotool({"key", XKeysymToString(keysym)});
        } else {
#if EDITOR_TEST_HAVE_XTEST
            const KeyCode code = XKeysymToKeycode(host, keysym);
            XTestFakeKeyEvent(host, code, True, CurrentTime);
            XTestFakeKeyEvent(host, code, False, CurrentTime);
            XFlush(host);
#endif
        }
        runFor(20);
    }
    void click(const CPoint& inFrame) {
        moveTo(inFrame);
        button(true);
        button(false);
    }
    static CPoint centreInFrame(const CView* view) {
        const CRect r = view->localToFrame(view->getViewSize());
        return CPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    }

    // The editor's window as the X server shows it.
    cairo_surface_t* grabWindow() {
        const unsigned long window = editor->getFrame()->getPlatformWindow()->getNativeHandle();
        XImage* image = XGetImage(host, window, 0, 0, 865, 555, AllPlanes, ZPixmap);
        if (image == nullptr) return nullptr;
        cairo_surface_t* out = cairo_image_surface_create(CAIRO_FORMAT_RGB24, image->width, image->height);
        auto* data = cairo_image_surface_get_data(out);
        const int stride = cairo_image_surface_get_stride(out);
        for (int y = 0; y < image->height; ++y)
            for (int x = 0; x < image->width; ++x)
                *reinterpret_cast<uint32_t*>(data + y * stride + x * 4) =
                    static_cast<uint32_t>(XGetPixel(image, x, y) & 0xffffff);
        cairo_surface_mark_dirty(out);
        XDestroyImage(image);
        return out;
    }

    static constexpr int kBlock = 256;
    PosixSubprocess server;
    Display* host = nullptr;
    Window parent = 0;
    std::unique_ptr<TestInstrument> plugin;
    Vst::MorvelithEditor* editor = nullptr;
    bool useXdotool = false;
};

uint32_t pixelAt(cairo_surface_t* image, int x, int y) {
    const auto* data = cairo_image_surface_get_data(image);
    return *reinterpret_cast<const uint32_t*>(data + y * cairo_image_surface_get_stride(image) + x * 4) & 0xffffff;
}

}  // namespace

TEST_F(EditorInRealX, OpensInTheHostWindowAndAnswersRealInput) {
    ASSERT_EQ(plugin->dispatcher(effEditOpen, 0, 0, reinterpret_cast<void*>(static_cast<uintptr_t>(parent)), 0.0f), 1);
    ASSERT_NE(editor->getFrame(), nullptr);
    Window root = 0, parentOfChild = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    XQueryTree(host, parent, &root, &parentOfChild, &children, &count);
    ASSERT_EQ(count, 1u) << "the editor's window is a child of the host's";
    XFree(children);
    plugin->setParameter(Vst::kMasterLevel, 0.5f);  // room to move, whatever program 0 holds
    runFor(200);

    // Drag "Master: LEVEL" 40 pixels up: 0.2 at 0.005 per pixel, through the cursor wrap.
    CControl* level = editor->getControl(Vst::kMasterLevel);
    const float before = plugin->getParameter(Vst::kMasterLevel);
    moveTo(centreInFrame(level));
    button(true);
    for (int i = 0; i < 10; ++i) moveBy(0, -4);
    button(false);
    ASSERT_TRUE(runUntil([&] { return plugin->getParameter(Vst::kMasterLevel) != before; }));
    EXPECT_NEAR(plugin->getParameter(Vst::kMasterLevel) - before, 0.2f, 0.011f);
    EXPECT_FALSE(editor->getFrame()->isCursorHidden()) << "the cursor is back after the drag";

    // Click "LFO: SYNC ENABLE": the store follows and the rate knobs swap.
    CControl* sync = editor->getControl(Vst::kLfoSyncEnable);
    const float syncBefore = plugin->getParameter(Vst::kLfoSyncEnable);
    click(centreInFrame(sync));
    ASSERT_TRUE(runUntil([&] { return plugin->getParameter(Vst::kLfoSyncEnable) != syncBefore; }));
    EXPECT_EQ(editor->getControl(Vst::kLfoRateSynced)->isVisible(), syncBefore == 0.0f);
    EXPECT_EQ(editor->getControl(Vst::kLfoRate)->isVisible(), syncBefore == 1.0f);

    // The browser's "next" button selects program 1.
    click(centreInFrame(editor->getProgramBrowser()->getNextButton()));
    ASSERT_TRUE(runUntil([&] { return plugin->getProgram() == 1; }));
    EXPECT_EQ(editor->getProgramBrowser()->getMenu()->getCurrent(), 1);

    // Rename through the command panel and the keyboard.
    click(CPoint(782 + 30, 60 + 15));
    ASSERT_TRUE(runUntil([&] { return editor->getProgramNameField()->isEditing(); }));
    runFor(50);  // the keyboard focus moves to the editor's window
    const size_t typedBefore = std::strlen(editor->getProgramNameField()->getText());
    for (size_t i = 0; i < typedBefore; ++i) typeKey(XK_BackSpace);
    for (KeySym key : {XK_o, XK_k, XK_Return}) typeKey(key);
    ASSERT_TRUE(runUntil([&] { return !editor->getProgramNameField()->isEditing(); }));
    char name[Vst::ProgramRecord::kNameBytes] = {};
    plugin->getProgramName(name);
    EXPECT_STREQ(name, "ok");
    EXPECT_TRUE(editor->getProgramBrowser()->isVisible());

    // The window's picture: the size of the offscreen one, not blank, and the same pixels.
    moveTo(CPoint(860, 550));  // out of the way of tool-tips
    runFor(200);
    cairo_surface_t* shown = grabWindow();
    ASSERT_NE(shown, nullptr);
    ASSERT_EQ(cairo_surface_write_to_png(shown, "editor_x11.png"), CAIRO_STATUS_SUCCESS);
    ASSERT_TRUE(editor->getFrame()->writePng("editor_x11_offscreen.png"));
    cairo_surface_t* offscreen = cairo_image_surface_create_from_png("editor_x11_offscreen.png");
    ASSERT_EQ(cairo_surface_status(offscreen), CAIRO_STATUS_SUCCESS);
    EXPECT_EQ(cairo_image_surface_get_width(shown), cairo_image_surface_get_width(offscreen));
    EXPECT_EQ(cairo_image_surface_get_height(shown), cairo_image_surface_get_height(offscreen));
    std::set<uint32_t> colours;
    long same = 0;
    for (int y = 0; y < 555; ++y)
        for (int x = 0; x < 865; ++x) {
            colours.insert(pixelAt(shown, x, y));
            same += pixelAt(shown, x, y) == pixelAt(offscreen, x, y);
        }
    EXPECT_GT(colours.size(), 50u) << "the window is not blank";
    EXPECT_GT(same, 865L * 555L * 95 / 100) << "the window shows what the frame renders";
    cairo_surface_destroy(offscreen);
    cairo_surface_destroy(shown);

    plugin->dispatcher(effEditClose, 0, 0, nullptr, 0.0f);
    XQueryTree(host, parent, &root, &parentOfChild, &children, &count);
    EXPECT_EQ(count, 0u) << "closing removes the editor's window";
    if (children) XFree(children);
}
