// The LV2 UI in a small in-process host under Xvfb (skipped with the reason
// when Xvfb or XTest is missing): the bundle's morvelith_lv2_ui.so opened with
// dlopen, its descriptor found by URI and instantiated in a host window with
// the idle, resize and touch features. Real pointer input drags a knob into a
// port write wrapped in touch; port events and notify messages move the
// controls, the browser and the names; instances come and go.
#include <dlfcn.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <lv2/atom/forge.h>
#include <lv2/atom/util.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/options/options.h>
#include <lv2/patch/patch.h>
#include <lv2/worker/worker.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include "editor/EditorLayout.h"
#include "gui/platform/PosixSubprocess.h"
#include "instrument/ParameterTable.h"
#include "lv2/Lv2Ports.h"
#include "lv2/Lv2Protocol.h"
#include "tests/support/XvfbServer.h"

// After GoogleTest: Xlib's macros (None, Bool, Status) would break its headers.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <X11/extensions/XTest.h>

namespace Layout = Vst::EditorLayout;
using namespace MorvelithLv2;

namespace {

struct PortWrite {
    void* controller;
    uint32_t port;
    uint32_t format;
    std::vector<uint8_t> bytes;
    float value() const {
        float v = 0.0f;
        if (bytes.size() == sizeof(float)) std::memcpy(&v, bytes.data(), sizeof(v));
        return v;
    }
};

struct Touch {
    uint32_t port;
    bool grabbed;
};

// The host's side: URIDs, and a record of every write, touch and resize.
struct Host {
    std::map<std::string, LV2_URID> ids;
    std::vector<PortWrite> writes;
    std::vector<Touch> touches;
    std::vector<std::pair<int, int>> sizes;
    // Writes and touches in one order, for the gesture's bracketing.
    std::vector<std::string> order;

    LV2_URID id(const char* uri) {
        auto [it, added] = ids.emplace(uri, static_cast<LV2_URID>(ids.size() + 1));
        return it->second;
    }
    static LV2_URID map(LV2_URID_Map_Handle handle, const char* uri) { return static_cast<Host*>(handle)->id(uri); }
    static void write(LV2UI_Controller controller, uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
        Host* host = current;
        const auto* bytes = static_cast<const uint8_t*>(buffer);
        host->writes.push_back({controller, port, format, std::vector<uint8_t>(bytes, bytes + size)});
        host->order.push_back(format == 0 ? "write" : "message");
        if (host->forward) host->forward(port, size, format, buffer);
    }
    // Where a write goes on to (the DSP in the round-trip suite).
    std::function<void(uint32_t, uint32_t, uint32_t, const void*)> forward;
    static void touch(LV2UI_Feature_Handle handle, uint32_t port, bool grabbed) {
        auto* host = static_cast<Host*>(handle);
        host->touches.push_back({port, grabbed});
        host->order.push_back(grabbed ? "grab" : "release");
    }
    static int resize(LV2UI_Feature_Handle handle, int width, int height) {
        static_cast<Host*>(handle)->sizes.emplace_back(width, height);
        return 0;
    }
    static inline Host* current = nullptr;
};

// A protocol message the UI wrote, read back: the property's URID and the value atom.
struct Message {
    LV2_URID otype = 0;
    LV2_URID property = 0;
    const LV2_Atom* value = nullptr;
};

class Lv2UiInX : public ::testing::Test {
protected:
    void SetUp() override {
        std::string name;
        if (const std::string why = TestSupport::startXvfb(server, name); !why.empty()) GTEST_SKIP() << why;
        display = XOpenDisplay(name.c_str());
        ASSERT_NE(display, nullptr);
        int event = 0, error = 0, major = 0, minor = 0;
        if (!XTestQueryExtension(display, &event, &error, &major, &minor))
            GTEST_SKIP() << "the X server has no XTEST extension";

        library = dlopen(MORVELITH_LV2_UI_BINARY, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library, nullptr) << dlerror();
        auto entry = reinterpret_cast<LV2UI_DescriptorFunction>(dlsym(library, "lv2ui_descriptor"));
        ASSERT_NE(entry, nullptr);
        for (uint32_t i = 0; (descriptor = entry(i)) != nullptr; ++i)
            if (std::strcmp(descriptor->URI, kUiUri) == 0) break;
        ASSERT_NE(descriptor, nullptr) << "no UI " << kUiUri;
        idleInterface = static_cast<const LV2UI_Idle_Interface*>(descriptor->extension_data(LV2_UI__idleInterface));
        ASSERT_NE(idleInterface, nullptr);

        Host::current = &host;
        map = {&host, Host::map};
        touch = {&host, Host::touch};
        resize = {&host, Host::resize};
        eventTransfer = host.id(LV2_ATOM__eventTransfer);
        parent = newParent(20);
    }
    void TearDown() override {
        for (LV2UI_Handle handle : open) descriptor->cleanup(handle);
        open.clear();
        if (display) XCloseDisplay(display);
        if (library) dlclose(library);
        server.terminate();
        Host::current = nullptr;
    }

    Window newParent(int x) {
        Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), x, 20, 865, 555, 0,
                                            BlackPixel(display, 0), WhitePixel(display, 0));
        XMapWindow(display, window);
        XSync(display, False);
        return window;
    }

    // Instantiates with the parent and, unless left out, map, touch and resize.
    LV2UI_Handle instantiate(Window into, void* controller, bool withTouch = true, LV2UI_Widget* widgetOut = nullptr) {
        const LV2_Feature parentFeature{LV2_UI__parent, reinterpret_cast<void*>(static_cast<uintptr_t>(into))};
        const LV2_Feature mapFeature{LV2_URID__map, &map};
        const LV2_Feature touchFeature{LV2_UI__touch, &touch};
        const LV2_Feature resizeFeature{LV2_UI__resize, &resize};
        std::vector<const LV2_Feature*> features{&parentFeature, &mapFeature, &resizeFeature};
        if (withTouch) features.push_back(&touchFeature);
        features.push_back(nullptr);
        LV2UI_Widget widget = nullptr;
        LV2UI_Handle handle = descriptor->instantiate(descriptor, kPluginUri, "/nowhere/morvelith.lv2/", Host::write,
                                                      controller, &widget, features.data());
        if (handle != nullptr) {
            open.push_back(handle);
            if (widgetOut) *widgetOut = widget;
            this->widget = reinterpret_cast<uintptr_t>(widget);
        }
        return handle;
    }
    void cleanup(LV2UI_Handle handle) {
        descriptor->cleanup(handle);
        std::erase(open, handle);
    }

    // The host's loop: every open UI idles every 10 ms.
    bool runUntil(const std::function<bool()>& done, int ms = 3000) {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < limit) {
            for (LV2UI_Handle handle : open) EXPECT_EQ(idleInterface->idle(handle), 0);
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    void runFor(int ms) {
        runUntil([] { return false; }, ms);
    }

    // Real input at a point of the editor (its own coordinates).
    void moveTo(const CPoint& inEditor) {
        int x = 0, y = 0;
        Window child = 0;
        XTranslateCoordinates(display, static_cast<Window>(widget), DefaultRootWindow(display), inEditor.x, inEditor.y,
                              &x, &y, &child);
        XTestFakeMotionEvent(display, 0, x, y, CurrentTime);
        XFlush(display);
        runFor(30);
    }
    void moveBy(int dx, int dy) {
        XTestFakeRelativeMotionEvent(display, dx, dy, CurrentTime);
        XFlush(display);
        runFor(20);
    }
    void button(bool down) {
        XTestFakeButtonEvent(display, 1, down ? True : False, CurrentTime);
        XFlush(display);
        runFor(30);
    }
    void click(const CPoint& inEditor) {
        moveTo(inEditor);
        button(true);
        button(false);
    }
    void typeKey(KeySym keysym) {
        const KeyCode code = XKeysymToKeycode(display, keysym);
        XTestFakeKeyEvent(display, code, True, CurrentTime);
        XTestFakeKeyEvent(display, code, False, CurrentTime);
        XFlush(display);
        runFor(20);
    }
    // Drags the control of index up by 40 pixels in steps of 4.
    void dragUp(int index) {
        const CRect& r = Layout::controlLayout(index)->rect;
        moveTo(CPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2));
        button(true);
        for (int i = 0; i < 10; ++i) moveBy(0, -4);
        button(false);
        runFor(50);
    }
    // The first value a drag of index writes: what the control showed at the press.
    float valueAtPressOf(int index) {
        const size_t from = host.writes.size();
        dragUp(index);
        for (size_t i = from; i < host.writes.size(); ++i)
            if (host.writes[i].format == 0 && static_cast<int>(host.writes[i].port) == portOfParameter(index))
                return host.writes[i].value();
        ADD_FAILURE() << "the drag wrote nothing";
        return -1.0f;
    }
    static CPoint commandButton(long tag) {
        for (const Layout::CommandButton& b : Layout::commandButtons())
            if (b.tag == tag) return CPoint(b.position.x + 30, b.position.y + 15);
        return CPoint();
    }
    static CPoint nextProgramButton() {
        const CRect& r = Layout::kBrowserRect;
        const int h = r.height();
        return CPoint(r.right - h / 2, r.top + h / 2);
    }

    // A control port's value as the host reports it.
    void sendPortValue(LV2UI_Handle handle, int index, float value) {
        descriptor->port_event(handle, static_cast<uint32_t>(portOfParameter(index)), sizeof(float), 0, &value);
    }
    // The DSP's notify message: program, then names, as one patch:Set each.
    void sendNotify(LV2UI_Handle handle, int program, const std::vector<std::string>& names) {
        alignas(8) uint8_t buffer[8192];
        LV2_Atom_Forge forge;
        lv2_atom_forge_init(&forge, &map);
        auto forgeSet = [&](LV2_URID property, const std::function<void()>& value) {
            lv2_atom_forge_set_buffer(&forge, buffer, sizeof(buffer));
            LV2_Atom_Forge_Frame frame;
            auto* atom = reinterpret_cast<LV2_Atom*>(lv2_atom_forge_object(&forge, &frame, 0, host.id(LV2_PATCH__Set)));
            lv2_atom_forge_key(&forge, host.id(LV2_PATCH__property));
            lv2_atom_forge_urid(&forge, property);
            lv2_atom_forge_key(&forge, host.id(LV2_PATCH__value));
            value();
            lv2_atom_forge_pop(&forge, &frame);
            descriptor->port_event(handle, kNotifyPort, lv2_atom_total_size(atom), eventTransfer, atom);
        };
        forgeSet(host.id(kProgramNamesUri), [&] {
            LV2_Atom_Forge_Frame tuple;
            lv2_atom_forge_tuple(&forge, &tuple);
            for (const std::string& n : names) lv2_atom_forge_string(&forge, n.c_str(), static_cast<uint32_t>(n.size()));
            lv2_atom_forge_pop(&forge, &tuple);
        });
        forgeSet(host.id(kProgramUri), [&] { lv2_atom_forge_int(&forge, program); });
    }

    // The DSP's notify message with a program's values (181, by parameter index).
    void sendValues(LV2UI_Handle handle, const std::vector<float>& values) {
        alignas(8) uint8_t buffer[4096];
        LV2_Atom_Forge forge;
        lv2_atom_forge_init(&forge, &map);
        lv2_atom_forge_set_buffer(&forge, buffer, sizeof(buffer));
        LV2_Atom_Forge_Frame frame;
        auto* atom = reinterpret_cast<LV2_Atom*>(lv2_atom_forge_object(&forge, &frame, 0, host.id(LV2_PATCH__Set)));
        lv2_atom_forge_key(&forge, host.id(LV2_PATCH__property));
        lv2_atom_forge_urid(&forge, host.id(kParameterValuesUri));
        lv2_atom_forge_key(&forge, host.id(LV2_PATCH__value));
        lv2_atom_forge_vector(&forge, sizeof(float), host.id(LV2_ATOM__Float), static_cast<uint32_t>(values.size()),
                              values.data());
        lv2_atom_forge_pop(&forge, &frame);
        descriptor->port_event(handle, kNotifyPort, lv2_atom_total_size(atom), eventTransfer, atom);
    }

    Message read(const PortWrite& write) {
        Message m;
        const auto* atom = reinterpret_cast<const LV2_Atom*>(write.bytes.data());
        if (write.format != eventTransfer || write.bytes.size() < sizeof(LV2_Atom) ||
            atom->type != host.id(LV2_ATOM__Object))
            return m;
        const auto* object = reinterpret_cast<const LV2_Atom_Object*>(atom);
        m.otype = object->body.otype;
        const LV2_Atom* property = nullptr;
        lv2_atom_object_get(object, host.id(LV2_PATCH__property), &property, host.id(LV2_PATCH__value), &m.value, 0);
        if (property != nullptr && property->type == host.id(LV2_ATOM__URID))
            m.property = reinterpret_cast<const LV2_Atom_URID*>(property)->body;
        return m;
    }
    // The protocol messages written since `from`.
    std::vector<Message> messagesSince(size_t from) {
        std::vector<Message> out;
        for (size_t i = from; i < host.writes.size(); ++i)
            if (host.writes[i].port == kMidiInPort && host.writes[i].format == eventTransfer)
                out.push_back(read(host.writes[i]));
        return out;
    }
    std::vector<PortWrite> portWritesOn(int port) const {
        std::vector<PortWrite> out;
        for (const PortWrite& w : host.writes)
            if (w.format == 0 && static_cast<int>(w.port) == port) out.push_back(w);
        return out;
    }
    // The pixels of an area of the editor's window.
    std::vector<unsigned long> pixels(const CRect& r) {
        XImage* image = XGetImage(display, static_cast<Window>(widget), r.left, r.top, static_cast<unsigned>(r.width()),
                                  static_cast<unsigned>(r.height()), AllPlanes, ZPixmap);
        std::vector<unsigned long> out;
        if (image == nullptr) return out;
        for (int y = 0; y < r.height(); ++y)
            for (int x = 0; x < r.width(); ++x) out.push_back(XGetPixel(image, x, y));
        XDestroyImage(image);
        return out;
    }
    Window childOf(Window window) {
        Window root = 0, up = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        XQueryTree(display, window, &root, &up, &children, &count);
        const Window child = count == 1 ? children[0] : 0;
        if (children) XFree(children);
        return child;
    }
    int childrenOf(Window window) {
        Window root = 0, up = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        XQueryTree(display, window, &root, &up, &children, &count);
        if (children) XFree(children);
        return static_cast<int>(count);
    }

    PosixSubprocess server;
    Display* display = nullptr;
    void* library = nullptr;
    const LV2UI_Descriptor* descriptor = nullptr;
    const LV2UI_Idle_Interface* idleInterface = nullptr;
    Host host;
    LV2_URID_Map map{};
    LV2UI_Touch touch{};
    LV2UI_Resize resize{};
    LV2_URID eventTransfer = 0;
    Window parent = 0;
    uintptr_t widget = 0;
    std::vector<LV2UI_Handle> open;
    int controllerA = 0;
    int controllerB = 0;
};

}  // namespace

TEST_F(Lv2UiInX, EmbedsInTheHostWindowReportsItsSizeAndAsksTheDspForItsState) {
    EXPECT_EQ(instantiate(parent, &controllerA) != nullptr, true);
    ASSERT_EQ(open.size(), 1u);
    EXPECT_EQ(childrenOf(parent), 1) << "the editor's window is a child of ui:parent";
    EXPECT_NE(widget, 0u);
    ASSERT_EQ(host.sizes.size(), 1u);
    EXPECT_EQ(host.sizes[0], std::make_pair(865, 555));

    runFor(50);
    const std::vector<Message> first = messagesSince(0);
    ASSERT_EQ(first.size(), 1u) << "one request at the first idle";
    EXPECT_EQ(first[0].otype, host.id(LV2_PATCH__Get));
    EXPECT_EQ(host.writes[0].controller, &controllerA);

    // Another plug-in's URI, or no window to live in: no UI.
    const LV2_Feature parentFeature{LV2_UI__parent, reinterpret_cast<void*>(static_cast<uintptr_t>(parent))};
    const LV2_Feature* withParent[] = {&parentFeature, nullptr};
    const LV2_Feature* without[] = {nullptr};
    LV2UI_Widget w = nullptr;
    EXPECT_EQ(descriptor->instantiate(descriptor, "urn:other", "", Host::write, &controllerA, &w, withParent), nullptr);
    EXPECT_EQ(descriptor->instantiate(descriptor, kPluginUri, "", Host::write, &controllerA, &w, without), nullptr);
    EXPECT_EQ(childrenOf(parent), 1);
}

TEST_F(Lv2UiInX, AKnobDragIsATouchedRunOfPortWritesFromWhereThePortEventPutIt) {
    ASSERT_NE(instantiate(parent, &controllerA), nullptr);
    runFor(100);
    const int port = portOfParameter(Vst::kMasterLevel);
    ASSERT_GE(port, kFirstControlPort);
    ASSERT_NE(Vst::parameterInfo(Vst::kMasterLevel).defaultValue, 0.3f) << "the start must differ from the default";

    // The host's port event moves the knob (its picture changes at idle) ...
    const CRect knob = Layout::controlLayout(Vst::kMasterLevel)->rect;
    sendPortValue(open[0], Vst::kMasterLevel, 0.0f);
    runFor(100);
    const std::vector<unsigned long> atZero = pixels(knob);
    sendPortValue(open[0], Vst::kMasterLevel, 0.3f);
    runFor(100);
    EXPECT_NE(pixels(knob), atZero) << "a port event redraws the knob";
    EXPECT_TRUE(portWritesOn(port).empty()) << "a value from the host is not written back";

    // ... and a 40-pixel drag from there writes 0.2 more, at 0.005 per pixel.
    host.order.clear();
    dragUp(Vst::kMasterLevel);
    const std::vector<PortWrite> writes = portWritesOn(port);
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(writes.front().value(), 0.3f) << "the press reports the value the port event set";
    EXPECT_NEAR(writes.back().value() - 0.3f, 0.2f, 0.011f);
    for (const PortWrite& w : writes) EXPECT_EQ(w.controller, &controllerA);
    for (size_t i = 1; i < writes.size(); ++i) EXPECT_GE(writes[i].value(), writes[i - 1].value());

    ASSERT_EQ(host.touches.size(), 2u);
    EXPECT_EQ(host.touches[0].port, static_cast<uint32_t>(port));
    EXPECT_TRUE(host.touches[0].grabbed);
    EXPECT_EQ(host.touches[1].port, static_cast<uint32_t>(port));
    EXPECT_FALSE(host.touches[1].grabbed);
    ASSERT_GE(host.order.size(), 3u);
    EXPECT_EQ(host.order.front(), "grab");
    EXPECT_EQ(host.order.back(), "release");
    for (size_t i = 1; i + 1 < host.order.size(); ++i) EXPECT_EQ(host.order[i], "write");
}

TEST_F(Lv2UiInX, WithoutTouchTheDragStillWrites) {
    ASSERT_NE(instantiate(parent, &controllerA, false), nullptr);
    runFor(100);
    dragUp(Vst::kLpfRes);
    EXPECT_FALSE(portWritesOn(portOfParameter(Vst::kLpfRes)).empty());
    EXPECT_TRUE(host.touches.empty());
}

TEST_F(Lv2UiInX, NotifiedNamesAndProgramReachTheBrowserAndTheCommandsAnswerInMessages) {
    ASSERT_NE(instantiate(parent, &controllerA), nullptr);
    runFor(100);
    const CRect browser = Layout::kBrowserRect;
    const std::vector<unsigned long> empty = pixels(browser);
    std::vector<std::string> names;
    for (int i = 0; i < kProgramCount; ++i) names.push_back("Sound " + std::to_string(i));
    sendNotify(open[0], 7, names);
    runFor(100);
    EXPECT_NE(pixels(browser), empty) << "the browser shows the notified name";

    // "next" asks for program 8; rename starts from the notified name of the
    // program now current and sends it back as typed.
    size_t from = host.writes.size();
    click(nextProgramButton());
    click(commandButton(Layout::kCopyProgram));
    click(commandButton(Layout::kPasteProgram));
    click(commandButton(Layout::kInitializeProgram));
    click(commandButton(Layout::kRenameProgram));
    runFor(50);
    for (KeySym key : {XK_space, XK_x, XK_Return}) typeKey(key);
    runFor(50);
    const std::vector<Message> sent = messagesSince(from);
    ASSERT_EQ(sent.size(), 5u);
    auto intOf = [](const Message& m) { return reinterpret_cast<const LV2_Atom_Int*>(m.value)->body; };
    for (const Message& m : sent) {
        EXPECT_EQ(m.otype, host.id(LV2_PATCH__Set));
        ASSERT_NE(m.value, nullptr);
    }
    EXPECT_EQ(sent[0].property, host.id(kProgramUri));
    EXPECT_EQ(intOf(sent[0]), 8);
    EXPECT_EQ(sent[1].property, host.id(kCommandUri));
    EXPECT_EQ(intOf(sent[1]), kCommandCopy);
    EXPECT_EQ(intOf(sent[2]), kCommandPaste);
    EXPECT_EQ(intOf(sent[3]), kCommandInit);
    EXPECT_EQ(sent[4].property, host.id(kProgramNameUri));
    ASSERT_EQ(sent[4].value->type, host.id(LV2_ATOM__String));
    EXPECT_STREQ(static_cast<const char*>(LV2_ATOM_BODY_CONST(sent[4].value)), "Sound 8 x");

    // The file buttons are out of use in a host that keeps the bank: a press sends nothing.
    from = host.writes.size();
    click(commandButton(Layout::kLoadBank));
    click(commandButton(Layout::kSaveProgram));
    runFor(100);
    EXPECT_EQ(host.writes.size(), from);
}

TEST_F(Lv2UiInX, AProgramsValuesAreWrittenToTheHostsPortsOnlyWhereTheyDiffer) {
    ASSERT_NE(instantiate(parent, &controllerA), nullptr);
    // The host reports every port as its default, as hosts do on opening a UI.
    std::vector<float> program(kParameterCount, 0.0f);
    for (int i = 0; i < kParameterCount; ++i) {
        program[static_cast<size_t>(i)] = Vst::parameterInfo(i).defaultValue;
        if (portOfParameter(i) >= 0) sendPortValue(open[0], i, program[static_cast<size_t>(i)]);
    }
    runFor(50);
    // A program differing in two parameters arrives from the DSP.
    program[Vst::kLpfRes] = 0.625f;
    program[Vst::kMasterLevel] = 0.125f;
    const size_t from = host.writes.size();
    sendValues(open[0], program);
    runFor(50);
    std::map<uint32_t, float> written;
    for (size_t i = from; i < host.writes.size(); ++i)
        if (host.writes[i].format == 0) written[host.writes[i].port] = host.writes[i].value();
    const std::map<uint32_t, float> expected{
        {static_cast<uint32_t>(portOfParameter(Vst::kLpfRes)), 0.625f},
        {static_cast<uint32_t>(portOfParameter(Vst::kMasterLevel)), 0.125f}};
    EXPECT_EQ(written, expected);
    EXPECT_TRUE(host.touches.empty()) << "the program's doing, not a gesture";

    // The same values again write nothing; the knob shows the program's value.
    const size_t again = host.writes.size();
    sendValues(open[0], program);
    runFor(50);
    EXPECT_EQ(host.writes.size(), again);
    EXPECT_EQ(valueAtPressOf(Vst::kLpfRes), 0.625f);
}

TEST_F(Lv2UiInX, OpensAndClosesTenTimesAndTwoInstancesLiveSideBySide) {
    for (int round = 0; round < 10; ++round) {
        LV2UI_Handle handle = instantiate(parent, &controllerA);
        ASSERT_NE(handle, nullptr) << round;
        sendPortValue(handle, Vst::kLpfRes, 0.1f * static_cast<float>(round % 10));
        runFor(20);
        cleanup(handle);
        XSync(display, False);
        EXPECT_EQ(childrenOf(parent), 0) << "cleanup removes the window, round " << round;
    }

    const Window second = newParent(40);
    LV2UI_Handle a = instantiate(parent, &controllerA);
    LV2UI_Handle b = instantiate(second, &controllerB);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    const size_t from = host.writes.size();
    runFor(100);
    sendPortValue(a, Vst::kMasterLevel, 0.25f);
    sendPortValue(b, Vst::kMasterLevel, 0.75f);
    runFor(100);
    int fromA = 0, fromB = 0;
    for (size_t i = from; i < host.writes.size(); ++i) {
        fromA += host.writes[i].controller == &controllerA;
        fromB += host.writes[i].controller == &controllerB;
    }
    EXPECT_EQ(fromA, 1) << "each instance asks through its own controller";
    EXPECT_EQ(fromB, 1);
    const CRect knob = Layout::controlLayout(Vst::kMasterLevel)->rect;
    widget = childOf(parent);
    const std::vector<unsigned long> inFirst = pixels(knob);
    widget = childOf(second);
    EXPECT_NE(pixels(knob), inFirst) << "each instance shows its own value";
    cleanup(a);
    runFor(50);
    EXPECT_EQ(childrenOf(parent), 0);
    EXPECT_EQ(childrenOf(second), 1) << "closing one leaves the other";
}

TEST_F(Lv2UiInX, AHostThatDestroysItsWindowFirstCanStillIdleAndCleanUp) {
    const Window doomed = newParent(60);
    LV2UI_Handle handle = instantiate(doomed, &controllerA);
    ASSERT_NE(handle, nullptr);
    runFor(50);
    XDestroyWindow(display, doomed);
    XSync(display, False);
    runFor(100);  // idles into a window that is gone
    sendPortValue(handle, Vst::kLpfRes, 0.5f);
    runFor(50);
    cleanup(handle);
    // The process and the display are still fine: another UI opens.
    ASSERT_NE(instantiate(parent, &controllerA), nullptr);
    runFor(50);
    EXPECT_EQ(childrenOf(parent), 1);
}

// --- The UI and the DSP together ------------------------------------------------------------

namespace {

// The bundle's DSP run in process as a host runs it, with a worker that does
// its work at once; the UI's writes reach its ports and its notify port's
// events reach the UI, as a host carries them.
class Lv2UiWithDsp : public Lv2UiInX {
protected:
    static constexpr uint32_t kBlock = 256;

    void SetUp() override {
        Lv2UiInX::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        dsp = dlopen(MORVELITH_LV2_DSP_BINARY, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(dsp, nullptr) << dlerror();
        auto entry = reinterpret_cast<LV2_Descriptor_Function>(dlsym(dsp, "lv2_descriptor"));
        ASSERT_NE(entry, nullptr);
        plugin = entry(0);
        ASSERT_NE(plugin, nullptr);
        ASSERT_STREQ(plugin->URI, kPluginUri);

        schedule = {this, &Lv2UiWithDsp::scheduleWork};
        options[0] = {LV2_OPTIONS_INSTANCE, 0, host.id(LV2_BUF_SIZE__maxBlockLength), sizeof(int32_t),
                      host.id(LV2_ATOM__Int), &maxBlock};
        options[1] = {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr};
        const LV2_Feature mapFeature{LV2_URID__map, &map};
        const LV2_Feature scheduleFeature{LV2_WORKER__schedule, &schedule};
        const LV2_Feature optionsFeature{LV2_OPTIONS__options, options.data()};
        const LV2_Feature* features[] = {&mapFeature, &scheduleFeature, &optionsFeature, nullptr};
        handle = plugin->instantiate(plugin, 44100.0, MORVELITH_LV2_BUNDLE_DIR "/", features);
        ASSERT_NE(handle, nullptr);
        worker = static_cast<const LV2_Worker_Interface*>(plugin->extension_data(LV2_WORKER__interface));
        ASSERT_NE(worker, nullptr);
        for (int control = 0; control < kControlPortCount; ++control) {
            controls[static_cast<size_t>(control)] = Vst::parameterInfo(kParameterOfControl[control]).defaultValue;
            plugin->connect_port(handle, static_cast<uint32_t>(kFirstControlPort + control), &controls[static_cast<size_t>(control)]);
        }
        plugin->connect_port(handle, kMidiInPort, input.data());
        plugin->connect_port(handle, kNotifyPort, notify.data());
        plugin->connect_port(handle, kOutLeftPort, left.data());
        plugin->connect_port(handle, kOutRightPort, right.data());
        if (plugin->activate) plugin->activate(handle);

        host.forward = [this](uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
            if (format == 0 && parameterOfPort(static_cast<int>(port)) >= 0 && size == sizeof(float)) {
                std::memcpy(&controls[port - kFirstControlPort], buffer, sizeof(float));
            } else if (port == kMidiInPort && format == eventTransfer) {
                const auto* bytes = static_cast<const uint8_t*>(buffer);
                pending.emplace_back(bytes, bytes + size);
            }
        };
    }
    void TearDown() override {
        for (LV2UI_Handle ui : open) descriptor->cleanup(ui);
        open.clear();
        host.forward = nullptr;
        if (handle != nullptr) {
            if (plugin->deactivate) plugin->deactivate(handle);
            plugin->cleanup(handle);
        }
        if (dsp) dlclose(dsp);
        Lv2UiInX::TearDown();
    }

    static LV2_Worker_Status respond(LV2_Worker_Respond_Handle, uint32_t, const void*) { return LV2_WORKER_SUCCESS; }
    static LV2_Worker_Status scheduleWork(LV2_Worker_Schedule_Handle self, uint32_t size, const void* data) {
        auto* test = static_cast<Lv2UiWithDsp*>(self);
        return test->worker->work(test->handle, &respond, test, size, data);
    }

    // One block: the UI's messages in, the notify events out to the UI and the picture.
    void runBlock() {
        LV2_Atom_Forge forge;
        lv2_atom_forge_init(&forge, &map);
        lv2_atom_forge_set_buffer(&forge, reinterpret_cast<uint8_t*>(input.data()), sizeof(input));
        LV2_Atom_Forge_Frame sequence;
        lv2_atom_forge_sequence_head(&forge, &sequence, 0);
        for (const std::vector<uint8_t>& message : pending) {
            lv2_atom_forge_frame_time(&forge, 0);
            lv2_atom_forge_write(&forge, message.data(), static_cast<uint32_t>(message.size()));
        }
        pending.clear();
        lv2_atom_forge_pop(&forge, &sequence);
        auto* out = reinterpret_cast<LV2_Atom_Sequence*>(notify.data());
        out->atom.type = 0;
        out->atom.size = static_cast<uint32_t>(sizeof(notify) - sizeof(LV2_Atom));
        plugin->run(handle, kBlock);
        LV2_ATOM_SEQUENCE_FOREACH(out, event) {
            readPicture(&event->body);
            for (LV2UI_Handle ui : open)
                descriptor->port_event(ui, kNotifyPort, static_cast<uint32_t>(sizeof(LV2_Atom) + event->body.size),
                                       eventTransfer, &event->body);
        }
    }
    // The host's loop: a block and an idle every 10 ms.
    bool play(const std::function<bool()>& done, int ms = 3000) {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < limit) {
            runBlock();
            for (LV2UI_Handle ui : open) idleInterface->idle(ui);
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    void readPicture(const LV2_Atom* atom) {
        PortWrite as{nullptr, kNotifyPort, eventTransfer,
                     std::vector<uint8_t>(reinterpret_cast<const uint8_t*>(atom),
                                          reinterpret_cast<const uint8_t*>(atom) + sizeof(LV2_Atom) + atom->size)};
        const Message m = read(as);
        if (m.value == nullptr) return;
        if (m.property == host.id(kProgramUri)) {
            program = reinterpret_cast<const LV2_Atom_Int*>(m.value)->body;
        } else if (m.property == host.id(kProgramNamesUri)) {
            names.clear();
            LV2_ATOM_TUPLE_FOREACH(reinterpret_cast<const LV2_Atom_Tuple*>(m.value), entry)
                names.emplace_back(static_cast<const char*>(LV2_ATOM_BODY_CONST(entry)));
        } else if (m.property == host.id(kParameterValuesUri)) {
            const auto* vector = reinterpret_cast<const LV2_Atom_Vector*>(m.value);
            const auto* floats = reinterpret_cast<const float*>(&vector->body + 1);
            values.assign(floats, floats + (vector->atom.size - sizeof(LV2_Atom_Vector_Body)) / sizeof(float));
            ++pictures;
        }
    }
    // Asks the DSP for its picture as the UI does, and waits for it.
    void refresh() {
        const int before = pictures;
        alignas(8) uint8_t buffer[64];
        LV2_Atom_Forge forge;
        lv2_atom_forge_init(&forge, &map);
        lv2_atom_forge_set_buffer(&forge, buffer, sizeof(buffer));
        LV2_Atom_Forge_Frame frame;
        auto* get = reinterpret_cast<LV2_Atom*>(lv2_atom_forge_object(&forge, &frame, 0, host.id(LV2_PATCH__Get)));
        lv2_atom_forge_pop(&forge, &frame);
        pending.emplace_back(reinterpret_cast<uint8_t*>(get), reinterpret_cast<uint8_t*>(get) + lv2_atom_total_size(get));
        ASSERT_TRUE(play([&] { return pictures > before; }));
    }
    void* dsp = nullptr;
    const LV2_Descriptor* plugin = nullptr;
    LV2_Handle handle = nullptr;
    const LV2_Worker_Interface* worker = nullptr;
    LV2_Worker_Schedule schedule{};
    int32_t maxBlock = kBlock;
    std::array<LV2_Options_Option, 2> options{};
    std::array<float, kControlPortCount> controls{};
    alignas(8) std::array<uint64_t, 2048> input{};
    alignas(8) std::array<uint64_t, 4096> notify{};
    std::array<float, kBlock> left{}, right{};
    std::vector<std::vector<uint8_t>> pending;
    int program = -1;
    std::vector<std::string> names;
    std::vector<float> values;
    int pictures = 0;
};

}  // namespace

TEST_F(Lv2UiWithDsp, TheEditorAndTheDspUnderstandEachOther) {
    ASSERT_NE(instantiate(parent, &controllerA), nullptr);
    // The UI's first request brings the DSP's picture.
    ASSERT_TRUE(play([&] { return pictures > 0; })) << "no answer to the UI's request";
    ASSERT_EQ(program, 0);
    ASSERT_EQ(names.size(), static_cast<size_t>(kProgramCount));
    ASSERT_EQ(values.size(), static_cast<size_t>(kParameterCount));
    play([] { return false; }, 100);

    // "next" selects program 1 in the DSP, whose values the knobs then show.
    click(nextProgramButton());
    ASSERT_TRUE(play([&] { return program == 1; })) << "the DSP did not select program 1";
    play([] { return false; }, 100);
    const std::vector<float> programOne = values;
    for (int control = 0; control < kControlPortCount; ++control)
        EXPECT_EQ(controls[static_cast<size_t>(control)], programOne[static_cast<size_t>(kParameterOfControl[control])])
            << "the host's port " << kFirstControlPort + control << " follows the program";
    EXPECT_EQ(valueAtPressOf(Vst::kLpfRes), programOne[Vst::kLpfRes]) << "the knob shows the DSP's program 1 value";

    // The drag's last write is the DSP's stored value after a block.
    float lastWrite = -1.0f;
    for (const PortWrite& w : host.writes)
        if (w.format == 0 && static_cast<int>(w.port) == portOfParameter(Vst::kLpfRes)) lastWrite = w.value();
    play([] { return false; }, 50);  // the port is read at a block's start, stored by its end
    refresh();
    EXPECT_EQ(values[Vst::kLpfRes], lastWrite) << "the DSP stored what the knob wrote";

    // Rename starts from the DSP's name of the current program and lands there.
    const std::string before = names[1];
    click(commandButton(Layout::kRenameProgram));
    play([] { return false; }, 50);
    for (KeySym key : {XK_space, XK_z, XK_Return}) typeKey(key);
    ASSERT_TRUE(play([&] { return names.size() > 1 && names[1] == (before + " z").substr(0, kProgramNameChars); }))
        << "the DSP's program 1 is named '" << names[1] << "'";

    // Copy program 1, step to program 2, paste: program 2 holds program 1's values.
    refresh();
    const std::vector<float> source = values;
    click(commandButton(Layout::kCopyProgram));
    click(nextProgramButton());
    ASSERT_TRUE(play([&] { return program == 2; }));
    click(commandButton(Layout::kPasteProgram));
    refresh();
    EXPECT_EQ(program, 2);
    EXPECT_EQ(values, source) << "paste through the UI copies the whole program";
    EXPECT_EQ(names[2], names[1]);
}
