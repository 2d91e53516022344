#include "platform/cdrip/DiscText.h"

// cdio.h first: the other libcdio headers rely on its types.
#include <cdio/cdio.h>

#include <cdio/cdtext.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "platform/cdrip/Drives.h"
#include "platform/cdrip/ImageFiles.h"
#include "platform/text/Utf8Text.h"

namespace cdrip {

namespace {

// Well below the line length past which libcdio refuses a sheet.
constexpr size_t kLongestLibcdioLine = 2048;

std::string Upper(std::string_view word) {
  std::string s(word);
  for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string_view TrimLeft(std::string_view s) {
  size_t start = 0;
  while (start < s.size() && (s[start] == ' ' || s[start] == '\t')) ++start;
  return s.substr(start);
}

// The first word of `line`, and in `rest` what follows it.
std::string Keyword(std::string_view line, std::string_view& rest) {
  line = TrimLeft(line);
  size_t end = 0;
  while (end < line.size() && line[end] != ' ' && line[end] != '\t') ++end;
  rest = TrimLeft(line.substr(end));
  return Upper(line.substr(0, end));
}

// A value as sheets write it: "in quotes" (to the next quote; sheets have
// no escapes) or the rest of the line.
std::string Value(std::string_view rest) {
  if (!rest.empty() && rest[0] == '"') {
    rest.remove_prefix(1);
    rest = rest.substr(0, rest.find('"'));
  }
  return text::CleanField(rest);
}

bool IsTextKeyword(const std::string& keyword) {
  static const char* const kText[] = {"TITLE",    "PERFORMER", "SONGWRITER", "COMPOSER",
                                      "ARRANGER", "MESSAGE",   "REM"};
  return std::any_of(std::begin(kText), std::end(kText),
                     [&](const char* k) { return keyword == k; });
}

// Calls `each` with every line of the sheet, without its line end.
template <typename Each>
void ForEachLine(std::string_view sheet, Each each) {
  if (sheet.substr(0, kByteOrderMark.size()) == kByteOrderMark)
    sheet.remove_prefix(kByteOrderMark.size());
  while (!sheet.empty()) {
    size_t end = std::min(sheet.find('\n'), sheet.size());
    std::string_view line = sheet.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    each(line);
    sheet.remove_prefix(std::min(end + 1, sheet.size()));
  }
}

void SetField(const std::string& keyword, std::string value, std::string& title,
              std::string& performer, std::string& songwriter) {
  if (value.empty()) return;
  if (keyword == "TITLE") title = std::move(value);
  if (keyword == "PERFORMER") performer = std::move(value);
  if (keyword == "SONGWRITER") songwriter = std::move(value);
}

TrackText& TrackOf(DiscText& text, int number) {
  for (TrackText& t : text.tracks)
    if (t.number == number) return t;
  text.tracks.push_back({number, "", "", ""});
  return text.tracks.back();
}

void DropEmptyTracks(DiscText& text) {
  std::erase_if(text.tracks, [](const TrackText& t) {
    return t.title.empty() && t.performer.empty() && t.songwriter.empty();
  });
}

// Of the up to eight language blocks, the English one, else the first used.
void SelectBlock(cdtext_t* cdtext) {
  cdtext_lang_t* blocks = cdtext_list_languages_v2(cdtext);
  if (!blocks) return;
  int chosen = -1;
  for (int i = 0; i < 8; ++i) {
    if (blocks[i] == CDTEXT_LANGUAGE_ENGLISH) {
      chosen = i;
      break;
    }
    if (chosen < 0 && blocks[i] != CDTEXT_LANGUAGE_BLOCK_UNUSED) chosen = i;
  }
  if (chosen >= 0) cdtext_set_language_index(cdtext, chosen);
}

// libcdio reads an image's text as Latin-1 whatever it is; a drive's
// blocks say their character code, which libcdio honours.
DiscText CdTextOf(CdIo_t* cdio, bool image) {
  DiscText text;
  cdtext_t* cdtext = cdio_get_cdtext(cdio);
  if (!cdtext) return text;
  SelectBlock(cdtext);
  auto field = [&](cdtext_field_t which, track_t track) -> std::string {
    const char* value = cdtext_get_const(cdtext, which, track);
    if (!value) return "";
    return text::CleanField(image ? text::RepairLatin1Reading(value) : std::string(value));
  };
  text.title = field(CDTEXT_FIELD_TITLE, 0);
  text.performer = field(CDTEXT_FIELD_PERFORMER, 0);
  text.songwriter = field(CDTEXT_FIELD_SONGWRITER, 0);
  text.genre = field(CDTEXT_FIELD_GENRE, 0);
  cdtext_genre_t code = cdtext_get_genre(cdtext);
  if (text.genre.empty() && code > CDTEXT_GENRE_UNDEFINED && cdtext_genre2str(code))
    text.genre = cdtext_genre2str(code);
  track_t first = cdio_get_first_track_num(cdio), count = cdio_get_num_tracks(cdio);
  if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK) count = 0;
  for (track_t t = first; count > 0 && t < first + count; ++t)
    text.tracks.push_back({t, field(CDTEXT_FIELD_TITLE, t), field(CDTEXT_FIELD_PERFORMER, t),
                           field(CDTEXT_FIELD_SONGWRITER, t)});
  DropEmptyTracks(text);
  return text;
}

}  // namespace

DiscText SheetDiscText(std::string_view sheet) {
  DiscText text;
  int track = 0;  // 0 before the first TRACK, -1 after one with a bad number
  ForEachLine(sheet, [&](std::string_view line) {
    std::string_view rest;
    std::string keyword = Keyword(line, rest);
    if (keyword == "TRACK") {
      int number = std::atoi(std::string(rest.substr(0, 3)).c_str());
      track = number >= 1 && number <= 99 ? number : -1;
    } else if (keyword == "REM" && track == 0) {
      std::string what = Keyword(rest, rest);
      if (what == "GENRE") text.genre = Value(rest);
      if (what == "DATE") text.date = Value(rest);
    } else if (track == 0) {
      SetField(keyword, Value(rest), text.title, text.performer, text.songwriter);
    } else if (track > 0) {
      TrackText& t = TrackOf(text, track);
      SetField(keyword, Value(rest), t.title, t.performer, t.songwriter);
    }
  });
  DropEmptyTracks(text);
  if (!text.empty()) text.source = "CUE sheet";
  return text;
}

std::string SheetLibcdioOpens(std::string_view sheet) {
  std::string kept;
  bool cut = false;
  ForEachLine(sheet, [&](std::string_view line) {
    std::string_view rest;
    if (line.size() > kLongestLibcdioLine && IsTextKeyword(Keyword(line, rest))) {
      cut = true;
      return;
    }
    kept.append(line);
    kept += '\n';
  });
  return cut ? kept : std::string(sheet);
}

bool ReadDiscText(const Drive& drive, DiscText& text) {
  text = DiscText{};
  if (drive.image && drive.driver == DRIVER_BINCUE) {
    text = SheetDiscText(SheetText(SheetOf(drive.path)));
  } else if (auto cdio = OpenDrive(drive)) {
    text = CdTextOf(cdio.get(), drive.image);
    if (!text.empty()) text.source = "CD-Text";
  }
  return !text.empty();
}

}  // namespace cdrip
