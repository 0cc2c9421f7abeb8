#include "export/jsonexport.h"

#include "export/valuepages.h"
#include "tagnames/directorytags.h"
#include "tiff/errors.h"
#include "tiff/tiff.h"
#include "tiff/valuesource.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>
#include <optional>
#include <utility>
#include <variant>

namespace {

using json = nlohmann::json;

constexpr std::size_t kChunk = 64 * 1024;

template <class... F> struct TOverloaded : F... {
    using F::operator()...;
};
template <class... F> TOverloaded(F...) -> TOverloaded<F...>;

/// Appends JSON to a buffer that goes to the sink in chunks. Strings and
/// floating-point numbers are the library's to write; integers need no
/// escaping and are written directly, since values may number millions.
/// Members and items are written in order, so a flag knows where a comma goes.
class TJsonWriter {
public:
    explicit TJsonWriter(const TJsonSink& sink) : m_sink(sink) { m_buffer.reserve(kChunk + 4096); }

    bool ok() const { return m_ok; }
    void raw(std::string_view text)
    {
        m_buffer += text;
        if (m_buffer.size() >= kChunk)
            flush();
    }
    /// `{` or `[`, on a line of its own when newline (the document keeps a
    /// directory or an entry to a line, so that it reads and greps well).
    void open(char bracket, bool newline = false)
    {
        separate(newline);
        m_buffer += bracket;
        m_first = true;
    }
    void close(char bracket, bool newline = false)
    {
        if (newline)
            m_buffer += '\n';
        m_buffer += bracket;
        m_first = false;
    }
    /// A member's name; its value follows.
    TJsonWriter& key(std::string_view name)
    {
        separate(false);
        m_buffer += '"';
        m_buffer += name; // this file's own constants
        m_buffer += "\":";
        m_first = true; // the value takes no comma
        return *this;
    }
    void string(std::string_view text)
    {
        separate(false);
        // Bytes that are not UTF-8 (a file name can hold any) become U+FFFD.
        raw(json(std::string(text)).dump(-1, ' ', false, json::error_handler_t::replace));
    }
    template <class Integer> void integer(Integer value)
    {
        separate(false);
        char digits[24];
        const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
        raw(std::string_view(digits, static_cast<std::size_t>(end - digits)));
    }
    void real(double value)
    {
        if (std::isnan(value))
            return string("NaN");
        if (std::isinf(value))
            return string(value < 0 ? "-Infinity" : "Infinity");
        separate(false);
        raw(json(value).dump());
    }
    void null()
    {
        separate(false);
        raw("null");
    }
    void boolean(bool value)
    {
        separate(false);
        raw(value ? "true" : "false");
    }
    template <class T> void optional(const std::optional<T>& value)
    {
        if (!value)
            null();
        else if constexpr (std::is_same_v<T, std::string_view>)
            string(*value);
        else
            integer(*value);
    }
    bool flush()
    {
        if (m_ok && !m_buffer.empty())
            m_ok = m_sink(m_buffer);
        m_buffer.clear();
        return m_ok;
    }

private:
    void separate(bool newline)
    {
        if (!m_first)
            m_buffer += ',';
        if (newline)
            m_buffer += '\n';
        m_first = false;
    }
    const TJsonSink& m_sink;
    std::string m_buffer;
    bool m_ok = true;
    bool m_first = true;
};

void writeItem(TJsonWriter& out, const TValueItem& item)
{
    const auto pair = [&](auto numerator, auto denominator) {
        out.open('[');
        out.integer(numerator);
        out.integer(denominator);
        out.close(']');
    };
    std::visit(TOverloaded{
                   [&](std::uint8_t v) { out.integer(v); },
                   [&](std::uint64_t v) { out.integer(v); },
                   [&](std::int64_t v) { out.integer(v); },
                   [&](const TRational& r) { pair(r.Numerator, r.Denominator); },
                   [&](const TSRational& r) { pair(r.Numerator, r.Denominator); },
                   [&](float v) { out.real(v); },
                   [&](double v) { out.real(v); },
               },
               item);
}

/// v when the entry holds the bytes up to `stored`, else nothing (null).
template <class T> std::optional<T> ifStored(const TEntry& e, std::uint64_t stored, T v)
{
    return e.Stored >= stored ? std::optional<T>(v) : std::nullopt;
}

/// Writes the document; one per call of WriteJson.
class TDocument {
public:
    TDocument(const TTiffFile& file, TValueSource& source, const TJsonSink& sink)
        : m_file(file), m_source(source), m_values(file, source), m_out(sink)
    {
    }

    bool write(const std::vector<TReaderMessage>& messages)
    {
        m_out.open('{');
        m_out.key("file").string(m_file.FileName);
        m_out.key("size").integer(m_source.Size());
        m_out.key("byteOrder").string(m_file.IsBigEndian() ? "MM" : "II");
        m_out.key("bigTiff").boolean(m_file.IsBigTiff());
        m_out.key("firstOffset").optional(firstOffset());
        m_out.key("pageCount").integer(m_file.PageCount());
        m_out.key("directories").open('[');
        for (std::size_t i = 0; i < m_file.Directories.size() && m_out.ok(); ++i)
            directory(m_file.Directories[i]);
        m_out.close(']', true);
        m_out.key("messages").open('[');
        for (const TReaderMessage& m : messages)
            message(m);
        for (const TReaderMessage& m : m_notes)
            message(m);
        m_out.close(']');
        m_out.close('}');
        m_out.raw("\n");
        return m_out.flush();
    }

private:
    /// The header's first offset, as stored; the header was read, so it lies in the file.
    std::optional<std::uint64_t> firstOffset()
    {
        const bool big = m_file.IsBigTiff();
        const std::vector<std::uint8_t> bytes = m_source.Read(big ? 8 : 4, big ? 8 : 4);
        const TValueDecoder decoder(bytes, big ? 16 : 4, 1,
                                    m_file.IsBigEndian() ? std::endian::big : std::endian::little);
        if (decoder.size() == 0)
            return std::nullopt;
        return std::get<std::uint64_t>(decoder.item(0));
    }

    void directory(const TDirectory& d)
    {
        m_out.open('{', true);
        m_out.key("id").string(d.Id);
        m_out.key("kind").string(DirectoryKindWord(d.Kind));
        m_out.key("parent").optional(d.Parent >= 0 ? std::optional<std::string_view>(
                                                         m_file.Directories.at(static_cast<std::size_t>(d.Parent)).Id)
                                                   : std::nullopt);
        m_out.key("offset").integer(d.Offset);
        m_out.key("entryCount").optional(d.StoredCount);
        m_out.key("next").optional(d.Next);
        m_out.key("complete").boolean(d.Complete);
        m_out.key("entries").open('[');
        const TTiffPage* page = d.Kind == TDirectoryKind::Page ? m_file.Pages.GetPage(d.Page) : nullptr;
        for (std::size_t i = 0; i < d.Entries.size() && m_out.ok(); ++i)
            entry(d, d.Entries[i], page ? page->Tags.GetTag(static_cast<int>(i)) : nullptr);
        m_out.close(']');
        m_out.close('}');
    }

    void entry(const TDirectory& d, const TEntry& e, const TTag* tag)
    {
        const bool big = m_file.IsBigTiff();
        const std::uint64_t countEnd = big ? 12 : 8; // where the count field ends
        m_out.open('{', true);
        m_out.key("position").integer(e.Position);
        m_out.key("tag").optional(ifStored(e, 2, e.Tag));
        m_out.key("name").optional(ifStored(e, 2, directoryTagName(d.Kind, e.Tag)));
        m_out.key("type").optional(ifStored(e, 4, e.Type));
        m_out.key("typeName").optional(ifStored(e, 4, fieldTypeName(e.Type)));
        m_out.key("count").optional(ifStored(e, countEnd, e.Count));
        m_out.key("valuePosition").optional(valuePosition(e, big));
        m_out.key("values");
        const TValueEnd end = values(e);
        const bool whole = e.Stored == (big ? 20 : 12);
        m_out.key("truncated").boolean(end == TValueEnd::EndOfFile || end == TValueEnd::Budget || !whole);
        m_out.key("text").optional(tag && tag->IsRead() ? std::optional<std::string_view>(tag->ValueText)
                                                        : std::nullopt);
        m_out.close('}');
        if (end == TValueEnd::Budget && !std::exchange(m_budgetTold, true))
            m_notes.push_back({"",
                               "values from the entry at " + std::to_string(e.Position) +
                                   " on are cut: the file's entries share their bytes, and whole they would take "
                                   "more than twice the file's size",
                               d.Offset, d.Id});
    }

    /// The "values" list, or null when they cannot be decoded.
    TValueEnd values(const TEntry& e)
    {
        if (!valuePosition(e, m_file.IsBigTiff())) {
            m_out.null();
            return TValueEnd::Unknown;
        }
        m_out.open('[');
        TValueEnd end;
        if (e.Type == 2) {
            TAsciiSplitter strings;
            const auto done = [&](std::string&& text) { m_out.string(text); };
            end = m_values.forEachPage(e, [&](const TValueDecoder&, std::uint64_t,
                                              std::span<const std::uint8_t> bytes) { strings.add(bytes, done); });
            strings.finish(done);
        } else {
            end = m_values.forEachPage(e, [&](const TValueDecoder& items, std::uint64_t, auto) {
                for (std::size_t i = 0; i < items.size(); ++i)
                    writeItem(m_out, items.item(i));
            });
        }
        m_out.close(']');
        return end;
    }

    void message(const TReaderMessage& m)
    {
        m_out.open('{', true);
        m_out.key("text").optional(m.Text.empty() ? std::nullopt : std::optional<std::string_view>(m.Text));
        m_out.key("sentence").string(m.Sentence);
        m_out.key("directoryId").string(m.DirectoryId);
        m_out.key("directoryOffset").integer(m.DirectoryOffset);
        m_out.close('}');
    }

    const TTiffFile& m_file;
    TValueSource& m_source;
    TValueReader m_values;
    TJsonWriter m_out;
    std::vector<TReaderMessage> m_notes; ///< what the document itself has to say
    bool m_budgetTold = false;
};

} // namespace

bool WriteJson(const TTiffFile& file, const std::vector<TReaderMessage>& messages, TValueSource& source,
               const TJsonSink& sink)
{
    if (!(source.Stamp() == file.Stamp))
        throw EVelquinError("the file changed while it was read: " + file.FileName);
    return TDocument(file, source, sink).write(messages);
}
