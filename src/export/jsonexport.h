#pragma once

#include <functional>
#include <string_view>
#include <vector>

class TTiffFile;
class TValueSource;
struct TReaderMessage;

// The whole structure of a file as one JSON object: the header, every
// directory of the tree in the reader's order with every entry and all of its
// values, and what the reader reported. The keys are described in the README
// (scripts rely on them). Written a chunk at a time: values are read from the
// file page by page (valuepages.h) and never held whole.
//
// Choices a reader of the document must know:
// - A Float or Double that is NaN or infinite is written as the string
//   "NaN", "Infinity" or "-Infinity"; JSON has no number for it.
// - An entry whose value runs past the end of the file gives the values
//   that lie inside it, with "truncated": true. So does an entry read after
//   the values printed so far have taken twice the file's size (the entries
//   share their bytes); a message then says so.
// - A field of an entry that lies past the end of the file is null.

/// Takes the document a chunk at a time; false when it can take no more,
/// which ends the writing.
using TJsonSink = std::function<bool(std::string_view)>;

/// Writes file, read from source with TReadScope::Everything, and the
/// messages its reading reported. Returns false when sink refused a chunk.
/// Throws EVelquinError when source is no longer the file that was read.
bool WriteJson(const TTiffFile& file, const std::vector<TReaderMessage>& messages, TValueSource& source,
               const TJsonSink& sink);
