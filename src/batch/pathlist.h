#pragma once

#include <string>
#include <vector>

/// Paths read from a list such as `find` prints: one per line, or one per
/// NUL-terminated record (`find -print0`), which alone can hold any name. A
/// record is taken byte for byte; empty records are skipped, and the last
/// record needs no end. The list is read in blocks, never held whole, so a
/// list of millions of paths costs no more memory than one of ten.
class TPathList {
public:
    /// Reads from fd, which stays open; name is what messages call the list.
    TPathList(int fd, std::string name, char separator);

    /// The next path; false at the end of the list. Throws EVelquinError
    /// "Cannot read "NAME". REASON" when the list cannot be read.
    bool Next(std::string& path);

private:
    int m_fd;
    std::string m_name;
    char m_separator;
    std::vector<char> m_block;
    std::size_t m_begin = 0;
    std::size_t m_end = 0;
    bool m_atEnd = false;
};
