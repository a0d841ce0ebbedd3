// Inputs the fuzz targets (tests/fuzz) turned up, kept as plain tests.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "controls/toolkit.h"
#include "test_support.h"

namespace {

using testsupport::FailureOf;
using testsupport::TempTree;

// The headers and palette of an uncompressed bitmap; the pixel rows are left
// to the caller (a sparse file of the full size will do).
std::string BitmapHead(int32_t width, int32_t height, int bits, uint32_t dataSize) {
  std::string b = "BM";
  auto le = [&b](uint32_t v, int bytes) {
    for (int k = 0; k < bytes; ++k) b += static_cast<char>((v >> (8 * k)) & 0xFF);
  };
  const uint32_t colours = bits <= 8 ? 1u << bits : 0;
  const uint32_t offset = 54 + colours * 4;
  le(offset + dataSize, 4), le(0, 4), le(offset, 4), le(40, 4);
  le(static_cast<uint32_t>(width), 4), le(static_cast<uint32_t>(height), 4), le(1, 2);
  le(static_cast<uint32_t>(bits), 2), le(0, 4), le(dataSize, 4), le(2835, 4), le(2835, 4);
  le(colours, 4), le(0, 4);
  for (uint32_t i = 0; i < colours; ++i) b += std::string("\xFF\xFF\xFF\x00", 4);
  return b;
}

// Writes a bitmap of width x height at bits a pixel (a negative height stores
// it top-down), its rows all zero.
void WriteBitmap(const TempTree& tree, const std::string& name, int32_t width, int32_t height,
                 int bits) {
  const uint64_t stride = (static_cast<uint64_t>(width) * bits + 31) / 32 * 4;
  const uint64_t data = stride * static_cast<uint64_t>(height < 0 ? -height : height);
  const std::string head = BitmapHead(width, height, bits, static_cast<uint32_t>(data));
  tree.Write(name, head);
  std::filesystem::resize_file(tree.Host(name), head.size() + data);
}

// A 1-bit picture's colours take 32 times its file's size: a file of a few
// megabytes asked for gigabytes before. The pixel reader now gives nothing for
// a picture with more pixels than a quarter of its largest file, while loading
// still takes it by its header.
TEST(FuzzRegression, PixelReaderBoundsItsMemory) {
  TempTree tree;
  WriteBitmap(tree, "wide.bmp", 4097, 4097, 1);  // 2 MB of file, 64 MB of colours
  ui::Picture picture = ui::LoadPicture("C:\\wide.bmp");
  EXPECT_EQ(picture.width, 4097);
  EXPECT_EQ(picture.height, 4097);
  EXPECT_FALSE(ui::ReadBitmapPixels("C:\\wide.bmp").has_value());

  // The largest picture the reader still decodes.
  WriteBitmap(tree, "largest.bmp", 4096, -4096, 1);
  auto pixels = ui::ReadBitmapPixels("C:\\largest.bmp");
  ASSERT_TRUE(pixels.has_value());
  EXPECT_EQ(pixels->rgb.size(), 4096u * 4096u);
  EXPECT_EQ(pixels->rgb.front(), 0xFFFFFFu);

  // A header declaring 60000 x 60000 over a small file is refused outright.
  tree.Write("declared.bmp", BitmapHead(60000, 60000, 24, 64) + std::string(64, '\0'));
  EXPECT_EQ(FailureOf([] { ui::LoadPicture("C:\\declared.bmp"); }), 481);
  EXPECT_FALSE(ui::ReadBitmapPixels("C:\\declared.bmp").has_value());

  // A valid picture before a sparse 64 GiB tail: only what the header declares
  // is read (the whole file was asked for before, and bad_alloc escaped).
  WriteBitmap(tree, "tail.bmp", 1000, 1000, 24);
  std::filesystem::resize_file(tree.Host("tail.bmp"), uint64_t{64} << 30);
  pixels = ui::ReadBitmapPixels("C:\\tail.bmp");
  ASSERT_TRUE(pixels.has_value());
  EXPECT_EQ(pixels->rgb.size(), 1000u * 1000u);
}

}  // namespace
