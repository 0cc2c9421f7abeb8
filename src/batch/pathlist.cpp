#include "batch/pathlist.h"

#include "batch/filebytes.h"
#include "tiff/errors.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

TPathList::TPathList(int fd, std::string name, char separator)
    : m_fd(fd), m_name(std::move(name)), m_separator(separator), m_block(64 * 1024)
{
}

bool TPathList::Next(std::string& path)
{
    path.clear();
    for (;;) {
        if (m_begin == m_end) {
            if (m_atEnd)
                return !path.empty();
            const ssize_t r = ::read(m_fd, m_block.data(), m_block.size());
            if (r < 0 && errno == EINTR)
                continue;
            if (r < 0)
                throw EVelquinError("Cannot read \"" + m_name + "\". " + SystemErrorText(errno));
            m_begin = 0;
            m_end = static_cast<std::size_t>(r);
            m_atEnd = r == 0;
            continue;
        }
        const char* start = m_block.data() + m_begin;
        const auto* stop = static_cast<const char*>(std::memchr(start, m_separator, m_end - m_begin));
        if (!stop) {
            path.append(start, m_end - m_begin);
            m_begin = m_end;
            continue;
        }
        path.append(start, static_cast<std::size_t>(stop - start));
        m_begin += static_cast<std::size_t>(stop - start) + 1;
        if (!path.empty())
            return true;
    }
}
