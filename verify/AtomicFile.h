// Writing a small file whole or not at all: a log or a CUE sheet replaces
// an earlier one only once it is completely on disk.
#pragma once

#include <string>
#include <string_view>

namespace cdx::verify {

// Writes `text` to a hidden temporary file beside `path`, flushes it to
// the disk and renames it over `path`. On failure `path` is as it was, no
// temporary file is left, and `error` says in one line what went wrong
// ("Cannot write \"/x/disc.log\": No space left on device").
bool WriteFileAtomically(const std::string& path, std::string_view text, std::string& error);

}  // namespace cdx::verify
