#include "files/file_trust.h"

#include <sys/statfs.h>

#include <algorithm>

namespace platform {

namespace {

bool Local(const struct statfs& info) {
  switch (static_cast<unsigned long>(info.f_type)) {
    case 0xEF53:      // ext2, ext3, ext4
    case 0x01021994:  // tmpfs
    case 0x858458F6:  // ramfs
    case 0x58465342:  // xfs
    case 0x9123683E:  // btrfs
    case 0xF2F52010:  // f2fs
    case 0x2FC12FC1:  // zfs
    case 0x794C7630:  // overlayfs
      return true;
    default:
      return false;
  }
}

}  // namespace

bool ChangesAllSeenHere(int fd) {
  struct statfs info;
  return fstatfs(fd, &info) == 0 && Local(info);
}

bool ChangesAllSeenHere(const char* path) {
  struct statfs info;
  return statfs(path, &info) == 0 && Local(info);
}

bool TooRecentToTrust(long long mtimeNs, long long ctimeNs, long long readAtNs) {
  constexpr long long kSecond = 1'000'000'000;
  // Well above the coarsest tick (10 ms at 100 Hz) of local file systems.
  constexpr long long kFineWindow = 50'000'000;
  const long long window =
      mtimeNs % kSecond == 0 && ctimeNs % kSecond == 0 ? 2 * kSecond : kFineWindow;
  return std::max(mtimeNs, ctimeNs) + window >= readAtNs;
}

}  // namespace platform
