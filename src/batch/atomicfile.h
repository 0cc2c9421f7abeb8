#pragma once

#include "batch/batchrun.h"

#include <string>
#include <string_view>

/// A file that is replaced whole or not at all. The bytes go to a hidden
/// temporary file in the target's folder (hidden, so a batch run over that
/// folder never lists it); Commit flushes it to disk and renames it over the
/// target. Until then the target keeps what it held, and a file object that
/// is destroyed uncommitted removes its temporary file.
///
/// A target that exists and is not a regular file (/dev/null, a FIFO, a
/// terminal) is written directly: renaming over it would replace the device.
class TAtomicFile {
public:
    /// Creates the temporary file. Throws EVelquinError
    /// "Cannot write "TARGET". REASON" when it cannot be created, or when the
    /// target exists and this process may not write it.
    explicit TAtomicFile(std::string target);
    ~TAtomicFile();
    TAtomicFile(const TAtomicFile&) = delete;
    TAtomicFile& operator=(const TAtomicFile&) = delete;

    /// Appends bytes; false once any write has failed (the first reason is kept).
    bool Write(std::string_view bytes);
    /// Makes the written bytes the target's content; false when that fails,
    /// and the target is then as it was.
    bool Commit();
    /// "Cannot write "TARGET". REASON." for the first failure.
    std::string FailureText() const;

    /// The files a run must not read while it writes here: the temporary file
    /// and the target as it stands.
    std::vector<TFileIdentity> Identities() const;
    /// Empty when the target is written directly.
    const std::string& TemporaryPath() const { return m_temporary; }

private:
    bool fail(int error);

    std::string m_target;
    std::string m_temporary;
    int m_fd = -1;
    int m_errno = 0;
    bool m_committed = false;
    std::vector<TFileIdentity> m_identities;
};
