#include "export/valuepages.h"

#include "tiff/codepage.h"
#include "tiff/tiff.h"
#include "tiff/valuesource.h"

#include <algorithm>
#include <limits>

namespace {

// Bytes read at a time: a multiple of every item's size.
constexpr std::uint64_t kPageBytes = 64 * 1024;
// Beyond twice the file's size only entries that share their bytes read more.
constexpr std::uint64_t kBudgetSlack = 1 << 20;

std::uint64_t saturatingSum(std::uint64_t a, std::uint64_t b)
{
    return a > std::numeric_limits<std::uint64_t>::max() - b ? std::numeric_limits<std::uint64_t>::max() : a + b;
}

} // namespace

std::optional<std::uint64_t> valuePosition(const TEntry& entry, bool bigTiff)
{
    const std::uint64_t field = bigTiff ? 8 : 4;
    const std::uint64_t entryBytes = bigTiff ? 20 : 12;
    if (TEntry::TypeSize(entry.Type) == 0 || entry.Stored < 4 + field)
        return std::nullopt;
    if (!entry.Inline && entry.Stored < entryBytes)
        return std::nullopt;
    return entry.ValueOffset;
}

TValueReader::TValueReader(const TTiffFile& file, TValueSource& source)
    : m_source(source), m_order(file.IsBigEndian() ? std::endian::big : std::endian::little),
      m_bigTiff(file.IsBigTiff()), m_budget(saturatingSum(2 * source.Size(), kBudgetSlack))
{
}

std::uint64_t TValueReader::itemsInFile(const TEntry& entry) const
{
    const std::optional<std::uint64_t> pos = valuePosition(entry, m_bigTiff);
    const std::uint64_t size = m_source.Size();
    if (!pos || *pos >= size)
        return 0;
    return std::min(entry.Count, (size - *pos) / TEntry::TypeSize(entry.Type));
}

bool TValueReader::nextPage(const TEntry& entry, std::uint64_t first, TValueEnd& end)
{
    const std::optional<std::uint64_t> pos = valuePosition(entry, m_bigTiff);
    if (!pos) {
        end = TValueEnd::Unknown;
        return false;
    }
    const std::uint64_t itemSize = TEntry::TypeSize(entry.Type);
    const TValuePage page = valuePage(entry.Type, entry.Count, first, kPageBytes / itemSize);
    if (page.Count == 0) {
        end = TValueEnd::Whole;
        return false;
    }
    const std::uint64_t take = std::min(page.ByteCount, m_budget) / itemSize * itemSize;
    if (take == 0) {
        end = TValueEnd::Budget;
        return false;
    }
    m_bytes = m_source.Read(saturatingSum(*pos, page.ByteOffset), static_cast<std::size_t>(take));
    m_items = m_bytes.size() / itemSize;
    if (m_items == 0) {
        end = TValueEnd::EndOfFile;
        return false;
    }
    m_budget -= m_items * itemSize;
    return true;
}

std::string TAsciiSplitter::take()
{
    std::string text;
    AppendCp1252AsUtf8(text, reinterpret_cast<const std::uint8_t*>(m_pending.data()), m_pending.size());
    m_pending.clear();
    m_open = false;
    return text;
}
