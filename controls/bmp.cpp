// Loading bitmap files for the picture properties. Only the header is read and
// checked: the picture model keeps the source and the size, not the pixels.
// Front ends that show a picture read its pixels separately.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/failure.h"
#include "controls/toolkit.h"
#include "files/host.h"
#include "platform/winpath.h"

namespace ui {

namespace {

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kLargestHeaderSize = 124;  // the fifth version of the info header
constexpr uint32_t kBitFieldMasksSize = 12;   // behind a plain info header
constexpr int64_t kLargestSide = 32768;       // pixels

constexpr uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3;

uint32_t Le16(std::string_view b, size_t at) {
  return static_cast<uint8_t>(b[at]) | (static_cast<uint8_t>(b[at + 1]) << 8);
}

uint32_t Le32(std::string_view b, size_t at) {
  return Le16(b, at) | (Le16(b, at + 2) << 16);
}

struct BmpSize {
  int width = 0;
  int height = 0;
};

// Checks the headers of a bitmap file of fileSize bytes whose first bytes are
// head; the size of the picture, or nothing for a file that is no bitmap or is
// cut short.
std::optional<BmpSize> CheckBitmap(std::string_view head, uint64_t fileSize) {
  if (head.size() < kFileHeaderSize + kCoreHeaderSize || head[0] != 'B' || head[1] != 'M')
    return std::nullopt;
  const uint64_t dataOffset = Le32(head, 10);
  const uint32_t headerSize = Le32(head, 14);

  int64_t width = 0, height = 0;
  uint32_t planes = 0, bits = 0, compression = kRgb, imageSize = 0, coloursUsed = 0;
  uint64_t entrySize = 4, extra = 0;
  if (headerSize == kCoreHeaderSize) {
    width = Le16(head, 18);
    height = Le16(head, 20);
    planes = Le16(head, 22);
    bits = Le16(head, 24);
    entrySize = 3;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24) return std::nullopt;
  } else if (headerSize == kInfoHeaderSize || headerSize == 52 || headerSize == 56 ||
             headerSize == 108 || headerSize == kLargestHeaderSize) {
    if (head.size() < kFileHeaderSize + kInfoHeaderSize) return std::nullopt;
    width = static_cast<int32_t>(Le32(head, 18));
    height = static_cast<int32_t>(Le32(head, 22));
    planes = Le16(head, 26);
    bits = Le16(head, 28);
    compression = Le32(head, 30);
    imageSize = Le32(head, 34);
    coloursUsed = Le32(head, 46);
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
      return std::nullopt;
    switch (compression) {
      case kRgb:
        break;
      case kRle8:
        if (bits != 8 || height < 0) return std::nullopt;
        break;
      case kRle4:
        if (bits != 4 || height < 0) return std::nullopt;
        break;
      case kBitFields:
        if (bits != 16 && bits != 32) return std::nullopt;
        if (headerSize == kInfoHeaderSize) extra = kBitFieldMasksSize;
        break;
      default:
        return std::nullopt;  // embedded JPEG or PNG and the like
    }
  } else {
    return std::nullopt;
  }
  if (height < 0) height = -height;  // stored top-down
  if (planes != 1 || width <= 0 || height <= 0 || width > kLargestSide || height > kLargestSide)
    return std::nullopt;

  uint64_t colours = coloursUsed;
  if (bits <= 8) {
    if (colours == 0) colours = uint64_t{1} << bits;
    if (colours > (uint64_t{1} << bits)) return std::nullopt;
  }
  const uint64_t tableEnd = kFileHeaderSize + headerSize + extra + colours * entrySize;
  if (tableEnd > fileSize || dataOffset < kFileHeaderSize + headerSize || dataOffset >= fileSize)
    return std::nullopt;
  if (compression == kRgb || compression == kBitFields) {
    const uint64_t stride = (static_cast<uint64_t>(width) * bits + 31) / 32 * 4;
    if (dataOffset + stride * static_cast<uint64_t>(height) > fileSize) return std::nullopt;
  } else if (imageSize != 0 && dataOffset + imageSize > fileSize) {
    return std::nullopt;
  }
  return BmpSize{static_cast<int>(width), static_cast<int>(height)};
}

// The first length bytes of the file open at fd (fewer where it is shorter);
// false on a read error.
bool ReadPrefix(int fd, size_t length, std::string& bytes) {
  bytes.assign(length, '\0');
  size_t got = 0;
  while (got < length) {
    ssize_t n = ::pread(fd, bytes.data() + got, length - got, static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  bytes.resize(got);
  return true;
}

// A colour channel of a 16- or 32-bit pixel by its mask, widened to 8 bits.
uint32_t Channel(uint32_t pixel, uint32_t mask) {
  if (mask == 0) return 0;
  const int shift = __builtin_ctz(mask);
  const uint64_t top = mask >> shift;
  return static_cast<uint32_t>(((pixel & mask) >> shift) * 255 / top);
}

// The palette indices of a run-length coded picture (4 or 8 bits a pixel),
// bottom row first as stored; pixels the code skips keep index 0, as the
// toolkit leaves them in the background. Data cut short ends the picture there.
std::vector<uint8_t> DecodeRunLengths(std::string_view data, int width, int height, int bits) {
  std::vector<uint8_t> index(static_cast<size_t>(width) * height, 0);
  int64_t x = 0, y = 0;
  auto put = [&](uint32_t value) {
    if (x < width && y < height) index[static_cast<size_t>(y) * width + x] = value & 0xFF;
    ++x;
  };
  size_t at = 0;
  while (at + 1 < data.size() && y < height) {
    const uint32_t count = static_cast<uint8_t>(data[at]);
    const uint32_t value = static_cast<uint8_t>(data[at + 1]);
    at += 2;
    if (count > 0) {  // a run of one index (8 bits) or of two alternating ones (4 bits)
      for (uint32_t i = 0; i < count; ++i)
        put(bits == 8 ? value : (i % 2 == 0 ? value >> 4 : value & 15));
    } else if (value == 0) {  // end of the line
      x = 0;
      ++y;
    } else if (value == 1) {  // end of the picture
      break;
    } else if (value == 2) {  // a move right and up
      if (at + 1 >= data.size()) break;
      x += static_cast<uint8_t>(data[at]);
      y += static_cast<uint8_t>(data[at + 1]);
      at += 2;
    } else {  // `value` indices as they are, padded to a whole word
      const size_t bytes = bits == 8 ? value : (value + 1) / 2;
      if (at + bytes > data.size()) break;
      for (uint32_t i = 0; i < value; ++i) {
        const uint32_t b = static_cast<uint8_t>(data[at + (bits == 8 ? i : i / 2)]);
        put(bits == 8 ? b : (i % 2 == 0 ? b >> 4 : b & 15));
      }
      at += (bytes + 1) / 2 * 2;
    }
  }
  return index;
}

}  // namespace

Picture LoadPicture(const std::string& winPath) {
  // As in the toolkit, no file name at all gives the empty picture.
  if (winPath.empty()) return Picture{};
  auto host = platform::ToHost(winPath);
  if (!host) platform::Raise(platform::kFileNotFound);
  // Non-blocking, so that a named pipe cannot hold the program up.
  platform::UniqueFd file(::open(host->c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (file.fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) platform::Raise(platform::kFileNotFound);
    platform::Raise(platform::kInvalidPicture);
  }
  struct stat st;
  // A file without read bits is unreadable on Windows even for an administrator.
  if (fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode) || (st.st_mode & 0444) == 0)
    platform::Raise(platform::kInvalidPicture);

  std::string head;
  if (!ReadPrefix(file.fd, kFileHeaderSize + kLargestHeaderSize, head))
    platform::Raise(platform::kInvalidPicture);

  std::optional<BmpSize> size = CheckBitmap(head, static_cast<uint64_t>(st.st_size));
  if (!size) platform::Raise(platform::kInvalidPicture);
  Picture picture;
  picture.source = winPath;
  picture.width = size->width;
  picture.height = size->height;
  return picture;
}

std::optional<Pixels> ReadBitmapPixels(const std::string& winPath) {
  constexpr size_t kLargestFile = 64u << 20;
  if (winPath.empty()) return std::nullopt;
  auto host = platform::ToHost(winPath);
  if (!host) return std::nullopt;
  platform::UniqueFd file(::open(host->c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  struct stat st;
  if (file.fd < 0 || fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode) ||
      platform::UnreadableMode(st.st_mode))
    return std::nullopt;
  // Only what the headers declare is read, never the whole file: a valid header
  // before a huge tail must not make the reader take in gigabytes.
  std::string b;
  if (!ReadPrefix(file.fd, kFileHeaderSize + kLargestHeaderSize, b)) return std::nullopt;
  const uint64_t fileSize = static_cast<uint64_t>(st.st_size);
  std::optional<BmpSize> size = CheckBitmap(b, fileSize);
  if (!size) return std::nullopt;
  // Four bytes a pixel take up to 32 times the bytes read (at 1 bit a pixel);
  // the colours get no more memory than the largest file.
  if (static_cast<uint64_t>(size->width) * size->height > kLargestFile / 4) return std::nullopt;
  const uint32_t headerSize = Le32(b, 14);
  const bool core = headerSize == kCoreHeaderSize;
  const uint32_t bits = core ? Le16(b, 24) : Le16(b, 28);
  const uint32_t compression = core ? kRgb : Le32(b, 30);
  const bool topDown = !core && static_cast<int32_t>(Le32(b, 22)) < 0;
  const bool runLengths = compression == kRle8 || compression == kRle4;
  // The channels of 16 and 32 bits: the masks behind the info header (inside
  // the later headers, at the same place), else 5-5-5 and 8-8-8.
  uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
  if (bits == 32) masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;
  if (compression == kBitFields)
    for (int i = 0; i < 3; ++i) masks[i] = Le32(b, kFileHeaderSize + kInfoHeaderSize + 4 * i);
  const size_t entrySize = core ? 3 : 4;
  const size_t table = kFileHeaderSize + headerSize;
  const size_t dataOffset = Le32(b, 10);
  const size_t stride = (static_cast<size_t>(size->width) * bits + 31) / 32 * 4;
  // Then the pixels the headers declare, and not a byte more (a run-length code
  // up to its declared size, or the file's end).
  const uint32_t codeSize = core ? 0 : Le32(b, 34);
  const uint64_t end = runLengths ? (codeSize != 0 ? dataOffset + codeSize : fileSize)
                                  : dataOffset + static_cast<uint64_t>(stride) * size->height;
  if (end > kLargestFile || end > fileSize || !ReadPrefix(file.fd, end, b) || b.size() < end)
    return std::nullopt;

  Pixels p;
  p.width = size->width;
  p.height = size->height;
  p.rgb.resize(static_cast<size_t>(p.width) * p.height);
  auto paletteColour = [&](size_t index) -> uint32_t {
    const size_t at = table + index * entrySize;
    if (at + 3 > b.size()) return 0;
    return (static_cast<uint32_t>(static_cast<uint8_t>(b[at + 2])) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(b[at + 1])) << 8) |
           static_cast<uint8_t>(b[at]);
  };
  if (runLengths) {
    const std::vector<uint8_t> index = DecodeRunLengths(
        std::string_view(b).substr(dataOffset), p.width, p.height, compression == kRle8 ? 8 : 4);
    for (int y = 0; y < p.height; ++y)
      for (int x = 0; x < p.width; ++x)
        p.rgb[static_cast<size_t>(y) * p.width + x] =
            paletteColour(index[static_cast<size_t>(p.height - 1 - y) * p.width + x]);
    return p;
  }
  for (int y = 0; y < p.height; ++y) {
    const size_t row = dataOffset + stride * static_cast<size_t>(topDown ? y : p.height - 1 - y);
    for (int x = 0; x < p.width; ++x) {
      uint32_t colour = 0;
      const size_t bit = static_cast<size_t>(x) * bits;
      const uint8_t* at = reinterpret_cast<const uint8_t*>(b.data()) + row + bit / 8;
      switch (bits) {
        case 1:
        case 4:
        case 8: {
          const int shift = 8 - static_cast<int>(bits) - static_cast<int>(bit % 8);
          colour = paletteColour((at[0] >> shift) & ((1u << bits) - 1));
          break;
        }
        case 16:
        case 32: {
          uint32_t v = at[0] | (at[1] << 8);
          if (bits == 32)
            v |= static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
          colour = Channel(v, masks[0]) << 16 | Channel(v, masks[1]) << 8 | Channel(v, masks[2]);
          break;
        }
        default:  // 24 bits: blue, green, red
          colour =
              (static_cast<uint32_t>(at[2]) << 16) | (static_cast<uint32_t>(at[1]) << 8) | at[0];
      }
      p.rgb[static_cast<size_t>(y) * p.width + x] = colour;
    }
  }
  return p;
}

}  // namespace ui
