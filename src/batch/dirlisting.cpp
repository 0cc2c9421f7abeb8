#include "batch/dirlisting.h"

#include "batch/searchlist.h"
#include "tiff/errors.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

bool endsWithIgnoringCase(std::string_view name, std::string_view suffix)
{
    return name.size() >= suffix.size() &&
           CompareTextIgnoringCase(name.substr(name.size() - suffix.size()), suffix) == 0;
}

bool precedes(const std::string& a, const std::string& b)
{
    // Names that differ only in letter case keep a fixed order all the same.
    const int c = CompareTextIgnoringCase(a, b);
    return c != 0 ? c < 0 : a < b;
}

/// Closes the directory stream however the listing ends.
struct DirCloser {
    DIR* dir;
    ~DirCloser() { ::closedir(dir); }
};

} // namespace

EDirectoryError::EDirectoryError(const std::string& path, int error)
    : EVelquinError("Cannot read directory \"" + path + "\". " + std::strerror(error)), Reason(std::strerror(error))
{
}

bool IsTiffFileName(std::string_view name)
{
    return endsWithIgnoringCase(name, ".tif") || endsWithIgnoringCase(name, ".tiff");
}

std::string JoinPath(std::string_view directory, std::string_view name)
{
    std::string path;
    path.reserve(directory.size() + 1 + name.size());
    path.append(directory);
    if (path.empty() || path.back() != '/')
        path.push_back('/');
    path.append(name);
    return path;
}

bool IsExistingDirectory(const std::string& path)
{
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

TDirectoryListing ListDirectory(const std::string& path)
{
    DIR* dir = ::opendir(path.c_str());
    if (!dir)
        throw EDirectoryError(path, errno);
    const DirCloser closer{dir};
    const int fd = ::dirfd(dir);

    TDirectoryListing listing;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry) {
            if (errno != 0)
                throw EDirectoryError(path, errno);
            break;
        }
        const std::string_view name(entry->d_name);
        if (name.empty() || name[0] == '.')
            continue; // hidden, and "." and ".."
        unsigned char type = entry->d_type;
        if (type == DT_UNKNOWN) {
            struct stat st {};
            if (::fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
                if (errno != ENOENT && IsTiffFileName(name))
                    listing.TiffFiles.push_back(
                        {std::string(name), entry->d_ino}); // the run says why it cannot be read
                continue;
            }
            type = S_ISDIR(st.st_mode)   ? DT_DIR
                   : S_ISREG(st.st_mode) ? DT_REG
                   : S_ISLNK(st.st_mode) ? DT_LNK
                                         : DT_UNKNOWN;
        }
        if (type == DT_DIR) {
            listing.Subdirectories.emplace_back(name);
        } else if (type == DT_REG) {
            if (IsTiffFileName(name))
                listing.TiffFiles.push_back({std::string(name), entry->d_ino});
        } else if (type == DT_LNK && IsTiffFileName(name)) {
            struct stat st {};
            const bool found = ::fstatat(fd, entry->d_name, &st, 0) == 0;
            if (found ? S_ISREG(st.st_mode) : errno != ENOENT && errno != ELOOP)
                listing.TiffFiles.push_back({std::string(name), found ? st.st_ino : entry->d_ino});
        }
    }
    std::sort(listing.TiffFiles.begin(), listing.TiffFiles.end(),
              [](const TListedFile& a, const TListedFile& b) { return precedes(a.Name, b.Name); });
    std::sort(listing.Subdirectories.begin(), listing.Subdirectories.end(), precedes);
    return listing;
}

std::vector<std::string> ListTiffFiles(const std::string& path)
{
    std::vector<std::string> names;
    for (TListedFile& file : ListDirectory(path).TiffFiles)
        names.push_back(std::move(file.Name));
    return names;
}
