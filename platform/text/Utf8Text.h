// Names as discs and web services give them, made fit for tags, file
// names and the window: valid UTF-8 on one line, of a bounded length.
//
// Text from a disc is whatever its author's tools wrote: UTF-8, Latin-1,
// the Windows code page, or a mix of them with a byte lost here and there.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace text {

// Longest field kept, in bytes of UTF-8: longer than any real title, far
// shorter than what a broken sheet or answer may hold.
inline constexpr size_t kMaxFieldBytes = 1024;

// `bytes` as valid UTF-8: every well-formed UTF-8 sequence is kept, every
// other byte is read as Windows-1252 (Latin-1 with printable characters
// where Latin-1 has controls), so a Latin-1 sheet and a UTF-8 sheet with a
// broken sequence both come out readable.
std::string ValidUtf8(std::string_view bytes);

// Undoes a reading that took UTF-8 bytes for Latin-1 and converted them
// (libcdio does so with every CUE and cdrdao text): when every character of
// `utf8` is at most U+00FF, its bytes are read again with ValidUtf8;
// otherwise `utf8` was no such reading and is returned as it is.
std::string RepairLatin1Reading(std::string_view utf8);

// One field from `bytes`: made valid UTF-8 as ValidUtf8 does; control
// characters, line and paragraph separators and runs of white space become
// one space; no space at either end; cut to at most `maxBytes` (at a space
// near the end when there is one, never inside a character) with "…"
// marking the cut.
std::string CleanField(std::string_view bytes, size_t maxBytes = kMaxFieldBytes);

}  // namespace text
