#include "platform/cdrip/ImageFiles.h"

#include <cctype>
#include <iomanip>
#include <sstream>
#include <utility>
#include <vector>

#include "platform/cdrip/CueCheck.h"
#include "platform/cdrip/SafeFiles.h"

namespace cdrip {

namespace {

// Sheets and TOCs take a few kilobytes; a far larger file is neither.
constexpr size_t kLargestSheet = 1 << 20;

bool EndsWithNoCase(const std::string& text, const std::string& suffix) {
  if (text.size() < suffix.size()) return false;
  for (size_t i = 0; i < suffix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(text[text.size() - suffix.size() + i])) !=
        suffix[i])
      return false;
  return true;
}

std::vector<std::string> TocDataFiles(const std::string& toc) {
  std::string text;
  std::vector<std::string> files;
  if (!ReadRegularFile(toc, kLargestSheet, text)) return files;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string keyword, name;
    words >> keyword;
    bool names = keyword == "FILE" || keyword == "AUDIOFILE" || keyword == "DATAFILE";
    if (names && words >> std::quoted(name)) files.push_back(name);
  }
  return files;
}

// The files libcdio opens for the image besides the image itself, each
// with its part in the image.
std::vector<std::pair<std::string, std::string>> OtherFiles(const std::string& path,
                                                            driver_id_t driver) {
  std::vector<std::pair<std::string, std::string>> files;
  if (driver == DRIVER_BINCUE && EndsWithNoCase(path, ".cue"))
    files.emplace_back("data file", SheetDataFile(path));
  else if (driver == DRIVER_BINCUE && EndsWithNoCase(path, ".bin"))
    files.emplace_back("CUE sheet", SheetOf(path));
  else if (driver == DRIVER_CDRDAO)
    for (auto& name : TocDataFiles(path)) files.emplace_back("data file", name);
  return files;
}

}  // namespace

std::string SheetDataFile(const std::string& sheet) {
  return EndsWithNoCase(sheet, "cue") ? sheet.substr(0, sheet.size() - 3) + "bin" : sheet;
}

std::string SheetOf(const std::string& image) {
  return EndsWithNoCase(image, "bin") ? image.substr(0, image.size() - 3) + "cue" : image;
}

std::string SheetText(const std::string& sheet) {
  std::string text;
  return ReadRegularFile(sheet, kLargestSheet, text) ? text : "";
}

bool StartsWithByteOrderMark(const std::string& sheet) {
  return SheetText(sheet).rfind(kByteOrderMark, 0) == 0;
}

std::string ImageProblem(const std::string& path, driver_id_t driver) {
  if (auto what = NotARegularFile(path); !what.empty()) return "it is " + what + ", not a file";
  for (const auto& [part, file] : OtherFiles(path, driver))
    if (auto what = NotARegularFile(file); !what.empty())
      return "its " + part + " " + file + " is " + what;
  if (driver == DRIVER_BINCUE)
    return CheckCueImage(SheetOf(path), SheetDataFile(SheetOf(path))).problem;
  return "";
}

}  // namespace cdrip
