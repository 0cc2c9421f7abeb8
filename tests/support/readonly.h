#pragma once

#include "support/nooverride.h"

#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>

/// Makes a file read-only in a way that holds even for root: the tests run as
/// root in CI, and root writes through 0444 unless it gives up the capability
/// to override file permissions. While this object lives the calling thread
/// has that capability out of its effective set; it comes back afterwards.
class TReadOnlyFile {
public:
    explicit TReadOnlyFile(const std::string& path) : m_path(path)
    {
        std::filesystem::permissions(path,
                                     std::filesystem::perms::owner_read | std::filesystem::perms::group_read |
                                         std::filesystem::perms::others_read,
                                     std::filesystem::perm_options::replace);
    }
    ~TReadOnlyFile()
    {
        std::error_code ec;
        std::filesystem::permissions(m_path, std::filesystem::perms::owner_write, std::filesystem::perm_options::add,
                                     ec);
    }
    TReadOnlyFile(const TReadOnlyFile&) = delete;
    TReadOnlyFile& operator=(const TReadOnlyFile&) = delete;

    /// The file really refuses to open for writing (checked, not assumed).
    bool Holds() const
    {
        const int fd = ::open(m_path.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd < 0)
            return true;
        ::close(fd);
        return false;
    }

private:
    std::string m_path;
    TNoPermissionOverride m_noWriteOverride{CAP_DAC_OVERRIDE};
};
