#pragma once

/// What a directory is: a page of the chain, or a directory an entry points to.
enum class TDirectoryKind { Page, SubIfd, Exif, Gps, Interop };
