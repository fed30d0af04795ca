// Editor mock-up (see Preview.h), assembled from the encoded bitmaps exactly
// as the editor will draw them: frame n of a strip at the control's rectangle.
#include "Preview.h"

#include <map>

#include "FaceLayout.h"
#include "Painter.h"

namespace artwork {

namespace {
cairo_status_t readBytes(void* closure, unsigned char* data, unsigned int length) {
  auto* cursor = static_cast<std::pair<const std::uint8_t*, const std::uint8_t*>*>(closure);
  if (cursor->second - cursor->first < static_cast<std::ptrdiff_t>(length)) return CAIRO_STATUS_READ_ERROR;
  std::copy(cursor->first, cursor->first + length, data);
  cursor->first += length;
  return CAIRO_STATUS_SUCCESS;
}

cairo_surface_t* decode(const BitmapArt& art) {
  std::pair<const std::uint8_t*, const std::uint8_t*> cursor{art.png.data(), art.png.data() + art.png.size()};
  return cairo_image_surface_create_from_png_stream(readBytes, &cursor);
}

// Bitmap of each parameter's control, as the editor's layout assigns them.
const std::map<int, long> kBitmapOf = {
    {0, 10040},   {1, 10016},   {5, 10016},   {6, 10023},   {20, 10024},  {25, 10012},  {26, 10012},
    {27, 10025},  {28, 10020},  {34, 10013},  {35, 10013},  {36, 10026},  {37, 10022},  {47, 10034},
    {48, 10039},  {49, 10027},  {61, 10036},  {62, 10041},  {63, 10010},  {64, 10014},  {76, 10032},
    {77, 10038},  {78, 10011},  {79, 10015},  {91, 10030},  {96, 10028},  {97, 10031},  {98, 10019},
    {99, 10019},  {100, 10019}, {101, 10019}, {102, 10019}, {109, 10029}, {112, 10035}, {113, 10020},
    {114, 10020}, {115, 10020}, {116, 10020}, {117, 10020}, {124, 10033}, {125, 10022}, {126, 10022},
    {127, 10022}, {128, 10022}, {129, 10022}, {136, 10053}, {137, 10021}, {138, 10021}, {141, 10021},
    {146, 10051}, {147, 10037}, {152, 10017}, {155, 10018}, {162, 10052}, {163, 10050}, {167, 10050},
};
}  // namespace

Canvas paintPreview(const std::vector<BitmapArt>& set) {
  std::map<long, const BitmapArt*> byId;
  for (const BitmapArt& art : set) byId[art.id] = &art;
  Canvas out(kFaceWidth, kFaceHeight, false);
  cairo_t* cr = out.cr();
  auto place = [&](long id, const Box& at, int frame) {
    cairo_surface_t* image = decode(*byId.at(id));
    const double frameHeight = at.height();
    cairo_save(cr);
    cairo_rectangle(cr, at.left, at.top, at.width(), at.height());
    cairo_clip(cr);
    cairo_set_source_surface(cr, image, at.left, at.top - frame * frameHeight);
    cairo_paint(cr);
    cairo_restore(cr);
    cairo_surface_destroy(image);
  };
  place(10000, {0, 0, kFaceWidth, kFaceHeight}, 0);

  TextStyle value{11, false, 0, palette::kCyan};
  int n = 0;
  for (const ControlPlace& c : controlPlaces()) {
    ++n;
    auto it = kBitmapOf.find(c.index);
    if (c.kind == ControlKind::Knob && it != kBitmapOf.end()) {
      place(it->second, c.rect, (n * 7) % 45);
      if (c.index != 6) drawTextIn(cr, "12.5", {c.rect.left, c.rect.bottom, c.rect.right, c.rect.bottom + 10}, value);
    } else if (c.kind == ControlKind::Switch && it != kBitmapOf.end()) {
      place(it->second, c.rect, n % 2);
    } else if (c.kind == ControlKind::Option && it != kBitmapOf.end()) {
      place(it->second, c.rect, c.index == 163 ? 4 : 6);
    } else {
      drawTextIn(cr, "50%", c.rect, value);
    }
  }
  place(10066, kCommandPanel, 0);
  const Point buttons[] = {{565, 60}, {565, 90}, {650, 60}, {650, 90}, {715, 60}, {715, 90}, {782, 60}, {782, 135}};
  const long ids[] = {10060, 10061, 10060, 10061, 10062, 10063, 10064, 10065};
  for (int i = 0; i < 8; ++i) place(ids[i], {buttons[i].x, buttons[i].y, buttons[i].x + 65, buttons[i].y + 30}, i == 4);
  place(10058, {560, 0, 650, 35}, 0);
  place(10059, {595, 5, 685, 35}, 0);
  place(10057, {560, 0, 595, 35}, 0);
  place(10056, {820, 0, 855, 35}, 1);
  drawTextIn(cr, "1  Init", {600, 5, 815, 35}, TextStyle{12, true, 0, palette::kBrowserText}, Align::Left);
  return out;
}

}  // namespace artwork
