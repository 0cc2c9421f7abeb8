#include "batch/atomicfile.h"

#include "tiff/errors.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string cannotWrite(const std::string& target, int error)
{
    return "Cannot write \"" + target + "\". " + std::strerror(error);
}

std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

mode_t currentUmask()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

} // namespace

TAtomicFile::TAtomicFile(std::string target) : m_target(std::move(target))
{
    struct stat st {};
    const bool exists = ::stat(m_target.c_str(), &st) == 0;
    if (exists)
        m_identities.push_back({static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)});
    if (exists && !S_ISREG(st.st_mode)) {
        m_fd = ::open(m_target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        if (m_fd < 0)
            throw EVelquinError(cannotWrite(m_target, errno));
        return;
    }

    // Renaming needs only the folder's permission: a file the user may not
    // write (one made read-only to keep it) is refused, as a shell's ">" does.
    if (exists && ::faccessat(AT_FDCWD, m_target.c_str(), W_OK, AT_EACCESS) != 0)
        throw EVelquinError(cannotWrite(m_target, errno));

    std::string pattern = folderOf(m_target) + "/.velquin-output-XXXXXX";
    m_fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (m_fd < 0)
        throw EVelquinError(cannotWrite(m_target, errno));
    m_temporary = std::move(pattern);
    // A replaced file keeps its permissions; a new one gets what the umask allows.
    ::fchmod(m_fd, exists ? (st.st_mode & 07777) : (0666 & ~currentUmask()));
    struct stat own {};
    if (::fstat(m_fd, &own) == 0)
        m_identities.push_back({static_cast<std::uint64_t>(own.st_dev), static_cast<std::uint64_t>(own.st_ino)});
}

TAtomicFile::~TAtomicFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_committed && !m_temporary.empty())
        ::unlink(m_temporary.c_str());
}

bool TAtomicFile::fail(int error)
{
    if (m_errno == 0)
        m_errno = error;
    return false;
}

bool TAtomicFile::Write(std::string_view bytes)
{
    if (m_errno != 0)
        return false;
    while (!bytes.empty()) {
        const ssize_t n = ::write(m_fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return fail(n < 0 ? errno : ENOSPC);
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool TAtomicFile::Commit()
{
    if (m_errno != 0 || m_committed)
        return m_committed;
    if (m_temporary.empty()) {
        m_committed = true;
        return true;
    }
    // On disk before the rename, so that a crash leaves the old file or the new one.
    if (::fsync(m_fd) != 0)
        return fail(errno);
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0)
        return fail(errno);
    if (::rename(m_temporary.c_str(), m_target.c_str()) != 0)
        return fail(errno);
    m_committed = true;
    return true;
}

std::string TAtomicFile::FailureText() const
{
    return WithFullStop(cannotWrite(m_target, m_errno));
}

std::vector<TFileIdentity> TAtomicFile::Identities() const
{
    return m_identities;
}
