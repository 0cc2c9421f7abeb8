#include "tiff/valuesource.h"

#include "tiff/stream.h"
#include "tiff/tiff.h"

#include <algorithm>

TValueSource::TValueSource(const std::string& path) : m_stream(std::make_unique<TStream>(path)) {}

TValueSource::TValueSource(std::span<const std::uint8_t> bytes) : m_stream(std::make_unique<TStream>(bytes)) {}

TValueSource::~TValueSource() = default;

std::uint64_t TValueSource::Size() const
{
    return m_stream->Size();
}

const TFileStamp& TValueSource::Stamp() const
{
    return m_stream->Stamp();
}

std::vector<std::uint8_t> TValueSource::Read(std::uint64_t pos, std::size_t n)
{
    const std::uint64_t size = m_stream->Size();
    if (pos >= size)
        return {};
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::min<std::uint64_t>(n, size - pos)));
    bytes.resize(ReadInto(pos, bytes));
    return bytes;
}

std::size_t TValueSource::ReadInto(std::uint64_t pos, std::span<std::uint8_t> out)
{
    const std::uint64_t size = m_stream->Size();
    if (pos >= size)
        return 0;
    const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), size - pos));
    const std::uint8_t* p = m_stream->Slice(pos, take);
    if (!p) // the file shrank since it was opened
        return 0;
    std::copy_n(p, take, out.begin());
    return take;
}

TTag TValueSource::ReadTag(const TTiffFile& file, std::uint64_t pos)
{
    TTag tag(&file);
    tag.ReadEntry(*m_stream, pos);
    return tag;
}
