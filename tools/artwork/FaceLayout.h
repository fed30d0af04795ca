// Where things sit on the 865 x 555 face: the section panels with their
// titles, the controls (window rectangles of the editor's layout) with the
// labels the face prints for them, and the sub-headings inside sections.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Painter.h"

namespace artwork {

inline constexpr int kFaceWidth = 865;
inline constexpr int kFaceHeight = 555;

enum class ControlKind { Knob, MicroVertical, MicroHorizontal, MicroPlain, Switch, Option };

struct ControlPlace {
  int index;          // parameter index
  std::string label;  // printed on the face; empty when the control carries its own caption
  ControlKind kind;
  Box rect;
  std::optional<Box> labelAt = std::nullopt;  // where the layout implies none
};

// Where a control's label goes: above a knob (15 px) or a vertical micro
// (20 px, room for two lines), left of a horizontal micro (40 px); controls
// without orientation name their place.
Box labelBox(const ControlPlace& place);

struct Panel {
  std::string title;
  std::vector<Point> outline;  // orthogonal polygon, clockwise
  Box titleBox;
  Rgb accent;
  bool verticalTitle = false;  // the filter sections title their left edge
};

struct Caption {
  std::string text;
  Box box;
};

// Every control the face labels or seats (free-running members only: the
// SYNCED ones share their rectangles).
const std::vector<ControlPlace>& controlPlaces();
const std::vector<Panel>& panels();
// Sub-headings inside sections (vibrato, trill, envelope, delay lines...).
const std::vector<Caption>& subHeadings();
// Grooves separating groups inside a section.
const std::vector<std::pair<Point, Point>>& dividers();

// Fixed areas of the face that other bitmaps are cut from or sit in.
inline constexpr Box kCommandPanel{555, 45, 860, 170};
inline constexpr Box kBrowser{560, 0, 855, 35};
inline constexpr Box kBrowserMenu{595, 5, 820, 35};

}  // namespace artwork
