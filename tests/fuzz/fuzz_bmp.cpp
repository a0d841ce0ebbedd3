// Fuzzes the bitmap loader: the input is a logo file of the installation, which
// may hold anything. Loading either takes the picture or refuses it with 481;
// the pixel reader gives nothing for a file that loading refuses and, for one it
// takes, pixels of the size loading reported, never more of them than the
// file's bits. An uncompressed picture turned from bottom-up to top-down (its
// height negated) reads as its mirror image.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/failure.h"
#include "controls/toolkit.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

using fuzz::Check;

struct Loaded {
  std::optional<ui::Picture> picture;
  std::optional<ui::Pixels> pixels;
};

Loaded Load(const std::string& name, std::string_view bytes) {
  fuzz::WriteScratch(name, bytes);
  const std::string winPath = "C:\\" + name;
  Loaded l;
  try {
    l.picture = ui::LoadPicture(winPath);
  } catch (const platform::Failure& f) {
    Check(f.number == platform::kInvalidPicture, "junk is refused as an invalid picture");
  }
  l.pixels = ui::ReadBitmapPixels(winPath);
  if (l.picture) {
    Check(l.picture->source == winPath, "the picture keeps its source");
    Check(l.picture->width >= 1 && l.picture->height >= 1 && l.picture->width <= 32768 &&
              l.picture->height <= 32768,
          "a taken picture has a sensible size");
  }
  if (l.pixels) {
    const ui::Pixels& p = *l.pixels;
    Check(l.picture.has_value(), "the pixel reader takes only what loading takes");
    Check(p.width == l.picture->width && p.height == l.picture->height,
          "pixels and picture agree on the size");
    Check(p.rgb.size() == static_cast<size_t>(p.width) * static_cast<size_t>(p.height),
          "one colour per pixel");
    Check(p.rgb.size() <= bytes.size() * 8, "no more pixels than the file has bits");
    for (uint32_t c : p.rgb) Check(c <= 0xFFFFFF, "colours are 0xRRGGBB");
  }
  return l;
}

uint32_t Le32(std::string_view b, size_t at) {
  return static_cast<uint32_t>(static_cast<uint8_t>(b[at])) |
         static_cast<uint32_t>(static_cast<uint8_t>(b[at + 1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(b[at + 2])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const Loaded l = Load("logo.bmp", bytes);

  // The mirror: only info headers carry a signed height.
  if (!l.pixels || bytes.size() < 26 || Le32(bytes, 14) < 40) return 0;
  std::string flipped = bytes;
  const uint32_t height = 0u - Le32(bytes, 22);
  for (int i = 0; i < 4; ++i) flipped[22 + i] = static_cast<char>(height >> (8 * i));
  const Loaded m = Load("mirror.bmp", flipped);
  Check(m.pixels.has_value(), "the mirrored picture reads too");
  const ui::Pixels &p = *l.pixels, &q = *m.pixels;
  Check(q.width == p.width && q.height == p.height, "the mirror has the same size");
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x)
      Check(p.rgb[static_cast<size_t>(y) * p.width + x] ==
                q.rgb[static_cast<size_t>(p.height - 1 - y) * p.width + x],
            "top-down reads as the mirror of bottom-up");
  return 0;
}
