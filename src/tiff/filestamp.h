#pragma once

#include <cstdint>

struct stat;

/// One state of a file on disk. Any write changes the size or the modification
/// time (kept to the nanosecond where the file system allows); a file replaced
/// under the same name has another device or inode. The change time is left
/// out on purpose: making a read-only file writable must not make its listing
/// stale.
struct TFileStamp {
    std::uint64_t Device = 0;
    std::uint64_t Inode = 0;
    std::uint64_t Size = 0;
    std::int64_t ModifiedSec = 0;
    std::int64_t ModifiedNsec = 0;

    friend bool operator==(const TFileStamp&, const TFileStamp&) = default;
};

TFileStamp StampOf(const struct stat& st);
