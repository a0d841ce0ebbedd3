// What a file's stat and the kernel's change notification can vouch for, one
// rule for both keepers of file-system state: the folder name index
// (files/name_index.h) and the cache of INI files (files/file_cache.h).
#pragma once

namespace platform {

// True when every change of the file system that holds the open file or folder
// fd passes through this kernel, so that change notification and timestamps see
// all of them. False for network file systems (NFS, CIFS/SMB), user-space ones
// and any whose kind is not known: changes may come from elsewhere unseen.
bool ChangesAllSeenHere(int fd);
// The same for the file system that holds path.
bool ChangesAllSeenHere(const char* path);

// A file whose newest time (modification or change, in nanoseconds) lies this
// close before the moment its state was taken (readAt) may change again within
// the same timestamp tick without any time showing it. The tick is taken as the
// coarsest of the usual local file systems (10 ms), or as two seconds where both
// times are whole seconds (file systems stamping whole or even seconds).
bool TooRecentToTrust(long long mtimeNs, long long ctimeNs, long long readAtNs);

}  // namespace platform
