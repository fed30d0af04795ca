// The LV2 UI's entry: lv2ui_descriptor for urn:morvelith:instrument#ui, an
// X11 UI that embeds the same MorvelithEditor as the VST plug-in in the host's
// ui:parent window, is driven by ui:idleInterface and reports its size through
// ui:resize. Every function here runs on the host's UI thread.
#include <cstring>
#include <memory>

#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include "editor/MorvelithEditor.h"
#include "editor/controls/CCustomFrame.h"
#include "gui/platform/PlatformWindow.h"
#include "lv2/Lv2Ports.h"
#include "lv2/ui/Lv2EditorController.h"

namespace MorvelithLv2 {

namespace {

struct UiInstance {
    std::unique_ptr<Vst::MorvelithEditor> editor;
    Lv2EditorController* controller = nullptr;  // owned by the editor
    bool askedForEverything = false;
};

const void* feature(const LV2_Feature* const* features, const char* uri) {
    if (features == nullptr) return nullptr;
    for (const LV2_Feature* const* f = features; *f != nullptr; ++f)
        if (std::strcmp((*f)->URI, uri) == 0) return (*f)->data;
    return nullptr;
}

LV2UI_Handle instantiate(const LV2UI_Descriptor*, const char* pluginUri, const char*,
                         LV2UI_Write_Function write, LV2UI_Controller host, LV2UI_Widget* widget,
                         const LV2_Feature* const* features) {
    if (pluginUri == nullptr || std::strcmp(pluginUri, kPluginUri) != 0 || write == nullptr) return nullptr;
    // An X11 UI lives inside the host's window; without one there is nothing to show.
    void* parent = const_cast<void*>(feature(features, LV2_UI__parent));
    if (parent == nullptr) return nullptr;
    const auto* map = static_cast<const LV2_URID_Map*>(feature(features, LV2_URID__map));
    const auto* touch = static_cast<const LV2UI_Touch*>(feature(features, LV2_UI__touch));
    const auto* resize = static_cast<const LV2UI_Resize*>(feature(features, LV2_UI__resize));

    auto instance = std::make_unique<UiInstance>();
    auto controller = std::make_unique<Lv2EditorController>(write, host, map, touch);
    instance->controller = controller.get();
    instance->editor = std::make_unique<Vst::MorvelithEditor>(nullptr, std::move(controller));
    instance->controller->setEditor(instance->editor.get());
    if (!instance->editor->open(parent)) return nullptr;

    if (widget != nullptr)
        *widget = reinterpret_cast<LV2UI_Widget>(instance->editor->getFrame()->getPlatformWindow()->getNativeHandle());
    if (resize != nullptr)
        resize->ui_resize(resize->handle, Vst::MorvelithEditor::kWidth, Vst::MorvelithEditor::kHeight);
    return instance.release();
}

void cleanup(LV2UI_Handle handle) {
    auto* instance = static_cast<UiInstance*>(handle);
    instance->controller->setEditor(nullptr);
    instance->editor->close();
    delete instance;
}

void portEvent(LV2UI_Handle handle, uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
    static_cast<UiInstance*>(handle)->controller->portEvent(port, size, format, buffer);
}

int idle(LV2UI_Handle handle) {
    auto* instance = static_cast<UiInstance*>(handle);
    // Asked at the first idle rather than from instantiate, when the host is
    // certainly ready to pass messages on.
    if (!instance->askedForEverything) {
        instance->askedForEverything = true;
        instance->controller->requestEverything();
    }
    instance->editor->idle();
    return 0;
}

const LV2UI_Idle_Interface kIdleInterface{idle};

const void* extensionData(const char* uri) {
    if (uri != nullptr && std::strcmp(uri, LV2_UI__idleInterface) == 0) return &kIdleInterface;
    return nullptr;
}

const LV2UI_Descriptor kDescriptor{kUiUri, instantiate, cleanup, portEvent, extensionData};

}  // namespace

}  // namespace MorvelithLv2

extern "C" LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index) {
    return index == 0 ? &MorvelithLv2::kDescriptor : nullptr;
}
