#pragma once

#include <cstdint>
#include <fcntl.h>
#include <filesystem>
#include <linux/capability.h>
#include <string>
#include <sys/syscall.h>
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
        if (::geteuid() != 0)
            return;
        m_header.version = _LINUX_CAPABILITY_VERSION_3;
        m_header.pid = 0;
        if (::syscall(SYS_capget, &m_header, m_saved) != 0)
            return;
        __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
        reduced[CAP_DAC_OVERRIDE / 32].effective &= ~(1u << (CAP_DAC_OVERRIDE % 32));
        m_dropped = ::syscall(SYS_capset, &m_header, reduced) == 0;
    }
    ~TReadOnlyFile()
    {
        if (m_dropped)
            ::syscall(SYS_capset, &m_header, m_saved);
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
    __user_cap_header_struct m_header{};
    __user_cap_data_struct m_saved[2]{};
    bool m_dropped = false;
};
