#pragma once

#include "tiff/dirkind.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

/// Name of one value of an enumerated tag: Compression 5 is "LZW"; the bit
/// fields Flash and NewSubfileType are described bit by bit. Nothing when the
/// tag has no enumeration in this kind of directory or the value has no name.
/// Each item of an array is looked up on its own (ExtraSamples, for one).
std::optional<std::string> enumerationName(TDirectoryKind kind, std::uint16_t tag, std::int64_t value);

/// The same for a text of one character, as GPS references are stored ("N"
/// names North); nothing for longer or empty texts.
std::optional<std::string> enumerationName(TDirectoryKind kind, std::uint16_t tag, std::string_view text);
