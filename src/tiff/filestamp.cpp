#include "tiff/filestamp.h"

#include <sys/stat.h>

TFileStamp StampOf(const struct stat& st)
{
    TFileStamp s;
    s.Device = static_cast<std::uint64_t>(st.st_dev);
    s.Inode = static_cast<std::uint64_t>(st.st_ino);
    s.Size = static_cast<std::uint64_t>(st.st_size);
    s.ModifiedSec = static_cast<std::int64_t>(st.st_mtim.tv_sec);
    s.ModifiedNsec = static_cast<std::int64_t>(st.st_mtim.tv_nsec);
    return s;
}
