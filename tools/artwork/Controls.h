// The artwork of the editor's controls, one frame at a time, each drawn at
// the origin of its own canvas: film-strip knobs, latching LED switches,
// effect power buttons, the filter-type display, command and step buttons.
#pragma once

#include <string>

#include "Canvas.h"
#include "Painter.h"

namespace artwork {

struct KnobStyle {
  Rgb colour;
  bool bipolar = false;  // the value arc grows from the top centre
};

// Pointer angle in degrees from 12 o'clock, clockwise: -135 at value 0,
// +135 at value 1.
double knobAngle(double value);
// One 50 x 50 knob frame. Draws over what the canvas holds already (nothing
// for an alpha knob, the face for an opaque one).
void drawKnob(Canvas& canvas, double value, const KnobStyle& style);

// A latching push button with a light and its caption.
void drawSwitch(Canvas& canvas, const std::string& caption, const Rgb& light, bool on);
// A round power button for an effect section.
void drawPowerButton(Canvas& canvas, const Rgb& light, bool on);

// The equaliser's filter types in the order of the type parameter.
inline constexpr int kFilterTypes = 7;
// One 50 x 40 frame of the filter-type display: the response curve of the
// type and its short name.
void drawFilterType(Canvas& canvas, int type);

void drawCommandButton(Canvas& canvas, const std::string& caption, bool pressed);
enum class Arrow { Previous, Next };
void drawStepButton(Canvas& canvas, Arrow arrow, bool pressed);

}  // namespace artwork
