// The face's tables (see FaceLayout.h). Control rectangles are the editor's;
// panels, titles and captions are placed around them so that nothing the
// editor draws over the face covers a printed word.
#include "FaceLayout.h"

namespace artwork {

namespace {
using K = ControlKind;
}

const std::vector<ControlPlace>& controlPlaces() {
  static const std::vector<ControlPlace> places = {
      {0, "", K::Switch, {155, 205, 210, 230}},
      {1, "PHASE", K::Knob, {105, 170, 155, 220}},
      {2, "DETUNE", K::MicroHorizontal, {160, 244, 200, 257}},
      {3, "MULTI", K::MicroVertical, {105, 80, 145, 90}},
      {4, "SPREAD", K::MicroVertical, {110, 135, 150, 148}},
      {5, "LOW", K::Knob, {40, 170, 90, 220}},
      {6, "WAVEFORM", K::Knob, {40, 90, 90, 140}},
      {7, "MASS AMOUNT", K::MicroVertical, {160, 95, 205, 108}},
      {8, "MASS RATE", K::MicroVertical, {160, 135, 205, 148}},
      {9, "MASS VARI", K::MicroVertical, {160, 175, 205, 188}},
      {10, "TRIM", K::MicroVertical, {40, 255, 90, 268}},
      {15, "PORTA", K::MicroVertical, {235, 135, 285, 148}},
      {16, "TUNE", K::MicroVertical, {235, 95, 285, 108}},
      {17, "BEND", K::MicroVertical, {235, 175, 285, 188}},
      {18, "ENV TIME", K::MicroVertical, {235, 250, 285, 263}},
      {19, "ENV DEPTH", K::MicroVertical, {235, 290, 285, 303}},
      {20, "LFO DEPTH", K::Knob, {290, 250, 340, 300}},
      {25, "TUNE", K::Knob, {40, 410, 90, 460}},
      {26, "ENV", K::Knob, {190, 410, 240, 460}},
      {27, "LFO", K::Knob, {140, 410, 190, 460}},
      {28, "RES", K::Knob, {90, 410, 140, 460}},
      {29, "SPREAD", K::MicroHorizontal, {85, 374, 125, 387}},
      {34, "TUNE", K::Knob, {40, 490, 90, 540}},
      {35, "ENV", K::Knob, {190, 490, 240, 540}},
      {36, "LFO", K::Knob, {140, 490, 190, 540}},
      {37, "RES", K::Knob, {90, 490, 140, 540}},
      {42, "RATE", K::MicroHorizontal, {85, 314, 125, 327}},
      {43, "SPREAD", K::MicroHorizontal, {85, 334, 125, 347}},
      {47, "", K::Switch, {345, 262, 405, 287}},
      {48, "", K::Switch, {345, 287, 405, 312}},
      {49, "RATE", K::Knob, {405, 250, 455, 300}},
      {50, "DELAY", K::MicroHorizontal, {500, 249, 540, 262}},
      {51, "FADE", K::MicroHorizontal, {500, 269, 540, 282}},
      {52, "HOLD", K::MicroHorizontal, {500, 289, 540, 302}},
      {61, "", K::Switch, {390, 90, 450, 115}},
      {62, "", K::Switch, {390, 115, 450, 140}},
      {63, "DEPTH", K::Knob, {290, 90, 340, 140}},
      {64, "RATE", K::Knob, {340, 90, 390, 140}},
      {65, "DELAY", K::MicroHorizontal, {500, 89, 540, 102}},
      {66, "FADE", K::MicroHorizontal, {500, 109, 540, 122}},
      {67, "HOLD", K::MicroHorizontal, {500, 129, 540, 142}},
      {76, "", K::Switch, {390, 170, 450, 195}},
      {77, "", K::Switch, {390, 195, 450, 220}},
      {78, "DEPTH", K::Knob, {290, 170, 340, 220}},
      {79, "RATE", K::Knob, {340, 170, 390, 220}},
      {80, "DELAY", K::MicroHorizontal, {500, 169, 540, 182}},
      {81, "FADE", K::MicroHorizontal, {500, 189, 540, 202}},
      {82, "HOLD", K::MicroHorizontal, {500, 209, 540, 222}},
      {91, "LEVEL", K::Knob, {775, 450, 825, 500}},
      {96, "LFO", K::Knob, {140, 330, 190, 380}},
      {97, "", K::Switch, {240, 340, 300, 365}},
      {98, "ATK", K::Knob, {300, 330, 350, 380}},
      {99, "HLD", K::Knob, {350, 330, 400, 380}},
      {100, "DCY", K::Knob, {400, 330, 450, 380}},
      {101, "SUS", K::Knob, {450, 330, 500, 380}},
      {102, "REL", K::Knob, {499, 330, 549, 380}},
      // "AMOUNT" alone says nothing on a panel titled AMP: the drive knob is
      // labelled with its section's name.
      {109, "DRIVE", K::Knob, {190, 330, 240, 380}},
      {112, "", K::Switch, {240, 420, 300, 445}},
      {113, "ATK", K::Knob, {300, 410, 350, 460}},
      {114, "HLD", K::Knob, {350, 410, 400, 460}},
      {115, "DCY", K::Knob, {400, 410, 450, 460}},
      {116, "SUS", K::Knob, {450, 410, 500, 460}},
      {117, "REL", K::Knob, {499, 410, 549, 460}},
      {124, "", K::Switch, {240, 500, 300, 525}},
      {125, "ATK", K::Knob, {300, 490, 350, 540}},
      {126, "HLD", K::Knob, {350, 490, 400, 540}},
      {127, "DCY", K::Knob, {400, 490, 450, 540}},
      {128, "SUS", K::Knob, {450, 490, 500, 540}},
      {129, "REL", K::Knob, {499, 490, 549, 540}},
      {136, "", K::Switch, {697, 415, 721, 439}},
      {137, "DEPTH", K::Knob, {565, 450, 615, 500}},
      {138, "RATE", K::Knob, {620, 450, 670, 500}},
      {139, "MIN", K::MicroPlain, {575, 519, 620, 532}, Box{575, 533, 620, 544}},
      {140, "MAX", K::MicroPlain, {665, 519, 710, 532}, Box{665, 533, 710, 544}},
      {141, "FB", K::Knob, {674, 450, 724, 500}},
      {146, "", K::Switch, {697, 180, 721, 204}},
      {147, "", K::Switch, {635, 180, 695, 205}},
      {148, "L", K::MicroPlain, {590, 214, 630, 227}, Box{568, 214, 588, 227}},
      {149, "R", K::MicroPlain, {655, 214, 695, 227}, Box{633, 214, 653, 227}},
      {152, "MIX", K::Knob, {580, 250, 630, 300}},
      {153, "FB", K::MicroHorizontal, {675, 285, 715, 298}},
      {154, "TUNE", K::MicroHorizontal, {675, 255, 715, 268}},
      {155, "MIX", K::Knob, {580, 330, 630, 380}},
      {156, "FB", K::MicroHorizontal, {675, 365, 715, 378}},
      {157, "TUNE", K::MicroHorizontal, {675, 335, 715, 348}},
      {162, "", K::Switch, {828, 180, 852, 204}},
      {163, "", K::Option, {745, 205, 795, 245}},
      {164, "FRQ", K::MicroVertical, {745, 275, 795, 288}},
      {165, "Q", K::MicroVertical, {745, 320, 795, 333}},
      {166, "GAIN", K::MicroVertical, {745, 365, 795, 378}},
      {167, "", K::Option, {795, 205, 845, 245}},
      {168, "FRQ", K::MicroVertical, {795, 275, 845, 288}},
      {169, "Q", K::MicroVertical, {795, 320, 845, 333}},
      {170, "GAIN", K::MicroVertical, {795, 365, 845, 378}},
  };
  return places;
}

Box labelBox(const ControlPlace& place) {
  if (place.labelAt) return *place.labelAt;
  const Box& r = place.rect;
  switch (place.kind) {
    case ControlKind::Knob: return {r.left, r.top - 15, r.right, r.top};
    case ControlKind::MicroVertical: return {r.left, r.top - 20, r.right, r.top};
    case ControlKind::MicroHorizontal: return {r.left - 40, r.top, r.left, r.bottom};
    default: return {r.left, r.top, r.left, r.top};
  }
}

namespace {
std::vector<Point> rect(double l, double t, double r, double b) { return {{l, t}, {r, t}, {r, b}, {l, b}}; }
}  // namespace

const std::vector<Panel>& panels() {
  using namespace palette;
  static const std::vector<Panel> list = {
      {"OSC", rect(30, 45, 221, 281), {35, 50, 95, 75}, kCyan},
      // Pitch wraps around the LFO section, which sits in its lower right.
      {"PITCH", {{224, 45}, {553, 45}, {553, 231}, {340, 231}, {340, 313}, {224, 313}}, {230, 50, 300, 70}, kCyan},
      {"LFO", rect(343, 234, 553, 313), {345, 236, 405, 259}, kGreen},
      {"SPREAD", rect(30, 284, 134, 357), {35, 285, 130, 305}, kCyan},
      // The amplitude section rises to a tab beside the spread section.
      {"AMP", {{137, 284}, {222, 284}, {222, 316}, {553, 316}, {553, 391}, {137, 391}}, {140, 285, 215, 310}, kCyan},
      // The low-pass section reaches up beside the amplitude section for its
      // spread control.
      {"LPF", {{3, 360}, {134, 360}, {134, 394}, {553, 394}, {553, 471}, {3, 471}}, {5, 405, 30, 465}, kCyan, true},
      {"HPF", rect(3, 474, 553, 553), {5, 485, 30, 545}, kCyan, true},
      {"DELAY", rect(558, 175, 729, 394), {565, 180, 635, 205}, kCyan},
      {"EQ", rect(732, 175, 860, 394), {740, 180, 790, 205}, kCyan},
      {"PHASER", rect(558, 408, 731, 553), {565, 415, 635, 435}, kCyan},
      {"MASTER", rect(734, 408, 860, 553), {740, 415, 830, 435}, kViolet},
  };
  return list;
}

const std::vector<Caption>& subHeadings() {
  static const std::vector<Caption> list = {
      {"VIBRA", {390, 73, 450, 88}},
      {"TRILL", {390, 153, 450, 168}},
      {"ENVELOPE", {230, 208, 286, 224}},
      {"HPF DELAY", {636, 234, 722, 249}},
      {"BPF DELAY", {636, 314, 722, 329}},
      {"RANGE", {620, 519, 665, 532}},
  };
  return list;
}

const std::vector<std::pair<Point, Point>>& dividers() {
  static const std::vector<std::pair<Point, Point>> list = {
      {{287, 76}, {287, 226}},  // pitch column | vibra and trill
      {{292, 151}, {548, 151}}, // vibra / trill
      {{102, 78}, {102, 235}},  // osc core | multi
      {{157, 78}, {157, 192}},  // multi | mass
      {{240, 400}, {240, 466}}, // filter | its envelope
      {{240, 480}, {240, 548}},
      {{240, 322}, {240, 388}}, // amp level | envelope
      {{563, 310}, {724, 310}}, // hpf delay / bpf delay
      {{563, 231}, {724, 231}}, // delay times / hpf delay
  };
  return list;
}

}  // namespace artwork
