#pragma once

#include "tiff/errors.h"
#include "tiff/filestamp.h"
#include "tiff/listing.h"
#include "tiff/tiff.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <unistd.h>

class TTiffFile;

// Rewriting the text of an ASCII tag in place. The editor works from what the
// listing showed: the Tag Pos, Value, Length and Value Pos cells of a row, and
// the file as it was read (its stamp and where its header and directories
// lie). The new text goes over the old bytes, cut or filled with blanks to
// count - 1 bytes, so no offset or other byte moves. The field's last byte,
// its NUL, is never written. Before anything is written the file must still
// be what the listing showed; writing at stale positions would corrupt it.
// The window's editor and `velquin --edit` both come through here.

inline constexpr std::string_view NotAsciiText = "Only ASCII values could be edited.";
/// What the window puts before the reason of a write that did not happen.
inline constexpr std::string_view SaveFailedPrefix = "Saving failed: ";
/// What the window puts before the reason of a field refused before editing.
inline constexpr std::string_view CannotEditPrefix = "This field cannot be edited: ";

/// An edit that wrote nothing, or whose bytes were put back after the file
/// system refused them. The text is the reason as the user reads it.
class ESaveFailed : public EVelquinError {
public:
    enum class TReason {
        Changed,     ///< size, time or identity differ from the read, or the file is gone
        TextDiffers, ///< the bytes at the value position are not the listed text
        Locked,      ///< another program holds a flock or a record lock
        Overlaps,    ///< the bytes to write lie in the header or a directory
        ReadOnly,    ///< no permission to write, or a read-only file system
        WriteFailed, ///< the write or the flush failed; the old bytes were put back
        NoRoom,      ///< a count below 2: not one byte may be written
        PastEnd,     ///< the field reaches past the end of the file
        Beyond4GiB,  ///< the field's last byte lies at or past 2^32
        TooLong,     ///< a text longer than the room (the command line refuses to cut)
        CannotOpen,  ///< opening for writing failed for another reason
        CannotLock,  ///< the lock calls failed for a reason other than a holder
        CannotRead,  ///< the old bytes could not be read for comparison
    };
    /// detail is the system's reason where the text ends in one.
    explicit ESaveFailed(TReason reason, std::string detail = {});
    TReason Reason;
    std::string Detail;

    /// The file may no longer be what the listing shows (it changed, or bytes
    /// were written and put back, which changes its time): list it again.
    bool ListingStale() const;
};

/// The new text holds a character that Windows-1252 has no byte for. Writing
/// another character in its place would change the text silently, so the
/// edit is refused and the message names the character.
class EUnmappableChar : public EVelquinError {
public:
    explicit EUnmappableChar(char32_t c);
    char32_t Char;
};

/// Where the rows of an edit come from and what they held. The cells of a
/// classic file are 32-bit patterns (a negative decimal cell stands for a
/// position of 2^31 and more); a BigTIFF file's name its numbers whole.
struct TAsciiField {
    std::uint64_t EntryPos = 0; ///< the Tag Pos cell
    std::uint64_t ValuePos = 0; ///< the Value Pos cell
    std::uint64_t Count = 0;    ///< the Length cell
    std::string ListedText;     ///< the Value cell (UTF-8, NULs included)
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

/// A BigTIFF file's Length or Value Pos cell read back: unsigned decimal, or
/// up to 16 hexadecimal digits. Throws EConvertError.
std::uint64_t ParseWideListedNumber(std::string_view cell, bool hex);

/// The field's Tag Pos, Value Pos, Length and Value cells read back, as a
/// classic file's listing writes them or, with bigTiff, a BigTIFF file's.
/// Throws EConvertError for a cell that is not a number in that mode.
TAsciiField FieldOfRow(const TListingRow& row, bool hex, bool bigTiff = false);

/// The number of characters written: count - 1, or 0 for a count of 0.
std::size_t FieldRoom(const TAsciiField& field);

/// What the text becomes in the file: at most room characters, encoded in
/// Windows-1252 and filled with blanks to room bytes. Characters past the room
/// are cut before encoding, so they do not matter. Throws EUnmappableChar.
std::string FieldBytes(std::string_view utf8, std::size_t room);

/// The checks that need only the listed file: the field has room, lies inside
/// the file (below 4 GiB in a classic file, whose 32-bit cells name no more),
/// and the bytes to write miss the header and every directory read (a text
/// that fits in its entry's value field, 4 bytes or 8 in BigTIFF, may be
/// written there). Throws ESaveFailed.
void CheckAsciiField(const TTiffFile& file, const TAsciiField& field);

/// The calls that change the file. Tests replace them to make a write or a
/// flush fail part way.
struct TWriteCalls {
    std::function<ssize_t(int fd, const void* bytes, std::size_t n, off_t pos)> Write = ::pwrite;
    std::function<int(int fd)> Flush = ::fsync;
};

/// Writes the new text into the field of the file as it was listed, exactly
/// count - 1 bytes at ValuePos. Refuses, writing nothing, unless the field
/// passes CheckAsciiField, the file still has the stamp it had when read and
/// the field's bytes are the listed text. Holds an exclusive flock and an
/// exclusive open-file-description lock, never waiting for either, while it
/// checks and writes, and flushes to disk before returning. When the write or
/// the flush fails the old bytes are put back before it reports. Throws
/// EUnmappableChar before the file is touched, ESaveFailed for everything else.
void WriteAsciiField(const TTiffFile& file, const TAsciiField& field, std::string_view newText,
                     const TWriteCalls& calls = {});

/// `velquin --edit`: writes text into the first entry with this tag number on
/// the 1-based page of the file at path, through the same rows, checks and
/// write as the window's editor. A text longer than the field's room is
/// refused instead of cut. Reader messages go to the sink. Throws the reader's
/// errors, EVelquinError for a missing page or tag or a tag that is not ASCII,
/// EUnmappableChar and ESaveFailed.
void EditTagText(const std::string& path, int page, std::uint16_t tag, std::string_view text,
                 const TMessageSink& sink = {});
