// The files of a disc image: which libcdio will open, and whether it may.
//
// libcdio opens whatever it is given, and a FIFO would block it for good, a
// folder make its reads fail: only regular files are handed to it. A CUE
// sheet's data file is, for libcdio, the sheet's own name with "bin" for
// "cue", whatever the sheet names; a cdrdao TOC names its data files, which
// libcdio looks up from the current folder.
#pragma once

#include <cdio/cdio.h>

#include <string>
#include <string_view>

namespace cdrip {

// Why the files of the image at `path` must not be opened, for example
// "its data file /x/a.bin is a folder"; "" when they may. A file that does
// not exist is no reason: opening it fails by itself.
std::string ImageProblem(const std::string& path, driver_id_t driver);

// The data file that libcdio reads for the CUE sheet `sheet`.
std::string SheetDataFile(const std::string& sheet);
// The CUE sheet of a CUE/BIN image given by either file.
std::string SheetOf(const std::string& image);

// UTF-8's, which libcdio's CUE reader does not skip.
inline constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
// The text of the sheet, "" when it is no regular file of a sheet's size.
std::string SheetText(const std::string& sheet);
bool StartsWithByteOrderMark(const std::string& sheet);

}  // namespace cdrip
