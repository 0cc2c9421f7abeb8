#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TTagSearchList;
class TTiffFile;
class TValueSource;
enum class TReadScope;
struct TReaderMessage;

// The batch run: from a starting directory (and every directory below it) it
// reads each TIFF file with a TTiffFile of its own and writes one line of
// quoted, separated values per page.
//
// The run is one long call on the caller's thread. The window keeps itself
// responsive by running its event loop inside TBatchHost::ProcessMessages(),
// which the run calls at the start of each directory level, before and after
// each subdirectory and after each file; Stop heard there only sets
// StopRequested, which the run looks at before each file and at each level.
// The separator and the check marks are asked for afresh for every line.

namespace batchtext {
inline constexpr std::string_view NoStartingDirectory = "Starting directory does not exist";
inline constexpr std::string_view NoTagEntries = "At least one tag has to be selected";
inline constexpr std::string_view StatusIdle = "Retrieve tiff information to scv format";
inline constexpr std::string_view StatusReading = "reading... ";
inline constexpr std::string_view StatusFinished = "Finished...";
} // namespace batchtext

/// A file as the file system knows it, whatever path leads to it.
struct TFileIdentity {
    std::uint64_t Device = 0;
    std::uint64_t Inode = 0;
    bool operator==(const TFileIdentity&) const = default;
};

/// The identity of the file at path (links followed); false when there is none.
bool fileIdentityOf(const std::string& path, TFileIdentity& identity);

/// The Batch tab's export options; the check boxes cannot change during a run.
struct TBatchOptions {
    std::string StartDir;       ///< used exactly as typed
    bool AddDescription = true; ///< header line
    bool IncludeRoot = true;    ///< files directly in StartDir
    bool IncludeSubDirectories = true;
    bool TrimValue = true; ///< codes 0 to 32 off both ends of every value
    bool AllPages = true;  ///< a line per page with a Page column; else page 1 only
    /// Files the run never reads, such as its own output lying in the tree.
    std::vector<TFileIdentity> Exclude;
};

/// What a run made of the files it met. Every *.tif file of the visited
/// folders, but for the excluded ones, ends in exactly one of Files, NotTiff
/// and NotRead; Damaged is a part of Files.
struct TBatchCounts {
    std::int64_t Files = 0;   ///< read as TIFF, the file counter
    std::int64_t Pages = 0;   ///< the page counter (the file counter without all pages)
    std::int64_t NotTiff = 0; ///< the header is not TIFF, or too short for one
    /// Files and folders that could not be read: permission denied, vanished,
    /// path too long, not a regular file any more.
    std::int64_t NotRead = 0;
    std::int64_t Damaged = 0; ///< read, but the reader reported damage; their pages are written
};

/// What a run asks of the window or the command line; all calls come from the run's thread.
class TBatchHost {
public:
    virtual ~TBatchHost() = default;

    /// The separator as it stands now (any text, also empty).
    virtual std::string Separator() = 0;
    virtual void ClearResults() = 0;
    /// One header or data line: a whole record without its line end (see results.h).
    virtual void AppendResultLine(const std::string& line) = 0;
    virtual void ShowCounters(std::int64_t files, std::int64_t pages) = 0;
    /// The batch status line.
    virtual void ShowStatus(const std::string& text) = 0;
    /// The full path of the file just read.
    virtual void ShowFile(const std::string& path) = 0;
    /// A refusal to run, shown modally with one OK button.
    virtual void ShowRefusal(const std::string& text) = 0;
    /// The reader's report of a damaged directory inside path; the pages read so far are written.
    /// Messages without a Text are for the structure views only.
    virtual void ShowReaderMessage(const std::string& path, const TReaderMessage& message) = 0;
    /// Where the window's event loop runs.
    virtual void ProcessMessages() {}
    /// A *.tif file whose header is not TIFF; it gives no line and is not counted as a file.
    virtual void NotTiff(const std::string& /*path*/, const std::string& /*reason*/) {}
    /// A file or folder that could not be read, with the system's reason
    /// ("Permission denied", "No such file or directory"). A folder's tree is left out.
    virtual void NotRead(const std::string& /*path*/, const std::string& /*reason*/) {}
};

enum class TBatchOutcome { Finished, Stopped, Refused };

class TBatchRun {
public:
    /// list and host must outlive the run; the list may change between lines.
    TBatchRun(const TTagSearchList& list, TBatchHost& host);
    ~TBatchRun();
    TBatchRun(const TBatchRun&) = delete;
    TBatchRun& operator=(const TBatchRun&) = delete;

    /// Runs the batch to its end. Refusals go to the host and return Refused.
    /// Throws EVelquinError when the starting directory cannot be listed; the
    /// end-of-run steps have run by then. A file that cannot be read is told
    /// to the host and counted, and the run goes on.
    TBatchOutcome Run(const TBatchOptions& options);

    /// Stop: the file being read is finished, no further file is read.
    void RequestStop() { StopRequested = true; }
    bool StopRequested = false;

    std::int64_t FileCount() const { return m_counts.Files; }
    std::int64_t PageCount() const { return m_counts.Pages; }
    /// The counts so far; a run starts them at 0.
    const TBatchCounts& Counts() const { return m_counts; }

private:
    void finishRun();
    void WriteHeaderLine();
    void ProcessDirectory(const std::string& directory, const std::vector<std::string>& names);
    void processFile(const std::string& directory, const std::string& name);
    bool isExcluded(const std::string& path) const;
    /// Opens m_currentPath as BatchFile; false (told and counted) when it is not read as TIFF.
    bool openBatchFile();
    /// Opens m_values on the file just read; false (told and counted) when it changed since.
    bool openValues();
    void notRead(const std::string& path, const std::string& reason);
    void WalkSubdirectories(const std::string& directory, const std::vector<std::string>& subdirectories);
    void appendDataLine(const std::string& path, const std::string& name, int pageIndex);
    void BuildValueCells(int pageIndex, const std::string& separator, std::string& line) const;
    void AppendResultLine(const std::string& line);

    const TTagSearchList& m_list;
    TBatchHost& m_host;
    TBatchOptions m_options;
    std::unique_ptr<TTiffFile> BatchFile;
    TReadScope m_scope{};
    /// BatchFile's bytes, for the values below its pages (kind items only).
    std::unique_ptr<TValueSource> m_values;
    std::string m_currentPath;
    std::string m_line;
    TBatchCounts m_counts;
    bool m_fileDamaged = false;
};
