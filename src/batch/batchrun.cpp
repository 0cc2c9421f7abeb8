#include "batch/batchrun.h"

#include "batch/dirlisting.h"
#include "batch/results.h"
#include "batch/searchlist.h"
#include "tiff/errors.h"
#include "tiff/tiff.h"

#include <charconv>

namespace {

/// The tag number whose decimal text equals the digits exactly, or -1: a
/// leading zero, no digits or a number beyond 16 bits matches no tag.
int matchingTagNumber(std::string_view digits)
{
    if (digits.empty() || digits.size() > 5 || (digits.size() > 1 && digits[0] == '0'))
        return -1;
    int number = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), number);
    return number <= 0xFFFF ? number : -1;
}

} // namespace

TBatchRun::TBatchRun(const TTagSearchList& list, TBatchHost& host) : m_list(list), m_host(host) {}

TBatchRun::~TBatchRun() = default;

TBatchOutcome TBatchRun::Run(const TBatchOptions& options)
{
    StopRequested = false;
    m_options = options;
    m_host.ClearResults();
    m_files = 0;
    m_pages = 0;
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
    try {
        BatchFile.reset();
        BatchFile = std::make_unique<TTiffFile>(
            [this](const TReaderMessage& message) { m_host.ShowReaderMessage(m_currentPath, message); },
            TReadScope::Pages);
        BatchFile->Open(m_currentPath);
        m_host.ShowFile(m_currentPath);

        ++m_files;
        m_pages = m_options.AllPages ? m_pages + BatchFile->PageCount() : m_files;
        m_host.ShowCounters(m_files, m_pages);

        const int pages = m_options.AllPages ? BatchFile->PageCount() : std::min(BatchFile->PageCount(), 1);
        for (int i = 0; i < pages; ++i)
            appendDataLine(m_currentPath, name, i);
        m_host.ProcessMessages();
    } catch (const std::exception& e) {
        // Not TIFF, or not readable: left out without a line and not counted.
        m_host.Skipped(m_currentPath, e.what());
    }
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
        } catch (const EVelquinError& e) {
            // Only this subdirectory's tree is left out; its siblings are still read.
            m_host.Skipped(path, e.what());
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
        const int number = matchingTagNumber(EntryTagNumber(entry.Text));
        bool matched = false;
        if (page && number >= 0) {
            for (const TTag& tag : page->Tags) {
                if (!tag.IsRead() || tag.Number() != number)
                    continue;
                line += separator;
                AppendQuoted(line, m_options.TrimValue ? TrimBlanksAndControls(tag.ValueText)
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

void TBatchRun::AppendResultLine(std::string& line)
{
    MakePaneText(line);
    m_host.AppendResultLine(line);
}
