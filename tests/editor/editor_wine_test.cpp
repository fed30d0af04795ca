// The Windows editor under wine64 in Xvfb: the Win32 test host (tests/wine,
// built into the Windows tree by tools/windows.sh --tests) loads the 64-bit
// morvelith.dll and opens the editor as a child of its window. Its picture,
// taken from the X server, is compared with this build's offscreen picture
// of the same editor; real input through xdotool drags "Drive: AMOUNT" and
// steps the program browser, and the stored values the host reports follow.
// Then the editor opens and closes 20 times while another thread processes.
// Skipped, with the reason, where wine64, Xvfb, xdotool or the Windows tree
// is missing.
#include <cairo.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <thread>

#include "editor/EditorLayout.h"
#include "editor/controls/CCustomControl.h"
#include "editor/controls/CProgramBrowser.h"
#include "gui/platform/PosixSubprocess.h"
#include "tests/editor/EditorTestSupport.h"
#include "tests/support/XvfbServer.h"

// After GoogleTest: Xlib's macros would break its headers.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace EditorTest;
namespace Layout = Vst::EditorLayout;
namespace fs = std::filesystem;

namespace {

constexpr int kWidth = 865;
constexpr int kHeight = 555;

std::string windowsTree() {
    const char* tree = std::getenv("MORVELITH_WINDOWS_TREE");
    return tree && *tree ? tree : MORVELITH_WINDOWS_TREE;
}

// Runs a program to its end (bounded), for wine's own tools.
int runToEnd(const std::vector<std::string>& argv, int seconds) {
    PosixSubprocess process;
    if (!process.start(argv)) return -1;
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!process.poll()) {
        if (std::chrono::steady_clock::now() > limit) {
            process.terminate();
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return process.exitCode();
}

// One Xvfb and one wine session at a time: wine's desktop process binds to
// the display it first sees, and CTest runs each test in a process of its
// own, perhaps side by side. A lock beside the prefix takes turns.
class WineSession {
public:
    std::string skipReason;
    std::string display;
    PosixSubprocess xvfb;
    int lock = -1;

    void start() {
        for (const char* tool : {"wine", "wineserver", "wineboot", "xdotool"})
            if (PosixSubprocess::findInPath(tool).empty()) {
                skipReason = std::string(tool) + " is not installed (bash tools/windows.sh installs wine and wine64; "
                                                 "xdotool is Debian's xdotool)";
                return;
            }
        if (!fs::exists("/usr/lib/wine/wine64")) {
            skipReason = "wine64 is not installed (Debian package wine64)";
            return;
        }
        for (const char* file : {"/morvelith.dll", "/editor_host.exe"})
            if (!fs::exists(windowsTree() + file)) {
                skipReason = windowsTree() + file + " is not built (bash tools/windows.sh --tests)";
                return;
            }
        const char* prefix = std::getenv("WINEPREFIX");
        setenv("WINEPREFIX", prefix && *prefix ? prefix : (windowsTree() + "/wine-prefix").c_str(), 1);
        lock = open((std::string(std::getenv("WINEPREFIX")) + ".editor-lock").c_str(), O_CREAT | O_RDWR, 0644);
        if (lock >= 0) flock(lock, LOCK_EX);
        skipReason = TestSupport::startXvfb(xvfb, display, "1024x768x24");
        if (!skipReason.empty()) return;
        setenv("WINEDEBUG", "-all", 1);
        setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);
        // A fresh prefix takes about 20 s once; later runs find it made.
        if (!fs::exists(std::string(std::getenv("WINEPREFIX")) + "/system.reg")) {
            const auto start = std::chrono::steady_clock::now();
            if (runToEnd({"wineboot", "--init"}, 120) != 0) {
                skipReason = "wineboot could not make a wine prefix";
                return;
            }
            runToEnd({"wineserver", "-w"}, 60);
            std::cout << "[ wine     ] prefix made in "
                      << std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start)
                                 .count()
                      << " s" << std::endl;
        }
        // A server that stays between runs spares each run's start-up wait.
        runToEnd({"wineserver", "-p30"}, 10);
    }

    void stop() {
        if (!display.empty()) runToEnd({"wineserver", "-k"}, 10);
        xvfb.terminate();
        if (lock >= 0) close(lock);  // releases the turn
    }
};

WineSession& session() {
    static WineSession instance;
    return instance;
}

// The Win32 host, its report read line by line as it arrives.
class Host {
public:
    bool start(const std::vector<std::string>& args) {
        std::vector<std::string> argv{"wine", windowsTree() + "/editor_host.exe", windowsTree() + "/morvelith.dll"};
        argv.insert(argv.end(), args.begin(), args.end());
        return process.start(argv);
    }
    // Waits until a reported line starts with prefix; gives the rest of the line.
    bool waitFor(const std::string& prefix, std::string& rest, int ms = 20000) {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < limit) {
            const bool ended = process.poll();
            const std::string& out = process.output();
            std::size_t pos = 0;
            while (pos < out.size()) {
                const std::size_t end = out.find('\n', pos);
                if (end == std::string::npos) break;
                if (pos >= consumed && out.compare(pos, prefix.size(), prefix) == 0) {
                    rest = out.substr(pos + prefix.size(), end - pos - prefix.size());
                    if (!rest.empty() && rest.back() == '\r') rest.pop_back();  // a Windows line end
                    consumed = end + 1;
                    return true;
                }
                pos = end + 1;
            }
            if (ended) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    // The last value reported for a parameter (NaN when never reported).
    float lastParameter(int index) {
        const std::string key = "param " + std::to_string(index) + " ";
        const std::string& out = process.output();
        const std::size_t at = out.rfind(key);
        return at == std::string::npos ? std::nanf("") : std::stof(out.substr(at + key.size()));
    }
    int lastProgram() {
        const std::string& out = process.output();
        const std::size_t at = out.rfind("program ");
        return at == std::string::npos ? -1 : std::stoi(out.substr(at + 8));
    }
    void pump(int ms) {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < limit) {
            process.poll();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    PosixSubprocess process;
    std::size_t consumed = 0;
};

void xdotool(std::vector<std::string> args) {
    args.insert(args.begin(), "xdotool");
    ASSERT_EQ(runToEnd(args, 10), 0) << "xdotool " << args[1];
}

class EditorUnderWine : public EditorFixture {
protected:
    static void SetUpTestSuite() { session().start(); }
    static void TearDownTestSuite() { session().stop(); }
    void SetUp() override {
        if (!session().skipReason.empty()) GTEST_SKIP() << session().skipReason;
        EditorFixture::SetUp();
    }
    void TearDown() override {
        host.process.terminate();
        EditorFixture::TearDown();
    }
    static CPoint centreInFrame(const CView* view) {
        const CRect r = view->localToFrame(view->getViewSize());
        return CPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    }
    Host host;
};

// The screen's pixels at the editor's place, as the X server shows them.
cairo_surface_t* grabScreen(int left, int top) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return nullptr;
    XImage* image = XGetImage(display, DefaultRootWindow(display), left, top, kWidth, kHeight, AllPlanes, ZPixmap);
    cairo_surface_t* out = nullptr;
    if (image) {
        out = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight);
        auto* data = cairo_image_surface_get_data(out);
        const int stride = cairo_image_surface_get_stride(out);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                *reinterpret_cast<uint32_t*>(data + y * stride + x * 4) =
                    static_cast<uint32_t>(XGetPixel(image, x, y) & 0xffffff);
        cairo_surface_mark_dirty(out);
        XDestroyImage(image);
    }
    XCloseDisplay(display);
    return out;
}

uint32_t pixelAt(cairo_surface_t* image, int x, int y) {
    const auto* data = cairo_image_surface_get_data(image);
    return *reinterpret_cast<const uint32_t*>(data + y * cairo_image_surface_get_stride(image) + x * 4) & 0xffffff;
}

// Pixels whose every channel is within tolerance of the other picture's.
double sameFraction(cairo_surface_t* a, cairo_surface_t* b, int tolerance) {
    long same = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const uint32_t p = pixelAt(a, x, y), q = pixelAt(b, x, y);
            int worst = 0;
            for (int shift : {0, 8, 16})
                worst = std::max(worst, std::abs(static_cast<int>((p >> shift) & 0xff) -
                                                 static_cast<int>((q >> shift) & 0xff)));
            same += worst <= tolerance;
        }
    return static_cast<double>(same) / (kWidth * kHeight);
}

}  // namespace

TEST_F(EditorUnderWine, ShowsTheLinuxPictureAndFollowsRealInput) {
    // The Linux editor's offscreen picture of the same fresh instance (program 0).
    renderAndIdle();
    ASSERT_TRUE(editor->getFrame()->writePng("editor_wine_linux.png"));
    cairo_surface_t* offscreen = cairo_image_surface_create_from_png("editor_wine_linux.png");
    ASSERT_EQ(cairo_surface_status(offscreen), CAIRO_STATUS_SUCCESS);

    ASSERT_TRUE(host.start({"show", "40"}));
    std::string ready;
    ASSERT_TRUE(host.waitFor("ready ", ready)) << "the host did not open the editor:\n" << host.process.output();
    int left = 0, top = 0;
    std::istringstream(ready) >> left >> top;
    xdotool({"mousemove", "1000", "740"});  // out of the way of tool-tips
    host.pump(500);

    cairo_surface_t* shown = grabScreen(left, top);
    ASSERT_NE(shown, nullptr);
    ASSERT_EQ(cairo_surface_write_to_png(shown, "editor_wine.png"), CAIRO_STATUS_SUCCESS);  // the artefact
    const double exact = sameFraction(shown, offscreen, 0);
    const double close = sameFraction(shown, offscreen, 8);
    std::cout << "[ picture  ] editor_wine.png: " << 100 * exact << " % of pixels equal to the Linux picture, "
              << 100 * close << " % within 8 levels" << std::endl;
    RecordProperty("pixels_equal_percent", std::to_string(100 * exact));
    RecordProperty("pixels_within_8_percent", std::to_string(100 * close));
    EXPECT_GE(close, 0.90) << "the Windows editor looks like the Linux one";
    cairo_surface_destroy(shown);
    cairo_surface_destroy(offscreen);

    // Drag "Drive: AMOUNT" 40 pixels, towards the side it has room on: 0.2 at 0.005 per pixel.
    const CPoint knob = centreInFrame(editor->getControl(Vst::kDriveAmount));
    const float before = host.lastParameter(Vst::kDriveAmount);
    ASSERT_FALSE(std::isnan(before));
    const int step = before > 0.5f ? 4 : -4;
    xdotool({"mousemove", std::to_string(left + knob.x), std::to_string(top + knob.y)});
    host.pump(50);
    xdotool({"mousedown", "1"});
    host.pump(50);
    for (int i = 0; i < 10; ++i) {
        xdotool({"mousemove_relative", "--", "0", std::to_string(step)});
        host.pump(20);
    }
    xdotool({"mouseup", "1"});
    std::string changed;
    ASSERT_TRUE(host.waitFor("param " + std::to_string(Vst::kDriveAmount) + " ", changed, 5000))
        << "the drag reached no stored value";
    host.pump(200);
    EXPECT_NEAR(host.lastParameter(Vst::kDriveAmount) - before, step > 0 ? -0.2f : 0.2f, 0.011f);

    // Over an option button the value display is the native tracking tool-tip,
    // always shown and without prefix processing, with the control's value text.
    const Layout::ControlLayout* option = nullptr;
    for (const Layout::ControlLayout& c : Layout::controlLayouts())
        if (c.kind == Vst::ControlKind::kOption && editor->getControl(c.index)->isVisible()) {
            option = &c;
            break;
        }
    ASSERT_NE(option, nullptr);
    auto* optionControl = dynamic_cast<CCustomControl*>(editor->getControl(option->index));
    ASSERT_NE(optionControl, nullptr);
    const CPoint optionCentre = centreInFrame(optionControl);
    xdotool({"mousemove", std::to_string(left + optionCentre.x), std::to_string(top + optionCentre.y)});
    std::string tip;
    ASSERT_TRUE(host.waitFor("tip 1 ", tip, 5000)) << "no tool-tip window shown:\n" << host.process.output();
    EXPECT_EQ(tip, std::string("3 ") + optionControl->getDisplayText());
    xdotool({"mousemove", "1000", "740"});
    ASSERT_TRUE(host.waitFor("tip 0 ", tip, 5000)) << "the tool-tip stays after the mouse left";

    // The browser's "next" arrow selects program 1.
    const CPoint next = centreInFrame(editor->getProgramBrowser()->getNextButton());
    xdotool({"mousemove", std::to_string(left + next.x), std::to_string(top + next.y)});
    host.pump(50);
    xdotool({"click", "1"});
    std::string program;
    ASSERT_TRUE(host.waitFor("program 1", program, 5000)) << "the browser did not step:\n" << host.process.output();
    EXPECT_EQ(host.lastProgram(), 1);

    // "RENAME" and the keyboard: the program-name field takes the typed name.
    std::string name;
    ASSERT_TRUE(host.waitFor("name ", name, 2000));
    for (const Layout::CommandButton& button : Layout::commandButtons()) {
        if (button.tag != Layout::kRenameProgram) continue;
        xdotool({"mousemove", std::to_string(left + button.position.x + Layout::kCommandButtonSize.x / 2),
                 std::to_string(top + button.position.y + Layout::kCommandButtonSize.y / 2)});
        host.pump(50);
        xdotool({"click", "1"});
    }
    host.pump(200);
    std::vector<std::string> keys{"search", "--name", "^Morvelith test host$", "windowfocus", "key"};
    for (std::size_t i = 0; i < name.size(); ++i) keys.push_back("BackSpace");
    for (const char* key : {"o", "k", "Return"}) keys.push_back(key);
    xdotool(keys);
    std::string renamed;
    ASSERT_TRUE(host.waitFor("name ", renamed, 5000)) << "the name did not change:\n" << host.process.output();
    EXPECT_EQ(renamed, "ok");

    // The program's "LOAD" command opens the common Open dialog with its title.
    // A file that is no preset, typed into it, is refused in a message box
    // captioned with the product's name; Return closes the box.
    const fs::path bad = fs::temp_directory_path() / "morvelith_wine_not_a_preset.fxp";
    {
        std::ofstream out(bad, std::ios::binary | std::ios::trunc);
        out << "this is not a preset file";
    }
    std::string windowsPath = "Z:" + bad.string();
    std::replace(windowsPath.begin(), windowsPath.end(), '/', '\\');
    for (const Layout::CommandButton& button : Layout::commandButtons()) {
        if (button.tag != Layout::kLoadProgram) continue;
        const CPoint at(button.position.x + Layout::kCommandButtonSize.x / 2,
                        button.position.y + Layout::kCommandButtonSize.y / 2);
        xdotool({"mousemove", std::to_string(left + at.x), std::to_string(top + at.y)});
        host.pump(50);
        xdotool({"click", "1"});
    }
    std::string dialog;
    ASSERT_TRUE(host.waitFor("dialog ", dialog, 10000)) << "no dialog:\n" << host.process.output();
    EXPECT_EQ(dialog, "Load instrument");
    host.pump(300);
    // No window manager gives the new dialog the keyboard: hand it over, then type.
    xdotool({"search", "--name", "^Load instrument$", "windowfocus", "type", "--delay", "5", windowsPath});
    xdotool({"key", "Return"});
    ASSERT_TRUE(host.waitFor("dialog ", dialog, 10000)) << "no message box:\n" << host.process.output();
    EXPECT_EQ(dialog, "Morvelith VST Instrument");
    host.pump(300);
    xdotool({"search", "--name", "^Morvelith VST Instrument$", "windowfocus", "key", "Return"});
    EXPECT_TRUE(host.waitFor("dialogs closed", dialog, 5000)) << "the message box stays";
    fs::remove(bad);
}

TEST_F(EditorUnderWine, OpensAndClosesTwentyTimesWhileAudioRuns) {
    ASSERT_TRUE(host.start({"cycles", "20"}));
    std::string result;
    ASSERT_TRUE(host.waitFor("cycles ", result, 60000)) << "the host did not finish:\n" << host.process.output();
    int cycles = 0, opened = 0;
    long blocks = 0;
    std::string word1, word2;
    std::istringstream(result) >> cycles >> word1 >> opened >> word2 >> blocks;
    EXPECT_EQ(cycles, 20);
    EXPECT_EQ(opened, 20) << "every effEditOpen answered 1";
    EXPECT_GT(blocks, 20) << "the audio thread processed all along";
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!host.process.poll() && std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(host.process.exitCode(), 0) << "the host ended cleanly (no crash)";
}
