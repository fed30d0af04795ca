// Paints the whole bitmap set (see Catalogue.h). Opaque knobs and the browser
// and command-panel backgrounds are painted over, or cut from, the face at
// the place the editor shows them, so they join it without a seam.
#include "Catalogue.h"

#include <stdexcept>

#include "Canvas.h"
#include "Controls.h"
#include "Face.h"
#include "FaceLayout.h"

namespace artwork {

namespace {

constexpr int kKnobFrames = 45;
constexpr int kKnobSize = 50;

struct KnobArt {
  long id;
  const char* name;
  KnobStyle style;
  bool opaque = false;
  int left = 0, top = 0;  // where an opaque knob sits on the face
};

const KnobArt kKnobs[] = {
    {10010, "knob-vibra-depth", {palette::kCyan, true}},
    {10011, "knob-trill-depth", {palette::kCyan, true}},
    {10012, "knob-lpf", {palette::kCyan}},
    {10013, "knob-hpf", {palette::kCyan}},
    {10014, "knob-vibra-rate", {palette::kCyan}},
    {10015, "knob-trill-rate", {palette::kCyan}},
    {10016, "knob-osc", {palette::kCyan}},
    {10017, "knob-hpf-delay-mix", {palette::kCyan}},
    {10018, "knob-bpf-delay-mix", {palette::kCyan}},
    {10019, "knob-amp-envelope", {palette::kCyan}},
    {10020, "knob-lpf-envelope", {palette::kCyan}},
    {10021, "knob-phaser", {palette::kCyan}},
    {10022, "knob-hpf-envelope", {palette::kCyan}},
    {10023, "knob-waveform", {palette::kCyan}},
    {10024, "knob-pitch-lfo-depth", {palette::kGreen, true}, true, 290, 250},
    {10025, "knob-lpf-lfo-depth", {palette::kGreen, true}, true, 140, 410},
    {10026, "knob-hpf-lfo-depth", {palette::kGreen, true}, true, 140, 490},
    {10027, "knob-lfo-rate", {palette::kGreen}, true, 405, 250},
    {10028, "knob-amp-lfo-depth", {palette::kGreen}, true, 140, 330},
    {10029, "knob-drive", {palette::kViolet}},
    {10030, "knob-master", {palette::kViolet}},
};

struct SwitchArt {
  long id;
  const char* name;
  const char* caption;
  Rgb light;
  int width = 60;
};

const SwitchArt kSwitches[] = {
    {10031, "switch-amp-sync", "SYNC", palette::kCyan},
    {10032, "switch-trill-sync", "SYNC", palette::kCyan},
    {10033, "switch-hpf-sync", "SYNC", palette::kCyan},
    {10034, "switch-lfo-sync", "SYNC", palette::kGreen},
    {10035, "switch-lpf-sync", "SYNC", palette::kCyan},
    {10036, "switch-vibra-sync", "SYNC", palette::kCyan},
    {10037, "switch-delay-sync", "SYNC", palette::kCyan},
    {10038, "switch-trill-trig", "TRIG", palette::kCyan},
    {10039, "switch-lfo-trig", "TRIG", palette::kGreen},
    {10040, "switch-osc-trig", "TRIG", palette::kCyan, 55},
    {10041, "switch-vibra-trig", "TRIG", palette::kCyan},
};

struct CommandArt {
  long id;
  const char* name;
  const char* caption;
};

// Load and save serve both the bank and the program column.
const CommandArt kCommands[] = {
    {10060, "command-load", "LOAD"},   {10061, "command-save", "SAVE"},     {10062, "command-copy", "COPY"},
    {10063, "command-paste", "PASTE"}, {10064, "command-rename", "RENAME"}, {10065, "command-init", "INIT"},
};

BitmapArt finish(long id, const std::string& name, const Canvas& canvas, int frames) {
  return {id, name, canvas.width(), canvas.height(), frames, canvas.encodePng()};
}

// A film strip of frames drawn one by one, frame i by draw(canvas, i).
template <typename DrawFrame>
BitmapArt filmStrip(long id, const std::string& name, int width, int height, int frames, bool withAlpha,
                    DrawFrame draw) {
  std::vector<Canvas> list;
  for (int i = 0; i < frames; ++i) {
    list.emplace_back(width, height, withAlpha);
    draw(list.back(), i);
  }
  return finish(id, name, stackFrames(list, withAlpha), frames);
}

// A piece of the face, for a bitmap the editor draws at that very place.
BitmapArt cutFromFace(long id, const std::string& name, const Canvas& face, const Box& place, int width,
                      int height) {
  const Canvas piece =
      face.crop(static_cast<int>(place.left), static_cast<int>(place.top), width, height, /*withAlpha=*/false);
  return finish(id, name, piece, 1);
}

}  // namespace

std::vector<BitmapArt> paintCatalogue() {
  std::vector<BitmapArt> set;
  const Canvas face = drawFace();
  set.push_back(finish(10000, "background", face, 1));

  for (const KnobArt& knob : kKnobs) {
    set.push_back(filmStrip(knob.id, knob.name, kKnobSize, kKnobSize, kKnobFrames, !knob.opaque,
                            [&](Canvas& frame, int i) {
                              if (knob.opaque) frame.paint(face, knob.left, knob.top);
                              drawKnob(frame, static_cast<double>(i) / (kKnobFrames - 1), knob.style);
                            }));
  }
  for (const SwitchArt& sw : kSwitches) {
    set.push_back(filmStrip(sw.id, sw.name, sw.width, 25, 2, true,
                            [&](Canvas& frame, int i) { drawSwitch(frame, sw.caption, sw.light, i == 1); }));
  }
  set.push_back(filmStrip(10050, "filter-type", 50, 40, kFilterTypes, true, drawFilterType));
  const char* enables[] = {"enable-delay", "enable-eq", "enable-phaser"};
  for (int k = 0; k < 3; ++k) {
    set.push_back(filmStrip(10051 + k, enables[k], 24, 24, 2, true,
                            [](Canvas& frame, int i) { drawPowerButton(frame, palette::kCyan, i == 1); }));
  }
  set.push_back(filmStrip(10056, "browser-next", 35, 35, 2, true,
                          [](Canvas& frame, int i) { drawStepButton(frame, Arrow::Next, i == 1); }));
  set.push_back(filmStrip(10057, "browser-previous", 35, 35, 2, true,
                          [](Canvas& frame, int i) { drawStepButton(frame, Arrow::Previous, i == 1); }));
  // The browser's own background sits at its top-left corner, the program
  // menu's at the menu's: both are the face's browser well, so they join it.
  set.push_back(cutFromFace(10058, "browser-background", face, kBrowser, 90, 35));
  set.push_back(cutFromFace(10059, "browser-menu-background", face, kBrowserMenu, 90, 35));
  for (const CommandArt& command : kCommands) {
    set.push_back(filmStrip(command.id, command.name, 65, 30, 2, true,
                            [&](Canvas& frame, int i) { drawCommandButton(frame, command.caption, i == 1); }));
  }
  set.push_back(cutFromFace(10066, "command-panel", face, kCommandPanel, static_cast<int>(kCommandPanel.width()),
                            static_cast<int>(kCommandPanel.height())));
  return set;
}

}  // namespace artwork
