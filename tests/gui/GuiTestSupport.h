// Helpers for the toolkit suites: film strips of solid colours made in memory
// as PNG bytes and registered as resources, a listener that records what a
// control reports, and an offscreen frame driven by injected events.
#pragma once

#include <cairo.h>
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <vector>

#include "gui/Toolkit.h"
#include "gui/platform/HeadlessWindow.h"

namespace GuiTest {

// A vertical strip of one solid colour per frame, encoded as PNG.
inline std::vector<unsigned char> makeStripPng(int width, int frameHeight, const std::vector<CColor>& frames) {
  cairo_surface_t* surface =
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, frameHeight * static_cast<int>(frames.size()));
  cairo_t* cr = cairo_create(surface);
  for (std::size_t i = 0; i < frames.size(); ++i) {
    const CColor& c = frames[i];
    cairo_set_source_rgba(cr, c.red / 255.0, c.green / 255.0, c.blue / 255.0, c.alpha / 255.0);
    cairo_rectangle(cr, 0, static_cast<double>(i) * frameHeight, width, frameHeight);
    cairo_fill(cr);
  }
  cairo_destroy(cr);
  std::vector<unsigned char> bytes;
  cairo_surface_write_to_png_stream(
      surface,
      [](void* closure, const unsigned char* data, unsigned int length) {
        auto* out = static_cast<std::vector<unsigned char>*>(closure);
        out->insert(out->end(), data, data + length);
        return CAIRO_STATUS_SUCCESS;
      },
      &bytes);
  cairo_surface_destroy(surface);
  return bytes;
}

// Registers a strip under id for the life of the program (the registry does
// not copy the bytes).
inline void registerStrip(long id, int width, int frameHeight, const std::vector<CColor>& frames) {
  static std::map<long, std::vector<unsigned char>> store;
  store[id] = makeStripPng(width, frameHeight, frames);
  CResourceRegistry::add(id, store[id].data(), store[id].size());
}

struct Report {
  long tag;
  float value;
};

class RecordingListener : public CControlListener {
 public:
  void valueChanged(CControl* control) override {
    reports.push_back({control->getTag(), control->getValue()});
    if (depth == 0) ++changesOutsideEdit;
  }
  void controlBeginEdit(CControl*) override {
    ++begins;
    ++depth;
  }
  void controlEndEdit(CControl*) override {
    ++ends;
    if (--depth < 0) ++unmatchedEnds;
  }
  int countValue(float value) const {
    int n = 0;
    for (const Report& r : reports) n += r.value == value;
    return n;
  }

  std::vector<Report> reports;
  int begins = 0;
  int ends = 0;
  int depth = 0;
  int unmatchedEnds = 0;
  int changesOutsideEdit = 0;
};

// Records notifications sent to it.
class RecordingReceiver : public CBaseObject {
 public:
  CMessageResult notify(CBaseObject* sender, const char* text) override {
    messages.emplace_back(text);
    senders.push_back(sender);
    if (onNotify) onNotify(sender, text);
    return kMessageNotified;
  }
  std::vector<std::string> messages;
  std::vector<CBaseObject*> senders;
  std::function<void(CBaseObject*, const char*)> onNotify;
};

// An offscreen frame of the given size; the window stays owned by the frame.
class HeadlessFrame : public ::testing::Test {
 protected:
  void SetUp() override { open(CRect(0, 0, 300, 200)); }
  void TearDown() override {
    if (frame) frame->forget();
    setDialogMode(CDialogMode::automatic);
  }
  void open(const CRect& size) {
    if (frame) frame->forget();
    auto headless = std::make_unique<HeadlessWindow>(size);
    window = headless.get();
    frame = new CFrame(size, std::move(headless));
    frame->idle();
  }
  // Delivers pending events (warps produce more) and redraws.
  void pump(int rounds = 3) {
    for (int i = 0; i < rounds; ++i) frame->idle();
  }
  void click(const CPoint& where, long buttons = kLButton) {
    window->injectClick(where, buttons);
    pump();
  }

  CFrame* frame = nullptr;
  HeadlessWindow* window = nullptr;
};

}  // namespace GuiTest
