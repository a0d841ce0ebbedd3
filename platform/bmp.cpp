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

#include "platform/failure.h"
#include "platform/filesys.h"
#include "platform/toolkit.h"
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
  if (compression != kRgb) return std::nullopt;  // compressed pictures are shown by name
  const size_t entrySize = core ? 3 : 4;
  const size_t table = kFileHeaderSize + headerSize;
  const size_t dataOffset = Le32(b, 10);
  const size_t stride = (static_cast<size_t>(size->width) * bits + 31) / 32 * 4;
  // Then the pixels the headers declare, and not a byte more.
  const uint64_t end = dataOffset + static_cast<uint64_t>(stride) * size->height;
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
        case 16: {
          const uint32_t v = at[0] | (at[1] << 8);
          colour = (((v >> 10) & 31) * 255 / 31) << 16 | (((v >> 5) & 31) * 255 / 31) << 8 |
                   ((v & 31) * 255 / 31);
          break;
        }
        default:  // 24 and 32 bits: blue, green, red
          colour =
              (static_cast<uint32_t>(at[2]) << 16) | (static_cast<uint32_t>(at[1]) << 8) | at[0];
      }
      p.rgb[static_cast<size_t>(y) * p.width + x] = colour;
    }
  }
  return p;
}

}  // namespace ui
