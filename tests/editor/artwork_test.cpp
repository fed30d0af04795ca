// The generated artwork as the editor loads it: each bitmap id of the layout
// is registered, decodes as PNG of exactly the stated size and frame count;
// knobs turn their pointer smoothly from -135 to +135 degrees with a value arc
// in their colour family; switches and buttons show distinct states; the
// face carries a title for every section and a label for every control.
#include <cairo.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "gui/CBitmap.h"
#include "gui/CResources.h"
#include "resources/Artwork.h"

namespace {

// ---- The bitmap table of the editor's layout ------------------------------

enum class Kind { Background, Knob, Switch, FilterType, Enable, Step, BrowserBackground, Command, CommandPanel };

struct Expected {
  long id;
  int width;
  int frameHeight;
  int frames;
  Kind kind;
};

std::vector<Expected> expectedBitmaps() {
  std::vector<Expected> list = {{10000, 865, 555, 1, Kind::Background}};
  for (long id = 10010; id <= 10030; ++id) list.push_back({id, 50, 50, 45, Kind::Knob});
  for (long id = 10031; id <= 10041; ++id) list.push_back({id, id == 10040 ? 55 : 60, 25, 2, Kind::Switch});
  list.push_back({10050, 50, 40, 7, Kind::FilterType});
  for (long id = 10051; id <= 10053; ++id) list.push_back({id, 24, 24, 2, Kind::Enable});
  for (long id = 10056; id <= 10057; ++id) list.push_back({id, 35, 35, 2, Kind::Step});
  for (long id = 10058; id <= 10059; ++id) list.push_back({id, 90, 35, 1, Kind::BrowserBackground});
  for (long id = 10060; id <= 10065; ++id) list.push_back({id, 65, 30, 2, Kind::Command});
  list.push_back({10066, 305, 125, 1, Kind::CommandPanel});
  return list;
}

std::vector<Expected> expectedOfKind(std::initializer_list<Kind> kinds) {
  std::vector<Expected> out;
  for (const Expected& e : expectedBitmaps())
    if (std::find(kinds.begin(), kinds.end(), e.kind) != kinds.end()) out.push_back(e);
  return out;
}

void PrintTo(const Expected& e, std::ostream* out) {
  *out << "bitmap " << e.id << " (" << e.width << " x " << e.frameHeight << ", " << e.frames << " frames)";
}

std::string nameOf(const testing::TestParamInfo<Expected>& info) { return "id" + std::to_string(info.param.id); }

// ---- Decoding ---------------------------------------------------------------

struct Pixel {
  double r, g, b, a;  // 0..1, alpha un-premultiplied
  double luminance() const { return 0.299 * r + 0.587 * g + 0.114 * b; }
  double saturation() const {
    const double hi = std::max({r, g, b}), lo = std::min({r, g, b});
    return hi > 0 ? (hi - lo) / hi : 0;
  }
};

class Image {
 public:
  explicit Image(long id) {
    registerMorvelithArtwork();
    data_ = CResourceRegistry::find(id);
    if (!data_.bytes) return;
    struct Cursor {
      const unsigned char* at;
      const unsigned char* end;
    } cursor{data_.bytes, data_.bytes + data_.size};
    surface_ = cairo_image_surface_create_from_png_stream(
        [](void* closure, unsigned char* out, unsigned int length) {
          auto* c = static_cast<Cursor*>(closure);
          if (c->end - c->at < static_cast<std::ptrdiff_t>(length)) return CAIRO_STATUS_READ_ERROR;
          std::memcpy(out, c->at, length);
          c->at += length;
          return CAIRO_STATUS_SUCCESS;
        },
        &cursor);
    if (cairo_surface_status(surface_) != CAIRO_STATUS_SUCCESS) {
      cairo_surface_destroy(surface_);
      surface_ = nullptr;
    }
  }
  ~Image() {
    if (surface_) cairo_surface_destroy(surface_);
  }
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;

  bool registered() const { return data_.bytes != nullptr && data_.size > 0; }
  bool decoded() const { return surface_ != nullptr; }
  const CResourceData& data() const { return data_; }
  int width() const { return cairo_image_surface_get_width(surface_); }
  int height() const { return cairo_image_surface_get_height(surface_); }
  bool hasAlpha() const { return cairo_image_surface_get_format(surface_) == CAIRO_FORMAT_ARGB32; }
  // PNG colour type from the IHDR chunk: 2 RGB, 6 RGB with alpha.
  int pngColourType() const { return data_.size > 25 ? data_.bytes[25] : -1; }

  std::uint32_t raw(int x, int y) const {
    const unsigned char* base = cairo_image_surface_get_data(surface_);
    const int stride = cairo_image_surface_get_stride(surface_);
    std::uint32_t word = reinterpret_cast<const std::uint32_t*>(base + y * stride)[x];
    return hasAlpha() ? word : (word | 0xff000000u);
  }
  Pixel at(int x, int y) const {
    const std::uint32_t word = raw(x, y);
    const double a = (word >> 24) / 255.0;
    auto channel = [&](int shift) { return a > 0 ? ((word >> shift) & 0xff) / 255.0 / a : 0.0; };
    return {channel(16), channel(8), channel(0), a};
  }
  // Nearest pixel, or transparent black outside.
  Pixel sample(double x, double y) const {
    const int ix = static_cast<int>(std::floor(x)), iy = static_cast<int>(std::floor(y));
    if (ix < 0 || iy < 0 || ix >= width() || iy >= height()) return {0, 0, 0, 0};
    return at(ix, iy);
  }
  // Number of pixels that differ between frames a and b of a strip.
  int framesDiffer(int frameHeight, int a, int b) const {
    int count = 0;
    for (int y = 0; y < frameHeight; ++y)
      for (int x = 0; x < width(); ++x) count += raw(x, a * frameHeight + y) != raw(x, b * frameHeight + y);
    return count;
  }

 private:
  CResourceData data_{};
  cairo_surface_t* surface_ = nullptr;
};

// ---- Every bitmap: registered, decodable, exact size and frame count -------

class EveryBitmap : public testing::TestWithParam<Expected> {};

TEST_P(EveryBitmap, IsRegisteredAsPngOfTheStatedSize) {
  const Expected& e = GetParam();
  Image image(e.id);
  ASSERT_TRUE(image.registered()) << e.id << " is not registered";
  static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  ASSERT_GE(image.data().size, 8u);
  EXPECT_EQ(0, std::memcmp(image.data().bytes, kSignature, 8)) << "not PNG data";
  ASSERT_TRUE(image.decoded()) << e.id << " does not decode";
  EXPECT_EQ(e.width, image.width());
  EXPECT_EQ(e.frameHeight * e.frames, image.height());
}

TEST_P(EveryBitmap, LoadsThroughTheToolkitWithItsFrameCount) {
  const Expected& e = GetParam();
  registerMorvelithArtwork();
  CBitmap bitmap(e.id);
  ASSERT_TRUE(bitmap.isLoaded());
  EXPECT_EQ(e.width, bitmap.getWidth());
  EXPECT_EQ(e.frames, bitmap.getFrameCount(e.frameHeight));
  EXPECT_EQ(0, bitmap.getHeight() % e.frameHeight) << "a partial frame at the end of the strip";
}

INSTANTIATE_TEST_SUITE_P(Artwork, EveryBitmap, testing::ValuesIn(expectedBitmaps()), nameOf);

// A strip is only as many frames as it shows: neighbouring frames differ.
class EveryStrip : public testing::TestWithParam<Expected> {};

TEST_P(EveryStrip, NeighbouringFramesDiffer) {
  const Expected& e = GetParam();
  Image image(e.id);
  ASSERT_TRUE(image.decoded());
  for (int i = 1; i < e.frames; ++i)
    EXPECT_GT(image.framesDiffer(e.frameHeight, i - 1, i), 20) << "frames " << i - 1 << " and " << i;
}

INSTANTIATE_TEST_SUITE_P(Artwork, EveryStrip,
                         testing::ValuesIn(expectedOfKind({Kind::Knob, Kind::Switch, Kind::FilterType, Kind::Enable,
                                                           Kind::Step, Kind::Command})),
                         nameOf);

TEST(ArtworkRegistration, IsIdempotentAndRestoresRemovedEntries) {
  registerMorvelithArtwork();
  const CResourceData first = CResourceRegistry::find(10030);
  registerMorvelithArtwork();
  const CResourceData second = CResourceRegistry::find(10030);
  EXPECT_EQ(first.bytes, second.bytes);
  EXPECT_EQ(first.size, second.size);

  CResourceRegistry::remove(10000);
  ASSERT_EQ(nullptr, CResourceRegistry::find(10000).bytes);
  registerMorvelithArtwork();
  EXPECT_NE(nullptr, CResourceRegistry::find(10000).bytes);
}

TEST(ArtworkRegistration, RegistersNothingOutsideTheTable) {
  registerMorvelithArtwork();
  const auto table = expectedBitmaps();
  for (long id = 9990; id <= 10080; ++id) {
    const bool listed = std::any_of(table.begin(), table.end(), [&](const Expected& e) { return e.id == id; });
    if (!listed) {
      EXPECT_EQ(nullptr, CResourceRegistry::find(id).bytes) << id;
    }
  }
}

// ---- Knobs -------------------------------------------------------------------

enum class Family { Cyan, Green, Violet };

struct KnobCase {
  long id;
  Family family;
  bool bipolar;  // depths: arc grows out of the centre position
  bool opaque;   // 24-bit strips, painted over the face at their place
  int left, top;  // where the layout puts it (for the opaque ones)
};

// Colour families of the value texts the layout gives each knob's parameter.
const KnobCase kKnobCases[] = {
    {10010, Family::Cyan, true, false, 290, 90},    {10011, Family::Cyan, true, false, 290, 170},
    {10012, Family::Cyan, false, false, 40, 410},   {10013, Family::Cyan, false, false, 40, 490},
    {10014, Family::Cyan, false, false, 340, 90},   {10015, Family::Cyan, false, false, 340, 170},
    {10016, Family::Cyan, false, false, 105, 170},  {10017, Family::Cyan, false, false, 580, 250},
    {10018, Family::Cyan, false, false, 580, 330},  {10019, Family::Cyan, false, false, 300, 330},
    {10020, Family::Cyan, false, false, 90, 410},   {10021, Family::Cyan, false, false, 565, 450},
    {10022, Family::Cyan, false, false, 90, 490},   {10023, Family::Cyan, false, false, 40, 90},
    {10024, Family::Green, true, true, 290, 250},   {10025, Family::Green, true, true, 140, 410},
    {10026, Family::Green, true, true, 140, 490},   {10027, Family::Green, false, true, 405, 250},
    {10028, Family::Green, false, true, 140, 330},  {10029, Family::Violet, false, false, 190, 330},
    {10030, Family::Violet, false, false, 775, 450},
};

void PrintTo(const KnobCase& k, std::ostream* out) { *out << "knob strip " << k.id; }

constexpr int kKnobFrames = 45;
constexpr int kKnobSize = 50;
constexpr double kPi = 3.14159265358979;

// Luminance between pixel centres, bilinear (pixel (i, j) is centred on
// i + 0.5, j + 0.5).
double luminanceAt(const Image& image, double x, double y) {
  const double fx = x - 0.5, fy = y - 0.5;
  const int x0 = static_cast<int>(std::floor(fx)), y0 = static_cast<int>(std::floor(fy));
  const double tx = fx - x0, ty = fy - y0;
  auto l = [&](int i, int j) { return image.sample(i, j).luminance(); };
  return (l(x0, y0) * (1 - tx) + l(x0 + 1, y0) * tx) * (1 - ty) + (l(x0, y0 + 1) * (1 - tx) + l(x0 + 1, y0 + 1) * tx) * ty;
}

// Pointer direction of one frame, in degrees from 12 o'clock clockwise: the
// centre of the brightest spread of rays through the knob's inner part.
double pointerAngle(const Image& image, int frame) {
  const double cx = kKnobSize / 2.0, cy = frame * kKnobSize + kKnobSize / 2.0;
  std::vector<double> profile;
  for (int angle = -170; angle <= 170; ++angle) {
    const double a = (angle - 90) * kPi / 180;
    double sum = 0;
    for (double r = 6; r <= 11; r += 0.5) sum += luminanceAt(image, cx + r * std::cos(a), cy + r * std::sin(a));
    profile.push_back(sum);
  }
  const auto peak = std::max_element(profile.begin(), profile.end());
  const double floor = *std::min_element(profile.begin(), profile.end());
  const double threshold = floor + 0.7 * (*peak - floor);
  // Centroid of the contiguous run around the peak above 70 % of its height.
  std::ptrdiff_t from = peak - profile.begin(), to = from;
  while (from > 0 && profile[from - 1] > threshold) --from;
  while (to + 1 < static_cast<std::ptrdiff_t>(profile.size()) && profile[to + 1] > threshold) ++to;
  double weight = 0, moment = 0;
  for (std::ptrdiff_t i = from; i <= to; ++i) {
    weight += profile[i] - threshold;
    moment += (profile[i] - threshold) * (i - 170);
  }
  return weight > 0 ? moment / weight : static_cast<double>(peak - profile.begin() - 170);
}

bool inFamily(const Pixel& p, Family family) {
  switch (family) {
    case Family::Cyan: return p.r < 0.35 && p.g > 0.6 && p.b > 0.6 && std::abs(p.g - p.b) < 0.2;
    case Family::Green: return p.r < 0.35 && p.g > 0.6 && p.b < p.g * 0.7;
    case Family::Violet: return p.r > 0.6 && p.b > 0.6 && p.g < p.r * 0.7;
  }
  return false;
}

// Strongly coloured pixels of the family in one frame: the lit value arc.
int litPixels(const Image& image, int frame, Family family) {
  int count = 0;
  for (int y = 0; y < kKnobSize; ++y)
    for (int x = 0; x < kKnobSize; ++x) {
      const Pixel p = image.at(x, frame * kKnobSize + y);
      count += p.a > 0.9 && p.saturation() > 0.5 && inFamily(p, family);
    }
  return count;
}

class Knob : public testing::TestWithParam<KnobCase> {
 protected:
  void SetUp() override {
    image_ = std::make_unique<Image>(GetParam().id);
    ASSERT_TRUE(image_->decoded());
    ASSERT_EQ(kKnobSize * kKnobFrames, image_->height());
  }
  std::unique_ptr<Image> image_;
};

TEST_P(Knob, PointerTurnsSmoothlyFromMinus135ToPlus135Degrees) {
  double previous = -1000;
  for (int i = 0; i < kKnobFrames; ++i) {
    const double angle = pointerAngle(*image_, i);
    const double expected = -135.0 + 270.0 * i / (kKnobFrames - 1);
    EXPECT_NEAR(expected, angle, 2.5) << "frame " << i;
    EXPECT_GT(angle, previous) << "frame " << i << " does not turn further than frame " << i - 1;
    previous = angle;
  }
}

TEST_P(Knob, ValueArcGrowsFromItsOriginInTheFamilyColour) {
  const KnobCase& k = GetParam();
  const int origin = k.bipolar ? kKnobFrames / 2 : 0;
  const int atOrigin = litPixels(*image_, origin, k.family);
  EXPECT_LT(atOrigin, 25) << "an arc is lit at the origin position";
  // Moving away from the origin lengthens the arc, on both sides for a depth.
  int previous = atOrigin;
  for (int i = origin + 1; i < kKnobFrames; ++i) {
    const int lit = litPixels(*image_, i, k.family);
    EXPECT_GE(lit, previous - 3) << "frame " << i;
    previous = std::max(previous, lit);
  }
  // A full sweep lights 270 degrees of arc, a depth's half sweep 135.
  const int fullArc = k.bipolar ? 80 : 160;
  EXPECT_GT(previous, fullArc) << "no value arc in the family colour at the maximum";
  if (k.bipolar) {
    previous = atOrigin;
    for (int i = origin - 1; i >= 0; --i) {
      const int lit = litPixels(*image_, i, k.family);
      EXPECT_GE(lit, previous - 3) << "frame " << i;
      previous = std::max(previous, lit);
    }
    EXPECT_GT(previous, fullArc) << "no value arc at the minimum of a depth";
    EXPECT_NEAR(litPixels(*image_, 0, k.family), litPixels(*image_, kKnobFrames - 1, k.family), 40)
        << "a depth's extremes should light arcs of equal length";
  }
}

// 24-bit strips carry no alpha and must join the face at their place; the
// others are transparent round the knob.
TEST_P(Knob, OpaqueStripsMatchTheFaceAndOthersAreTransparentOutside) {
  const KnobCase& k = GetParam();
  if (!k.opaque) {
    EXPECT_EQ(6, image_->pngColourType());
    for (int i = 0; i < kKnobFrames; ++i) EXPECT_EQ(0u, image_->raw(0, i * kKnobSize) >> 24) << "frame " << i;
    return;
  }
  EXPECT_EQ(2, image_->pngColourType());
  Image face(10000);
  ASSERT_TRUE(face.decoded());
  for (int i = 0; i < kKnobFrames; i += 11)
    for (auto [x, y] : {std::pair{0, 0}, {49, 0}, {0, 49}, {49, 49}, {2, 3}})
      EXPECT_EQ(face.raw(k.left + x, k.top + y), image_->raw(x, i * kKnobSize + y))
          << "frame " << i << " pixel " << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(Artwork, Knob, testing::ValuesIn(kKnobCases),
                         [](const testing::TestParamInfo<KnobCase>& info) { return "id" + std::to_string(info.param.id); });

// ---- Two-state bitmaps -------------------------------------------------------

// Pixels that glow: bright and strongly coloured.
int glowingPixels(const Image& image, int frameHeight, int frame) {
  int count = 0;
  for (int y = 0; y < frameHeight; ++y)
    for (int x = 0; x < image.width(); ++x) {
      const Pixel p = image.at(x, frame * frameHeight + y);
      count += p.a > 0.5 && p.saturation() > 0.55 && std::max({p.r, p.g, p.b}) > 0.7;
    }
  return count;
}

class TwoStates : public testing::TestWithParam<Expected> {};

// Off and on (up and pressed) are told apart at a glance: the second state
// lights up where the first shows no light.
TEST_P(TwoStates, SecondStateLightsUp) {
  const Expected& e = GetParam();
  Image image(e.id);
  ASSERT_TRUE(image.decoded());
  EXPECT_GT(image.framesDiffer(e.frameHeight, 0, 1), e.width * e.frameHeight / 4);
  const int off = glowingPixels(image, e.frameHeight, 0);
  const int on = glowingPixels(image, e.frameHeight, 1);
  EXPECT_LT(off, 4) << "the off or up state already glows";
  EXPECT_GT(on, 12) << "the on or pressed state does not light up";
}

INSTANTIATE_TEST_SUITE_P(Artwork, TwoStates,
                         testing::ValuesIn(expectedOfKind({Kind::Switch, Kind::Enable, Kind::Step, Kind::Command})),
                         nameOf);

// Each of the seven filter types has a picture of its own.
TEST(FilterTypeArt, SevenDistinctFrames) {
  Image image(10050);
  ASSERT_TRUE(image.decoded());
  for (int a = 0; a < 7; ++a)
    for (int b = a + 1; b < 7; ++b) EXPECT_GT(image.framesDiffer(40, a, b), 40) << "types " << a << " and " << b;
}

// The low-pass picture is lit on the left (low frequencies) and the
// high-pass picture on the right: the curves are not interchanged.
TEST(FilterTypeArt, PassBandsSitWhereTheirNamesSay) {
  Image image(10050);
  ASSERT_TRUE(image.decoded());
  auto litColumnsBetween = [&](int frame, int x0, int x1) {
    int lit = 0;
    for (int x = x0; x < x1; ++x)
      for (int y = 8; y < 18; ++y) {
        const Pixel p = image.at(x, frame * 40 + y);
        lit += p.saturation() > 0.5 && p.g > 0.6;
      }
    return lit;
  };
  EXPECT_GT(litColumnsBetween(0, 6, 20), litColumnsBetween(0, 32, 45)) << "low pass";
  EXPECT_GT(litColumnsBetween(1, 32, 45), litColumnsBetween(1, 6, 20)) << "high pass";
}

// ---- Backgrounds cut from the face ---------------------------------------------

struct Cut {
  long id;
  int left, top;  // where the editor draws it
};

void PrintTo(const Cut& c, std::ostream* out) { *out << "bitmap " << c.id << " at " << c.left << "," << c.top; }

class CutFromTheFace : public testing::TestWithParam<Cut> {};

TEST_P(CutFromTheFace, JoinsTheFaceWithoutASeam) {
  const Cut& cut = GetParam();
  Image face(10000), piece(cut.id);
  ASSERT_TRUE(face.decoded());
  ASSERT_TRUE(piece.decoded());
  int differing = 0;
  for (int y = 0; y < piece.height() && cut.top + y < face.height(); ++y)
    for (int x = 0; x < piece.width(); ++x) differing += face.raw(cut.left + x, cut.top + y) != piece.raw(x, y);
  EXPECT_EQ(0, differing);
}

// The browser container's background sits at its top-left corner, the
// program menu's at the menu's, the command panel's at the panel's.
INSTANTIATE_TEST_SUITE_P(Artwork, CutFromTheFace,
                         testing::Values(Cut{10058, 560, 0}, Cut{10059, 595, 5}, Cut{10066, 555, 45}),
                         [](const testing::TestParamInfo<Cut>& info) { return "id" + std::to_string(info.param.id); });

// ---- The face ----------------------------------------------------------------------

struct Area {
  const char* what;
  int left, top, right, bottom;
};

void PrintTo(const Area& a, std::ostream* out) {
  *out << a.what << " at " << a.left << "," << a.top << "," << a.right << "," << a.bottom;
}

// Bright text pixels in an area of the face (the plate and panels are dark).
int inkIn(const Image& face, const Area& area) {
  int ink = 0;
  for (int y = area.top; y < area.bottom; ++y)
    for (int x = area.left; x < area.right; ++x) ink += face.at(x, y).luminance() > 0.42;
  return ink;
}

TEST(Face, IsNotBlank) {
  Image face(10000);
  ASSERT_TRUE(face.decoded());
  double sum = 0, sumSquares = 0;
  const int n = face.width() * face.height();
  for (int y = 0; y < face.height(); ++y)
    for (int x = 0; x < face.width(); ++x) {
      const double l = face.at(x, y).luminance();
      sum += l, sumSquares += l * l;
    }
  const double mean = sum / n;
  const double deviation = std::sqrt(sumSquares / n - mean * mean);
  EXPECT_GT(deviation, 0.02) << "a flat face";
  EXPECT_GT(inkIn(face, {"whole", 0, 0, 865, 555}), 3000) << "no words on the face";
}

// Label places the layout implies: above a knob (15 px), above a vertical
// micro control (20 px), left of a horizontal one (40 px); one per position
// (a SYNCED member shares its free member's place).
class Label : public testing::TestWithParam<Area> {};

TEST_P(Label, IsPrinted) {
  Image face(10000);
  ASSERT_TRUE(face.decoded());
  EXPECT_GT(inkIn(face, GetParam()), 8) << "nothing printed for " << GetParam().what;
}

Area knob(const char* what, int l, int t, int r) { return {what, l, t - 15, r, t}; }
Area vertical(const char* what, int l, int t, int r) { return {what, l, t - 20, r, t}; }
Area horizontal(const char* what, int l, int t, int b) { return {what, l - 40, t, l, b}; }

const Area kLabels[] = {
    knob("Osc PHASE", 105, 170, 155), horizontal("Osc DETUNE", 160, 244, 257), vertical("Osc MULTI", 105, 80, 145),
    vertical("Osc SPREAD", 110, 135, 150), knob("Osc LOW", 40, 170, 90), knob("Osc WAVEFORM", 40, 90, 90),
    vertical("Osc MASS AMOUNT", 160, 95, 205), vertical("Osc MASS RATE", 160, 135, 205),
    vertical("Osc MASS VARI", 160, 175, 205), vertical("Osc TRIM", 40, 255, 90), vertical("Pitch PORTA", 235, 135, 285),
    vertical("Pitch TUNE", 235, 95, 285), vertical("Pitch BEND", 235, 175, 285), vertical("Pitch ENV TIME", 235, 250, 285),
    vertical("Pitch ENV DEPTH", 235, 290, 285), knob("Pitch LFO DEPTH", 290, 250, 340), knob("LPF TUNE", 40, 410, 90),
    knob("LPF ENV", 190, 410, 240), knob("LPF LFO", 140, 410, 190), knob("LPF RES", 90, 410, 140),
    horizontal("LPF SPREAD", 85, 374, 387), knob("HPF TUNE", 40, 490, 90), knob("HPF ENV", 190, 490, 240),
    knob("HPF LFO", 140, 490, 190), knob("HPF RES", 90, 490, 140), horizontal("Spread RATE", 85, 314, 327),
    horizontal("Spread SPREAD", 85, 334, 347), knob("LFO RATE", 405, 250, 455), horizontal("LFO DELAY", 500, 249, 262),
    horizontal("LFO FADE", 500, 269, 282), horizontal("LFO HOLD", 500, 289, 302), knob("Vibra DEPTH", 290, 90, 340),
    knob("Vibra RATE", 340, 90, 390), horizontal("Vibra DELAY", 500, 89, 102), horizontal("Vibra FADE", 500, 109, 122),
    horizontal("Vibra HOLD", 500, 129, 142), knob("Trill DEPTH", 290, 170, 340), knob("Trill RATE", 340, 170, 390),
    horizontal("Trill DELAY", 500, 169, 182), horizontal("Trill FADE", 500, 189, 202),
    horizontal("Trill HOLD", 500, 209, 222), knob("Master LEVEL", 775, 450, 825), knob("Amp LFO", 140, 330, 190),
    knob("Amp ATK", 300, 330, 350), knob("Amp HLD", 350, 330, 400), knob("Amp DCY", 400, 330, 450),
    knob("Amp SUS", 450, 330, 500), knob("Amp REL", 499, 330, 549), knob("Drive AMOUNT", 190, 330, 240),
    knob("LPF ATK", 300, 410, 350), knob("LPF HLD", 350, 410, 400), knob("LPF DCY", 400, 410, 450),
    knob("LPF SUS", 450, 410, 500), knob("LPF REL", 499, 410, 549), knob("HPF ATK", 300, 490, 350),
    knob("HPF HLD", 350, 490, 400), knob("HPF DCY", 400, 490, 450), knob("HPF SUS", 450, 490, 500),
    knob("HPF REL", 499, 490, 549), knob("Phaser DEPTH", 565, 450, 615), knob("Phaser RATE", 620, 450, 670),
    knob("Phaser FB", 674, 450, 724), knob("HPF Delay MIX", 580, 250, 630), horizontal("HPF Delay FB", 675, 285, 298),
    horizontal("HPF Delay TUNE", 675, 255, 268), knob("BPF Delay MIX", 580, 330, 630),
    horizontal("BPF Delay FB", 675, 365, 378), horizontal("BPF Delay TUNE", 675, 335, 348),
    // The equaliser's micro controls carry no label view, but the face still names them.
    vertical("Eq 1 FRQ", 745, 275, 795), vertical("Eq 1 Q", 745, 320, 795), vertical("Eq 1 GAIN", 745, 365, 795),
    vertical("Eq 2 FRQ", 795, 275, 845), vertical("Eq 2 Q", 795, 320, 845), vertical("Eq 2 GAIN", 795, 365, 845),
};

INSTANTIATE_TEST_SUITE_P(Artwork, Label, testing::ValuesIn(kLabels), [](const testing::TestParamInfo<Area>& info) {
  std::string name = info.param.what;
  std::replace(name.begin(), name.end(), ' ', '_');
  return name;
});

// Section titles sit in the section help areas (the areas whose tool-tip is
// the section's help), so pointing at a title explains the section.
class SectionTitle : public testing::TestWithParam<Area> {};

TEST_P(SectionTitle, IsPrintedInItsHelpArea) {
  Image face(10000);
  ASSERT_TRUE(face.decoded());
  EXPECT_GT(inkIn(face, GetParam()), 15) << "no title for " << GetParam().what;
}

const Area kHelpAreas[] = {
    {"Osc", 35, 50, 95, 75},      {"Pitch", 230, 50, 300, 70},    {"LFO", 340, 235, 400, 260},
    {"Amp", 140, 285, 215, 310},  {"Spread", 35, 285, 130, 305},  {"LPF", 5, 405, 30, 465},
    {"HPF", 5, 485, 30, 545},     {"Delay", 565, 180, 635, 205},  {"Eq", 740, 180, 790, 205},
    {"Phaser", 565, 415, 635, 435},
};

INSTANTIATE_TEST_SUITE_P(Artwork, SectionTitle, testing::ValuesIn(kHelpAreas),
                         [](const testing::TestParamInfo<Area>& info) { return std::string(info.param.what); });

// Where controls stand, the face stays free of words: a label under a knob or
// a value text would be covered or collide with the value.
TEST(Face, KnobPlacesCarryNoWords) {
  Image face(10000);
  ASSERT_TRUE(face.decoded());
  for (const KnobCase& k : kKnobCases) {
    const Area place{"knob", k.left + 8, k.top + 8, k.left + 42, k.top + 42};
    EXPECT_EQ(0, inkIn(face, place)) << "knob " << k.id << " at " << k.left << "," << k.top;
  }
}

// ---- The generator ---------------------------------------------------------------

#ifdef ARTWORK_GENERATOR
class Generator : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("morvelith-artwork-" + std::to_string(::getpid()) + "-" +
               testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  static int run(const std::string& arguments) {
    const std::string command = std::string("\"") + ARTWORK_GENERATOR + "\" " + arguments + " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  static std::string read(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  // The PNG file written for id, empty when there is none.
  std::string pngOf(const std::filesystem::path& folder, long id) const {
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      const std::string name = entry.path().filename().string();
      if (name.rfind(std::to_string(id) + "-", 0) == 0 && entry.path().extension() == ".png") return read(entry.path());
    }
    return {};
  }

  std::filesystem::path folder_;
};

// The bitmaps compiled into the plug-in are exactly what the drawing code
// paints now: no stale art, nothing drawn by hand.
TEST_F(Generator, CompiledArtIsWhatTheGeneratorPaints) {
  ASSERT_EQ(0, run("--png-dir \"" + folder_.string() + "\""));
  registerMorvelithArtwork();
  for (const Expected& e : expectedBitmaps()) {
    const CResourceData data = CResourceRegistry::find(e.id);
    ASSERT_NE(nullptr, data.bytes) << e.id;
    const std::string painted = pngOf(folder_, e.id);
    ASSERT_FALSE(painted.empty()) << "no PNG file for " << e.id;
    EXPECT_TRUE(painted.size() == data.size && std::memcmp(painted.data(), data.bytes, data.size) == 0)
        << "bitmap " << e.id << " differs from the generator's output";
  }
  EXPECT_FALSE(read(folder_ / "preview.png").empty()) << "no mock-up of the editor";
}

TEST_F(Generator, PaintsTheSameSourceTwice) {
  std::filesystem::create_directories(folder_);
  ASSERT_EQ(0, run("--source \"" + (folder_ / "a.cpp").string() + "\""));
  ASSERT_EQ(0, run("--source \"" + (folder_ / "b.cpp").string() + "\""));
  const std::string first = read(folder_ / "a.cpp");
  EXPECT_GT(first.size(), 100000u);
  EXPECT_TRUE(first == read(folder_ / "b.cpp")) << "two runs painted different art";
  EXPECT_NE(std::string::npos, first.find("void registerMorvelithArtwork()"));
}

TEST_F(Generator, RefusesUnknownOrMissingArguments) {
  EXPECT_EQ(2, run(""));
  EXPECT_EQ(2, run("--sauce x.cpp"));
  EXPECT_EQ(2, run("--png-dir"));
  EXPECT_FALSE(std::filesystem::exists(folder_));
}

// A source that cannot be written fails the build step instead of leaving the
// library without (or with stale) art.
TEST_F(Generator, ReportsAnUnwritableSource) {
  EXPECT_EQ(1, run("--source \"" + (folder_ / "missing-folder" / "art.cpp").string() + "\""));
}
#endif

}  // namespace
