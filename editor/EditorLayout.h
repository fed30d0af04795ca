// The editor's layout as data: per parameter index the control kind, micro
// orientation, rectangle, film strip, value-text colour and tool-tip; the fine
// factor and divisor tables; the sync switches' visibility pairs; the section
// help areas; the command panel, program browser and program-name field.
// Pure tables, so they are checked without a window.
#pragma once

#include <span>

#include "gui/CGraphics.h"
#include "instrument/ParameterTable.h"

namespace Vst::EditorLayout {

constexpr int kWidth = 865;
constexpr int kHeight = 555;
constexpr int kParameterSlots = 181;

// Bitmap resource ids.
constexpr long kBackgroundBitmap = 10000;
constexpr long kFirstStripBitmap = 10010;  // knob strips and section switches, 10010-10041
constexpr long kLastStripBitmap = 10041;
constexpr long kFirstOptionBitmap = 10050;  // filter-type strip and effect enable switches, 10050-10053
constexpr long kLastOptionBitmap = 10053;
constexpr long kBrowserNextBitmap = 10056;
constexpr long kBrowserPreviousBitmap = 10057;
constexpr long kBrowserBackgroundBitmap = 10058;
constexpr long kBrowserMenuBitmap = 10059;
constexpr long kCommandPanelBitmap = 10066;

enum class Orientation { kNone, kVertical, kHorizontal };

// A value-text colour with alpha 0 means the control shows no value text.
constexpr CColor kNoValueText{0, 0, 0, 0};

struct ControlLayout {
    int index;
    ControlKind kind;
    Orientation orientation;  // micro controls only
    CRect rect;               // window pixels
    long bitmap;              // 0: none (micro controls draw text)
    CColor valueColour;
    const char* tooltip;  // nullptr: none
};

// The layout of an index, or nullptr for reserved and out-of-range indices.
const ControlLayout* controlLayout(int index);
// Every laid-out index, ascending.
std::span<const ControlLayout> controlLayouts();

// Multiplier of the drag step and its divisor while shift is held.
float fineFactor(int index);
float fineDivisor(int index);

// Where a knob's value text goes: under the knob, 10 pixels high.
CRect valueTextRect(const ControlLayout& layout);
// Whether a label view carrying the tool-tip is added (knobs and micros with a
// tool-tip), and its rectangle (empty for a micro without orientation).
bool hasLabel(const ControlLayout& layout);
CRect labelRect(const ControlLayout& layout);

// A sync switch and the pairs it swaps: the free member shows while the
// switch is off, the SYNCED member while it is on.
struct SyncPair {
    int free;
    int synced;
};

struct VisibilityRule {
    int switchIndex;
    SyncPair controls[4];
    int controlCount;
    SyncPair texts[4];
    int textCount;

    std::span<const SyncPair> controlPairs() const { return {controls, static_cast<size_t>(controlCount)}; }
    std::span<const SyncPair> textPairs() const { return {texts, static_cast<size_t>(textCount)}; }
};

std::span<const VisibilityRule> visibilityRules();
// The rule of a sync switch, or nullptr when the index is not one.
const VisibilityRule* visibilityRule(int switchIndex);

// A transparent rectangle whose only content is its section's help text.
struct HelpArea {
    CRect rect;
    const char* text;
};

std::span<const HelpArea> helpAreas();

// Command tags: the command panel's buttons and the program-name field.
enum CommandTag : long {
    kLoadProgram = 5000,
    kLoadBank = 5001,
    kSaveProgram = 5002,
    kSaveBank = 5003,
    kCopyProgram = 5004,
    kPasteProgram = 5005,
    kRenameProgram = 5006,
    kInitializeProgram = 5007,
    kProgramNameField = 5008,
};
constexpr long kFirstCommandTag = kLoadProgram;

struct CommandButton {
    CPoint position;  // top-left, window pixels
    long tag;
    long bitmap;
    const char* tooltip;
};

constexpr CRect kCommandPanelRect{555, 45, 860, 170};
constexpr CPoint kCommandButtonSize{65, 30};
std::span<const CommandButton> commandButtons();
// A button's rectangle inside the command panel.
CRect commandButtonRect(const CommandButton& button);

constexpr CRect kBrowserRect{560, 0, 855, 35};
constexpr int kBrowserInset = 5;
constexpr int kBrowserFlag = 1;
constexpr CColor kBrowserTextColour{182, 199, 224, 255};
inline const CFontDesc kBrowserFont{"Arial", 12.0f, kBoldFace};

constexpr CRect kNameFieldRect{595, 12, 820, 32};
constexpr CColor kNameFieldTextColour{80, 95, 120, 255};
constexpr CColor kNameFieldBackColour{226, 232, 240, 255};

// Value texts under knobs and the micro controls' own text.
inline const CFontDesc kValueTextFont{"Arial", 11.0f, kNormalFace};
constexpr int kValueTextHeight = 10;
constexpr int kTooltipDelayMs = 1000;

}  // namespace Vst::EditorLayout
