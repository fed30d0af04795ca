// The drawing seam under CDrawContext, CBitmap and the frame's back buffer:
// the native context and image types, and the few image operations the
// toolkit needs. Cairo on Linux (CairoGraphics.cpp), GDI+ on Windows
// (GdiPlusGraphics.cpp); every call comes from the host's GUI thread.
#pragma once

#include <cstddef>
#include <functional>

#include "gui/CGraphics.h"

#if defined(_WIN32)
namespace Gdiplus {
class Graphics;
class Bitmap;
}  // namespace Gdiplus
using NativeContext = Gdiplus::Graphics;
using NativeImage = Gdiplus::Bitmap;
#else
typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;
using NativeContext = cairo_t;
using NativeImage = cairo_surface_t;
#endif

class CDrawContext;

namespace NativeGraphics {
// An opaque image of the given size (the frame's back buffer, snapshots).
NativeImage* createOpaqueImage(int width, int height);
// Decodes PNG bytes from memory; null when they are not a PNG.
NativeImage* decodePng(const unsigned char* bytes, std::size_t size);
// Another owner of the same image (cairo counts references; GDI+ copies).
NativeImage* retainImage(NativeImage* image);
void releaseImage(NativeImage* image);
int imageWidth(NativeImage* image);
int imageHeight(NativeImage* image);

// Draws into the image through a context made for it, then flushes it.
void paint(NativeImage* image, const std::function<void(CDrawContext&)>& draw);
// A context on a scratch image, for measuring text outside any drawing.
void measure(const std::function<void(CDrawContext&)>& use);
// Draws the part of image that starts at source into dest (dest's size),
// never sampling outside that part (film-strip frames touch each other).
void drawImage(CDrawContext& context, NativeImage* image, const CRect& dest, const CPoint& source, float alpha);
bool writePng(NativeImage* image, const char* path);
}  // namespace NativeGraphics
