#pragma once

#include "tiff/errors.h"
#include "tiff/filestamp.h"
#include "tiff/listing.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Rewriting the text of an ASCII tag in place. The editor works from what the
// listing showed: the Value, Length and Value Pos cells of a row and the file's
// stamp from when it was read. The new text goes over the old bytes, cut or
// filled with blanks to count - 1 bytes, so no offset or other byte moves. The
// field's last byte, its NUL, is never written. Before anything is written the
// file must still be what the listing showed; writing at stale positions would
// corrupt it.

inline constexpr std::string_view SaveFailedText = "Saving failed. Make sure this file is not read-only";
inline constexpr std::string_view NotAsciiText = "Only ASCII values could be edited.";

/// A write that did not happen (or failed part way, see Reason). The text is
/// always SaveFailedText; Reason says why, for tests and diagnostics.
class ESaveFailed : public EVelquinError {
public:
    enum class TReason {
        NoRoom,      ///< count of 0 (or unreadable): no byte may be written
        PastEnd,     ///< the field reaches past the end of the file
        Changed,     ///< size, modification time or identity differ from the read
        TextDiffers, ///< the bytes at the value position are not the listed text
        CannotOpen,  ///< read-only, missing, not a regular file...
        Locked,      ///< another process holds a lock on the file
        WriteFailed, ///< the write or the flush to disk failed
    };
    ESaveFailed(TReason reason, std::string detail)
        : EVelquinError(std::string(SaveFailedText)), Reason(reason), Detail(std::move(detail))
    {
    }
    TReason Reason;
    std::string Detail; ///< the system's reason, when there is one
};

/// The new text holds a character that Windows-1252 has no byte for. Writing
/// another character in its place would change the text silently, so the
/// edit is refused and the message names the character.
class EUnmappableChar : public EVelquinError {
public:
    explicit EUnmappableChar(char32_t c);
    char32_t Char;
};

/// Where the rows of an edit come from and what they held.
struct TAsciiField {
    std::int32_t ValuePos = 0; ///< the Value Pos cell, as a 32-bit pattern
    std::int32_t Count = 0;    ///< the Length cell
    std::string ListedText;    ///< the Value cell (UTF-8, NULs included)
};

/// True when a Type cell names the ASCII type: blanks and control characters
/// around it are ignored, and so is the case of a to z.
bool IsAsciiTypeCell(std::string_view typeCell);

/// The text of a row to put into the editor; the Value cell of a tag row, else
/// empty.
std::string CurrentTextOf(const TListingRow& row, int rowIndex);

/// The row's Type cell names ASCII (rows without one never do).
bool IsEditableRow(const TListingRow& row);

/// Reads a Length or Value Pos cell back in the mode the listing wrote it:
/// signed decimal, or up to 8 hexadecimal digits giving a 32-bit pattern.
/// Throws EConvertError.
std::int32_t ParseListedNumber(std::string_view cell, bool hex);

/// The field's Value Pos, Length and Value cells read back. Throws
/// EConvertError for a cell that is not a number in that mode.
TAsciiField FieldOfRow(const TListingRow& row, bool hex);

/// What the text becomes in the file: at most room characters, encoded in
/// Windows-1252 and filled with blanks to room bytes. Characters past the room
/// are cut before encoding, so they do not matter. Throws EUnmappableChar.
std::string FieldBytes(std::string_view utf8, std::size_t room);

/// Writes the new text into the field, exactly count - 1 bytes at ValuePos.
/// Refuses, writing nothing, unless the file still has the stamp it had when
/// read, the field lies inside the file with a count of 1 or more and its
/// bytes are the listed text. Holds an exclusive advisory lock while it checks
/// and writes, and flushes the file to disk before returning. Throws
/// EUnmappableChar before the file is touched, ESaveFailed for everything else.
void WriteAsciiField(const std::string& path, const TFileStamp& readStamp, const TAsciiField& field,
                     std::string_view newText);
