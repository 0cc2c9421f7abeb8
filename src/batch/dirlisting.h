#pragma once

#include "tiff/errors.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// What a batch run sees of one directory. Hidden entries are those whose name
// begins with "."; there are no system entries on Linux.
//
// Only regular files are taken: a FIFO, socket or device named *.tif is never
// listed, so it is never opened (opening a FIFO would block the run). A link to
// a regular file is taken under the link's name; a link to a directory is not
// followed, so a loop of links cannot make the walk endless. A *.tif entry
// whose kind cannot be learnt (in a folder that can be listed but not entered)
// is listed all the same, so that the run reports it as not read instead of
// losing it; a link that leads nowhere is not a file and is left out.

/// A directory that cannot be opened or read: "Cannot read directory "P". REASON".
class EDirectoryError : public EVelquinError {
public:
    EDirectoryError(const std::string& path, int error);
    /// The system's reason alone ("Permission denied").
    std::string Reason;
};

/// A file as its folder lists it.
struct TListedFile {
    std::string Name;
    /// The file's inode as the listing gives it (a link's: its target's), so
    /// that a run can tell its own output from the other files without a stat.
    std::uint64_t Inode = 0;
};

struct TDirectoryListing {
    /// Visible regular files named *.tif or *.tiff, sorted by name, letter case ignored.
    std::vector<TListedFile> TiffFiles;
    /// Visible subdirectories (no links), sorted the same way.
    std::vector<std::string> Subdirectories;
};

/// Lists the directory once, with one stat only for links and for entries
/// whose type the file system does not report. Throws EDirectoryError when the
/// directory cannot be opened or read.
TDirectoryListing ListDirectory(const std::string& path);

/// The TIFF files of a directory, as ListDirectory gives them.
std::vector<std::string> ListTiffFiles(const std::string& path);

/// True for names ending in ".tif" or ".tiff", letter case ignored.
bool IsTiffFileName(std::string_view name);

/// The directory, a "/" unless it already ends with one, and the name.
std::string JoinPath(std::string_view directory, std::string_view name);

/// True when path names an existing directory (links followed).
bool IsExistingDirectory(const std::string& path);
