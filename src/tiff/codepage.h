#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// File texts are 8-bit Windows-1252; inside the program every text is UTF-8.

/// Appends the UTF-8 form of Windows-1252 bytes; every byte maps to one character.
void AppendCp1252AsUtf8(std::string& out, const std::uint8_t* bytes, std::size_t count);

/// The UTF-8 form of the bytes, written to out, which must have room for
/// Cp1252AsUtf8Size bytes (at most 3 x count); returns the end of what was written. With printableOnly,
/// bytes 0 to 31 are left out.
char* WriteCp1252AsUtf8(char* out, const std::uint8_t* bytes, std::size_t count, bool printableOnly = false);

/// How many leading bytes WriteCp1252AsUtf8 copies as they are: ASCII (and
/// not below 32 with printableOnly).
std::size_t Cp1252PlainPrefix(const std::uint8_t* bytes, std::size_t count, bool printableOnly = false);

/// How many bytes WriteCp1252AsUtf8 writes for these bytes.
std::size_t Cp1252AsUtf8Size(const std::uint8_t* bytes, std::size_t count, bool printableOnly = false);

std::string Cp1252ToUtf8(std::string_view bytes);

struct TCp1252Result {
    std::string Bytes;                       ///< the encoded text
    std::optional<char32_t> Unmappable;      ///< first character Windows-1252 cannot hold
};

/// Encodes UTF-8 as Windows-1252. Stops at the first character that has no
/// Windows-1252 byte (or at invalid UTF-8, reported as U+FFFD) and names it.
TCp1252Result Utf8ToCp1252(std::string_view utf8);

/// Number of characters (code points) in a UTF-8 text.
std::size_t Utf8Length(std::string_view utf8);
