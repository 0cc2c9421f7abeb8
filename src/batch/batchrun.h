#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TTagSearchList;
class TTiffFile;
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

/// The Batch tab's export options; the check boxes cannot change during a run.
struct TBatchOptions {
    std::string StartDir;       ///< used exactly as typed
    bool AddDescription = true; ///< header line
    bool IncludeRoot = true;    ///< files directly in StartDir
    bool IncludeSubDirectories = true;
    bool TrimValue = true; ///< codes 0 to 32 off both ends of every value
    bool AllPages = true;  ///< a line per page with a Page column; else page 1 only
};

/// What a run asks of the window or the command line; all calls come from the run's thread.
class TBatchHost {
public:
    virtual ~TBatchHost() = default;

    /// The separator as it stands now (any text, also empty).
    virtual std::string Separator() = 0;
    virtual void ClearResults() = 0;
    /// One header or data line, already fit for the pane (see MakePaneText).
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
    /// A file or directory left out without a message (told only on request).
    virtual void Skipped(const std::string& /*path*/, const std::string& /*reason*/) {}
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
    /// end-of-run steps have run by then. A file that cannot be read is skipped.
    TBatchOutcome Run(const TBatchOptions& options);

    /// Stop: the file being read is finished, no further file is read.
    void RequestStop() { StopRequested = true; }
    bool StopRequested = false;

    std::int64_t FileCount() const { return m_files; }
    std::int64_t PageCount() const { return m_pages; }

private:
    void finishRun();
    void WriteHeaderLine();
    void ProcessDirectory(const std::string& directory, const std::vector<std::string>& names);
    void processFile(const std::string& directory, const std::string& name);
    void WalkSubdirectories(const std::string& directory, const std::vector<std::string>& subdirectories);
    void appendDataLine(const std::string& path, const std::string& name, int pageIndex);
    void BuildValueCells(int pageIndex, const std::string& separator, std::string& line) const;
    void AppendResultLine(std::string& line);

    const TTagSearchList& m_list;
    TBatchHost& m_host;
    TBatchOptions m_options;
    std::unique_ptr<TTiffFile> BatchFile;
    std::string m_currentPath;
    std::string m_line;
    std::int64_t m_files = 0;
    std::int64_t m_pages = 0;
};
