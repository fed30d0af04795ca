// GDI+ drawing on Windows (see NativeGraphics.h): the drawing context over a
// Gdiplus::Graphics set up to place pixels as cairo does (pixel centres at
// half coordinates, anti-aliased paths), text in the frame's font with
// "Liberation Sans" standing in where "Arial" is missing, PNG bytes decoded
// from memory into premultiplied 32-bit bitmaps.
#include <windows.h>
#include <objidl.h>

#include <gdiplus.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "gui/CDrawContext.h"
#include "gui/platform/NativeGraphics.h"

using namespace Gdiplus;

namespace {
// GDI+ must be started once per process before its first object. It is never
// shut down: bitmaps may outlive any editor, and shutting down from DllMain
// is forbidden.
void startGdiplus() {
  static ULONG_PTR token = [] {
    ULONG_PTR t = 0;
    GdiplusStartupInput input;
    GdiplusStartup(&t, &input, nullptr);
    return t;
  }();
  (void)token;
}

std::wstring widen(const std::string& text) {
  if (text.empty()) return {};
  int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

Color colorOf(const CColor& c) { return Color(c.alpha, c.red, c.green, c.blue); }

// A font with its metrics in pixels, made once per description (GUI thread).
struct FontEntry {
  std::unique_ptr<FontFamily> family;
  std::unique_ptr<Font> font;
  float ascent = 0;
  float descent = 0;
};

const FontEntry& fontFor(const CFontDesc& desc) {
  static std::map<std::tuple<std::string, float, int>, FontEntry> cache;
  auto key = std::make_tuple(desc.name, desc.size, desc.style);
  auto found = cache.find(key);
  if (found != cache.end()) return found->second;
  FontEntry entry;
  // A fresh system may lack the face asked for; Liberation Sans has Arial's metrics.
  for (const std::wstring& name : {widen(desc.name), std::wstring(L"Liberation Sans")}) {
    auto family = std::make_unique<FontFamily>(name.c_str());
    if (family->GetLastStatus() == Ok && family->IsAvailable()) {
      entry.family = std::move(family);
      break;
    }
  }
  if (!entry.family) entry.family.reset(FontFamily::GenericSansSerif()->Clone());
  int style = FontStyleRegular;
  if (desc.style & kBoldFace) style |= FontStyleBold;
  if (desc.style & kItalicFace) style |= FontStyleItalic;
  entry.font = std::make_unique<Font>(entry.family.get(), desc.size, style, UnitPixel);
  float em = entry.family->GetEmHeight(style);
  if (em > 0) {
    entry.ascent = desc.size * entry.family->GetCellAscent(style) / em;
    entry.descent = desc.size * entry.family->GetCellDescent(style) / em;
  }
  return cache.emplace(key, std::move(entry)).first->second;
}

// Typographic layout: no padding around the text, trailing spaces measured,
// no prefix (&) processing.
const StringFormat* textFormat() {
  static StringFormat* format = [] {
    auto* f = StringFormat::GenericTypographic()->Clone();
    f->SetFormatFlags(f->GetFormatFlags() | StringFormatFlagsMeasureTrailingSpaces | StringFormatFlagsNoWrap);
    f->SetHotkeyPrefix(HotkeyPrefixNone);
    return f;
  }();
  return format;
}

void prepare(Graphics* g) {
  g->SetPixelOffsetMode(PixelOffsetModeHalf);
  g->SetSmoothingMode(SmoothingModeAntiAlias);
  g->SetTextRenderingHint(TextRenderingHintAntiAlias);
  g->SetInterpolationMode(InterpolationModeNearestNeighbor);
}
}  // namespace

CDrawContext::CDrawContext(NativeContext* native) : native_(native) { applyFont(); }

void CDrawContext::setFont(const CFontDesc& font) {
  font_ = font;
  applyFont();
}

// Fonts are looked up when text is drawn or measured.
void CDrawContext::applyFont() {}
void CDrawContext::applyColor(const CColor&) {}

void CDrawContext::drawRect(const CRect& rect, CDrawStyle style) {
  if (rect.isEmpty()) return;
  if (style & kDrawFilled) {
    SolidBrush brush(colorOf(fillColor_));
    native_->FillRectangle(&brush, RectF(rect.left, rect.top, rect.width(), rect.height()));
  }
  if (style & kDrawStroked) {
    Pen pen(colorOf(frameColor_), static_cast<REAL>(lineWidth_));
    // Half a line inside the rect, as on cairo, keeps a one-pixel line on whole pixels.
    REAL half = static_cast<REAL>(lineWidth_ / 2.0);
    native_->DrawRectangle(&pen, RectF(rect.left + half, rect.top + half, rect.width() - static_cast<REAL>(lineWidth_),
                                       rect.height() - static_cast<REAL>(lineWidth_)));
  }
}

void CDrawContext::drawLine(const CPoint& from, const CPoint& to) {
  Pen pen(colorOf(frameColor_), static_cast<REAL>(lineWidth_));
  native_->DrawLine(&pen, from.x + 0.5f, from.y + 0.5f, to.x + 0.5f, to.y + 0.5f);
}

void CDrawContext::drawPolygon(const std::vector<CPoint>& points, CDrawStyle style) {
  if (points.size() < 2) return;
  std::vector<PointF> path;
  for (const CPoint& p : points) path.emplace_back(static_cast<REAL>(p.x), static_cast<REAL>(p.y));
  if (style & kDrawFilled) {
    SolidBrush brush(colorOf(fillColor_));
    native_->FillPolygon(&brush, path.data(), static_cast<INT>(path.size()), FillModeWinding);
  }
  if (style & kDrawStroked) {
    Pen pen(colorOf(frameColor_), static_cast<REAL>(lineWidth_));
    native_->DrawPolygon(&pen, path.data(), static_cast<INT>(path.size()));
  }
}

void CDrawContext::dim(const CRect& rect, double opacity) {
  SolidBrush brush(Color(static_cast<BYTE>(std::lround(std::clamp(opacity, 0.0, 1.0) * 255)), 0, 0, 0));
  native_->FillRectangle(&brush, RectF(rect.left, rect.top, rect.width(), rect.height()));
}

void CDrawContext::drawString(const char* text, const CRect& rect, CHoriTxtAlign align) {
  if (!text || !*text || rect.isEmpty()) return;
  const FontEntry& font = fontFor(font_);
  std::wstring wide = widen(text);
  RectF box;
  native_->MeasureString(wide.c_str(), static_cast<INT>(wide.size()), font.font.get(), PointF(0, 0), textFormat(), &box);
  double x = rect.left;
  if (align == kCenterText)
    x = rect.left + (rect.width() - box.Width) / 2.0;
  else if (align == kRightText)
    x = rect.right - box.Width;
  double baseline = rect.top + (rect.height() - (font.ascent + font.descent)) / 2.0 + font.ascent;
  GraphicsState state = native_->Save();
  native_->IntersectClip(RectF(rect.left, rect.top, rect.width(), rect.height()));
  SolidBrush brush(colorOf(fontColor_));
  // The layout box's top is one ascent above the baseline.
  PointF origin(static_cast<REAL>(std::round(x)), static_cast<REAL>(std::round(baseline) - font.ascent));
  native_->DrawString(wide.c_str(), static_cast<INT>(wide.size()), font.font.get(), origin, textFormat(), &brush);
  native_->Restore(state);
}

int CDrawContext::getStringWidth(const char* text) {
  if (!text || !*text) return 0;
  std::wstring wide = widen(text);
  RectF box;
  native_->MeasureString(wide.c_str(), static_cast<INT>(wide.size()), fontFor(font_).font.get(), PointF(0, 0),
                         textFormat(), &box);
  return static_cast<int>(std::ceil(box.Width));
}

int CDrawContext::getFontHeight() {
  const FontEntry& font = fontFor(font_);
  return static_cast<int>(std::ceil(font.ascent + font.descent));
}

void CDrawContext::save() { savedStates_.push_back(native_->Save()); }
void CDrawContext::restore() {
  if (savedStates_.empty()) return;
  native_->Restore(savedStates_.back());
  savedStates_.pop_back();
}
void CDrawContext::clip(const CRect& rect) {
  native_->IntersectClip(RectF(rect.left, rect.top, rect.width(), rect.height()));
}
void CDrawContext::translate(int dx, int dy) { native_->TranslateTransform(static_cast<REAL>(dx), static_cast<REAL>(dy)); }

namespace NativeGraphics {
NativeImage* createOpaqueImage(int width, int height) {
  startGdiplus();
  auto* image = new Bitmap(std::max(1, width), std::max(1, height), PixelFormat32bppRGB);
  Graphics g(image);
  g.Clear(Color(255, 0, 0, 0));
  return image;
}

NativeImage* decodePng(const unsigned char* bytes, std::size_t size) {
  if (!bytes || size == 0) return nullptr;
  startGdiplus();
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
  if (!memory) return nullptr;
  std::copy_n(bytes, size, static_cast<unsigned char*>(GlobalLock(memory)));
  GlobalUnlock(memory);
  IStream* stream = nullptr;
  if (CreateStreamOnHGlobal(memory, TRUE, &stream) != S_OK) {
    GlobalFree(memory);
    return nullptr;
  }
  NativeImage* result = nullptr;
  {
    Bitmap decoded(stream);
    UINT width = decoded.GetWidth(), height = decoded.GetHeight();
    if (decoded.GetLastStatus() == Ok && width > 0 && height > 0) {
      // Converted pixel for pixel into a bitmap of our own: the decoded one
      // would keep reading the stream, and premultiplied pixels draw fastest.
      auto* copy = new Bitmap(static_cast<INT>(width), static_cast<INT>(height), PixelFormat32bppPARGB);
      Rect all(0, 0, static_cast<INT>(width), static_cast<INT>(height));
      BitmapData target{};
      if (copy->LockBits(&all, ImageLockModeWrite, PixelFormat32bppPARGB, &target) == Ok) {
        BitmapData source = target;
        source.Reserved = 0;
        Status read = decoded.LockBits(&all, ImageLockModeRead | ImageLockModeUserInputBuf, PixelFormat32bppPARGB, &source);
        if (read == Ok) decoded.UnlockBits(&source);
        copy->UnlockBits(&target);
        if (read == Ok) result = copy;
      }
      if (!result) delete copy;
    }
  }
  stream->Release();
  return result;
}

NativeImage* retainImage(NativeImage* image) {
  if (!image) return nullptr;
  return image->Clone(0, 0, static_cast<INT>(image->GetWidth()), static_cast<INT>(image->GetHeight()),
                      image->GetPixelFormat());
}

void releaseImage(NativeImage* image) { delete image; }

int imageWidth(NativeImage* image) { return static_cast<int>(image->GetWidth()); }
int imageHeight(NativeImage* image) { return static_cast<int>(image->GetHeight()); }

void paint(NativeImage* image, const std::function<void(CDrawContext&)>& draw) {
  Graphics g(image);
  prepare(&g);
  CDrawContext context(&g);
  draw(context);
}

void measure(const std::function<void(CDrawContext&)>& use) {
  startGdiplus();
  Bitmap scratch(1, 1, PixelFormat32bppRGB);
  Graphics g(&scratch);
  prepare(&g);
  CDrawContext context(&g);
  use(context);
}

void drawImage(CDrawContext& context, NativeImage* image, const CRect& dest, const CPoint& source, float alpha) {
  Graphics* g = context.getNativeContext();
  // Only the part that exists in the image is drawn, as cairo leaves the rest.
  int width = std::min(dest.width(), imageWidth(image) - source.x);
  int height = std::min(dest.height(), imageHeight(image) - source.y);
  if (width <= 0 || height <= 0) return;
  ImageAttributes attributes;
  // Mirrored edges: nearest-neighbour copies never blend in a neighbouring frame or the outside.
  attributes.SetWrapMode(WrapModeTileFlipXY);
  if (alpha < 1.0f) {
    ColorMatrix matrix = {{{1, 0, 0, 0, 0}, {0, 1, 0, 0, 0}, {0, 0, 1, 0, 0}, {0, 0, 0, alpha, 0}, {0, 0, 0, 0, 1}}};
    attributes.SetColorMatrix(&matrix);
  }
  g->DrawImage(image, Rect(dest.left, dest.top, width, height), source.x, source.y, width, height, UnitPixel,
               &attributes);
}

bool writePng(NativeImage* image, const char* path) {
  UINT count = 0, bytes = 0;
  GetImageEncodersSize(&count, &bytes);
  if (bytes == 0) return false;
  std::vector<unsigned char> buffer(bytes);
  auto* encoders = reinterpret_cast<ImageCodecInfo*>(buffer.data());
  GetImageEncoders(count, bytes, encoders);
  for (UINT i = 0; i < count; ++i) {
    if (std::wstring(encoders[i].MimeType) == L"image/png")
      return image->Save(widen(path).c_str(), &encoders[i].Clsid, nullptr) == Ok;
  }
  return false;
}
}  // namespace NativeGraphics
