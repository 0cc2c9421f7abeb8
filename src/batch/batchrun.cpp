#include "batch/batchrun.h"

#include "batch/dirlisting.h"
#include "batch/results.h"
#include "batch/searchlist.h"
#include "batch/tagitem.h"
#include "tiff/errors.h"
#include "tiff/tiff.h"
#include "tiff/valuesource.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <sys/stat.h>

namespace {

/// The system's reason inside the reader's "Cannot open file "P". REASON".
std::string openFailureReason(const std::string& message, const std::string& path)
{
    const std::string prefix = "Cannot open file \"" + path + "\". ";
    return message.starts_with(prefix) ? message.substr(prefix.size()) : message;
}

/// Why no regular file could be opened at path, asked after the fact so that
/// a file read without trouble costs no extra call.
std::string missingFileReason(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::strerror(errno);
    if (!S_ISREG(st.st_mode))
        return "Not a regular file";
    return std::strerror(ENOENT); // gone while it was read, and back since
}

} // namespace

bool fileIdentityOf(const std::string& path, TFileIdentity& identity)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return false;
    identity = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    return true;
}

TBatchRun::TBatchRun(const TTagSearchList& list, TBatchHost& host) : m_list(list), m_host(host) {}

TBatchRun::~TBatchRun() = default;

TBatchOutcome TBatchRun::Run(const TBatchOptions& options)
{
    StopRequested = false;
    m_options = options;
    // Classic runs read the pages alone; the tree only when an item asks for it.
    m_scope = NamesDirectoryKind(m_list) ? TReadScope::Everything : TReadScope::Pages;
    m_host.ClearResults();
    m_counts = {};
    m_host.ShowCounters(0, 0);

    std::string_view refusal;
    if (!IsExistingDirectory(m_options.StartDir))
        refusal = batchtext::NoStartingDirectory;
    else if (m_list.IsEmpty())
        refusal = batchtext::NoTagEntries;
    if (!refusal.empty()) {
        m_host.ShowRefusal(std::string(refusal));
        finishRun();
        return TBatchOutcome::Refused;
    }

    try {
        if (m_options.AddDescription)
            WriteHeaderLine();
        if (m_options.IncludeRoot || m_options.IncludeSubDirectories) {
            // The starting directory is listed once for both steps; a failure
            // here ends the run and reaches the caller.
            const TDirectoryListing root = ListDirectory(m_options.StartDir);
            if (m_options.IncludeRoot)
                ProcessDirectory(m_options.StartDir, root.TiffFiles);
            if (m_options.IncludeSubDirectories)
                WalkSubdirectories(m_options.StartDir, root.Subdirectories);
        }
    } catch (...) {
        finishRun();
        throw;
    }
    finishRun();
    return StopRequested ? TBatchOutcome::Stopped : TBatchOutcome::Finished;
}

void TBatchRun::finishRun()
{
    m_values.reset();
    BatchFile.reset();
    m_host.ShowStatus(std::string(batchtext::StatusFinished));
}

void TBatchRun::WriteHeaderLine()
{
    const std::string separator = m_host.Separator();
    m_line.clear();
    AppendQuoted(m_line, "Path");
    m_line += separator;
    AppendQuoted(m_line, "Filename");
    if (m_options.AllPages) {
        m_line += separator;
        AppendQuoted(m_line, "Page");
    }
    for (const TTagSearchEntry& entry : m_list.Entries()) {
        if (!entry.Checked)
            continue;
        m_line += separator;
        AppendQuoted(m_line, EntryTagName(entry.Text));
    }
    AppendResultLine(m_line);
}

void TBatchRun::ProcessDirectory(const std::string& directory, const std::vector<std::string>& names)
{
    m_host.ShowStatus(std::string(batchtext::StatusReading) + directory);
    for (const std::string& name : names) {
        if (StopRequested)
            return;
        processFile(directory, name);
        m_host.ProcessMessages();
    }
}

void TBatchRun::processFile(const std::string& directory, const std::string& name)
{
    m_currentPath = JoinPath(directory, name);
    if (isExcluded(m_currentPath))
        return;
    try {
        if (!openBatchFile())
            return;
        m_host.ShowFile(m_currentPath);

        ++m_counts.Files;
        if (m_fileDamaged)
            ++m_counts.Damaged;
        m_counts.Pages = m_options.AllPages ? m_counts.Pages + BatchFile->PageCount() : m_counts.Files;
        m_host.ShowCounters(m_counts.Files, m_counts.Pages);

        const int pages = m_options.AllPages ? BatchFile->PageCount() : std::min(BatchFile->PageCount(), 1);
        for (int i = 0; i < pages; ++i)
            appendDataLine(m_currentPath, name, i);
        m_host.ProcessMessages();
    } catch (const std::exception& e) {
        notRead(m_currentPath, e.what());
    }
}

bool TBatchRun::isExcluded(const std::string& path) const
{
    TFileIdentity identity;
    return !m_options.Exclude.empty() && fileIdentityOf(path, identity) &&
           std::find(m_options.Exclude.begin(), m_options.Exclude.end(), identity) != m_options.Exclude.end();
}

bool TBatchRun::openBatchFile()
{
    m_values.reset();
    BatchFile.reset();
    m_fileDamaged = false;
    BatchFile = std::make_unique<TTiffFile>(
        [this](const TReaderMessage& message) {
            m_fileDamaged = true;
            m_host.ShowReaderMessage(m_currentPath, message);
        },
        m_scope);
    try {
        BatchFile->Open(m_currentPath);
    } catch (const EInvalidTiff& e) {
        ++m_counts.NotTiff;
        m_host.NotTiff(m_currentPath, e.what());
        return false;
    } catch (const EReadError& e) {
        // The header itself is cut short: a file too small to be TIFF.
        ++m_counts.NotTiff;
        m_host.NotTiff(m_currentPath, e.what());
        return false;
    } catch (const EFOpenError& e) {
        notRead(m_currentPath, openFailureReason(e.what(), m_currentPath));
        return false;
    }
    // Open reads nothing where it finds no regular file: vanished, not
    // reachable, or replaced by something else since the folder was listed.
    if (BatchFile->FileName != m_currentPath) {
        notRead(m_currentPath, missingFileReason(m_currentPath));
        return false;
    }
    return m_scope == TReadScope::Pages || openValues();
}

bool TBatchRun::openValues()
{
    // The values below the pages are read from the file when a line asks for
    // them, at the positions the read found: it must still be that file.
    m_values = std::make_unique<TValueSource>(m_currentPath);
    if (m_values->Stamp() == BatchFile->Stamp)
        return true;
    m_values.reset();
    notRead(m_currentPath, "the file changed while it was read");
    return false;
}

void TBatchRun::notRead(const std::string& path, const std::string& reason)
{
    ++m_counts.NotRead;
    m_host.NotRead(path, reason);
}

void TBatchRun::WalkSubdirectories(const std::string& directory, const std::vector<std::string>& subdirectories)
{
    if (StopRequested)
        return;
    m_host.ProcessMessages();
    for (const std::string& name : subdirectories) {
        if (StopRequested)
            return; // unwind without listing anything more
        m_host.ProcessMessages();
        const std::string path = JoinPath(directory, name);
        TDirectoryListing listing;
        try {
            listing = ListDirectory(path);
        } catch (const EDirectoryError& e) {
            // Only this subdirectory's tree is left out; its siblings are still read.
            notRead(path, e.Reason);
            m_host.ProcessMessages();
            continue;
        }
        if (!listing.TiffFiles.empty())
            ProcessDirectory(path, listing.TiffFiles);
        std::vector<std::string>().swap(listing.TiffFiles); // not held while the tree below is walked
        WalkSubdirectories(path, listing.Subdirectories);
        m_host.ProcessMessages();
    }
}

void TBatchRun::appendDataLine(const std::string& path, const std::string& name, int pageIndex)
{
    const std::string separator = m_host.Separator();
    m_line.clear();
    AppendQuoted(m_line, path);
    m_line += separator;
    AppendQuoted(m_line, name);
    if (m_options.AllPages) {
        char digits[16];
        const auto end = std::to_chars(digits, digits + sizeof digits, pageIndex + 1).ptr;
        m_line += separator;
        AppendQuoted(m_line, std::string_view(digits, static_cast<std::size_t>(end - digits)));
    }
    BuildValueCells(pageIndex, separator, m_line);
    AppendResultLine(m_line);
}

void TBatchRun::BuildValueCells(int pageIndex, const std::string& separator, std::string& line) const
{
    const TTiffPage* page = BatchFile ? BatchFile->Pages.GetPage(pageIndex) : nullptr;
    for (const TTagSearchEntry& entry : m_list.Entries()) {
        if (!entry.Checked)
            continue;
        const TTagItem item = TagItemOf(entry.Text);
        const int number = item.Number;
        bool matched = false;
        if (item.Kind && m_values) {
            ForEachKindValue(*BatchFile, pageIndex, item, *m_values, [&](std::string_view text) {
                line += separator;
                appendValueField(line, m_options.TrimValue ? TrimBlanksAndControls(text) : text);
                matched = true;
            });
        } else if (page && number >= 0 && !item.Kind) {
            for (const TTag& tag : page->Tags) {
                if (!tag.IsRead() || tag.Number() != number)
                    continue;
                line += separator;
                appendValueField(line, m_options.TrimValue ? TrimBlanksAndControls(tag.ValueText)
                                                           : std::string_view(tag.ValueText));
                matched = true;
            }
        }
        if (!matched) {
            line += separator;
            line += "\"\"";
        }
    }
}

void TBatchRun::AppendResultLine(const std::string& line)
{
    m_host.AppendResultLine(line);
}
