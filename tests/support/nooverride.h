#pragma once

#include <initializer_list>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

/// While this object lives, permission bits hold for the calling thread even
/// when it runs as root (as the tests do in CI): root gives up the capabilities
/// that override them, by default CAP_DAC_OVERRIDE and CAP_DAC_READ_SEARCH (the
/// latter lets root list and enter any folder). They come back afterwards.
class TNoPermissionOverride {
public:
    explicit TNoPermissionOverride(std::initializer_list<int> capabilities = {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH})
    {
        if (::geteuid() != 0)
            return;
        m_header.version = _LINUX_CAPABILITY_VERSION_3;
        m_header.pid = 0;
        if (::syscall(SYS_capget, &m_header, m_saved) != 0)
            return;
        __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
        for (const int cap : capabilities)
            reduced[cap / 32].effective &= ~(1u << (cap % 32));
        m_dropped = ::syscall(SYS_capset, &m_header, reduced) == 0;
    }
    ~TNoPermissionOverride()
    {
        if (m_dropped)
            ::syscall(SYS_capset, &m_header, m_saved);
    }
    TNoPermissionOverride(const TNoPermissionOverride&) = delete;
    TNoPermissionOverride& operator=(const TNoPermissionOverride&) = delete;

private:
    __user_cap_header_struct m_header{};
    __user_cap_data_struct m_saved[2]{};
    bool m_dropped = false;
};
