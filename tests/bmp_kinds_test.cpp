// Every kind of bitmap the picture check accepts is drawn: its pixels come out
// top row first as 0xRRGGBB, whatever the coding (both windows draw these).
#include <gtest/gtest.h>

#include "controls/toolkit.h"
#include "tests/test_support.h"

namespace {

std::string Le(uint32_t v, int bytes) {
  std::string b;
  for (int k = 0; k < bytes; ++k) b += static_cast<char>((v >> (8 * k)) & 0xFF);
  return b;
}

// A 2 x 2 picture with an info header; `table` is the palette or the masks.
std::string Bitmap(int bits, uint32_t compression, const std::string& table,
                   const std::string& data) {
  const auto offset = static_cast<uint32_t>(54 + table.size());
  const auto colours = static_cast<uint32_t>(bits <= 8 ? table.size() / 4 : 0);
  return "BM" + Le(offset + static_cast<uint32_t>(data.size()), 4) + Le(0, 4) + Le(offset, 4) +
         Le(40, 4) + Le(2, 4) + Le(2, 4) + Le(1, 2) + Le(bits, 2) + Le(compression, 4) +
         Le(static_cast<uint32_t>(data.size()), 4) + Le(2835, 4) + Le(2835, 4) + Le(colours, 4) +
         Le(0, 4) + table + data;
}

// Blue, white, red, green; stored rows bottom first: blue white, then red green.
const std::string kPalette("\xFF\0\0\0\xFF\xFF\xFF\0\0\0\xFF\0\0\xFF\0\0", 16);
const struct {
  const char* kind;
  int bits;
  uint32_t compression;
  std::string table, data;
} kKinds[] = {
    {"RLE8", 8, 1, kPalette, std::string("\1\0\1\1\0\0\1\2\1\3\0\1", 12)},
    {"RLE8 absolute and a move", 8, 1, kPalette,
     std::string("\0\3\0\1\3\0\0\0\1\2\0\2\0\0\1\3\0\1", 18)},
    {"RLE4", 4, 2, kPalette, std::string("\2\x01\0\0\2\x23\0\1", 8)},
    {"16 bits 5-5-5", 16, 0, "", Le(0x001F, 2) + Le(0x7FFF, 2) + Le(0x7C00, 2) + Le(0x03E0, 2)},
    {"16 bits 5-6-5 by masks", 16, 3, Le(0xF800, 4) + Le(0x07E0, 4) + Le(0x001F, 4),
     Le(0x001F, 2) + Le(0xFFFF, 2) + Le(0xF800, 2) + Le(0x07E0, 2)},
    {"32 bits by masks, red low", 32, 3, Le(0xFF, 4) + Le(0xFF00, 4) + Le(0xFF0000, 4),
     Le(0xFF0000, 4) + Le(0xFFFFFF, 4) + Le(0xFF, 4) + Le(0xFF00, 4)},
    {"32 bits", 32, 0, "", Le(0xFF, 4) + Le(0xFFFFFF, 4) + Le(0xFF0000, 4) + Le(0xFF00, 4)},
};

TEST(PictureKinds, EveryAcceptedKindIsDrawn) {
  testsupport::TempTree tree;
  for (const auto& k : kKinds) {
    SCOPED_TRACE(k.kind);
    tree.Write("logo.bmp", Bitmap(k.bits, k.compression, k.table, k.data));
    EXPECT_EQ(ui::LoadPicture("C:\\logo.bmp").width, 2);
    const auto p = ui::ReadBitmapPixels("C:\\logo.bmp");
    ASSERT_TRUE(p.has_value());
    EXPECT_EQ(p->rgb, (std::vector<uint32_t>{0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}));
  }
}

}  // namespace
