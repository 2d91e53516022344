#include "extractor/FileNames.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <unordered_set>

#include "pipeline/FileStream.h"

namespace cdx {

namespace {

using F = TTagField;

constexpr size_t kNameMax = 255;   // NAME_MAX
constexpr size_t kPathMax = 4095;  // PATH_MAX without its NUL

// The length of the UTF-8 character at `i`, with its code point in `cp`;
// 0 for a byte that starts none (overlong forms and surrogates included).
size_t DecodeUtf8(std::string_view s, size_t i, char32_t& cp) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char lead = byte(i);
  if (lead < 0x80) {
    cp = lead;
    return 1;
  }
  const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
  if (length == 0 || lead > 0xF4 || i + length > s.size()) return 0;
  cp = lead & (0x3F >> (length - 1));
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (byte(i + k) & 0x3F);
  }
  static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kSmallest[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return length;
}

// `text` with "/", NUL, control characters (C0, DEL, C1) and bytes that
// are not UTF-8 replaced by "_".
std::string ReplaceUnsafe(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    char32_t cp = 0;
    const size_t length = DecodeUtf8(text, i, cp);
    const bool control = cp < 0x20 || (cp >= 0x7F && cp <= 0x9F);
    if (length == 0 || control || cp == '/')
      out += '_';
    else
      out.append(text.substr(i, length));
    i += length == 0 ? 1 : length;
  }
  return out;
}

void TrimTrailing(std::string& s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '.')) s.pop_back();
}

// Cuts valid UTF-8 to at most `bytes`, between characters.
void CutTo(std::string& s, size_t bytes) {
  if (s.size() <= bytes) return;
  size_t end = bytes;
  while (end > 0 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80) --end;
  s.resize(end);
}

std::string SafeStem(std::string_view name, size_t budget) {
  std::string s = ReplaceUnsafe(name);
  if (!s.empty() && s[0] == '.') s[0] = '_';
  TrimTrailing(s);
  CutTo(s, budget);
  TrimTrailing(s);
  return s;
}

// A file name with `suffix` (" (2)") between the stem and the extension.
std::string FileComponent(std::string_view name, std::string_view suffix,
                          std::string_view extension, std::string_view fallback) {
  const size_t fixed = suffix.size() + extension.size();
  if (fixed >= FileNameBytes()) return "";
  std::string stem = SafeStem(name, FileNameBytes() - fixed);
  if (stem.empty()) stem = SafeStem(fallback, FileNameBytes() - fixed);
  if (stem.empty()) stem = "_";
  return stem + std::string(suffix) + std::string(extension);
}

std::string Or(const std::string& value, std::string fallback) {
  return value.empty() ? fallback : value;
}

std::string TrackNN(int number) {
  char text[16];
  std::snprintf(text, sizeof text, "Track%02d", number);
  return text;
}

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  return s;
}
std::string Upper(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::toupper(c); });
  return s;
}

bool AllDigits(const std::string& s) {
  return !s.empty() &&
         std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c); });
}

// Expands the variables of one track.
class TExpander {
 public:
  TExpander(const TJobNaming& naming, const TNamedTrack& track)
      : naming_(naming), tags_(*track.Tags), number_(track.Number) {}

  std::string Value(char letter) const {
    switch (letter) {
      case 'A':
        return AlbumArtist();
      case 'S':
        return Or(tags_.Get(F::AlbumArtistSort), AlbumArtist());
      case 'a':
        return Or(tags_.Get(F::Artist), AlbumArtist());
      case 's':
        return Or(tags_.Get(F::ArtistSort), Value('a'));
      case 'd':
        return AlbumWithDisc();
      case 'D':
        return Album();
      case 'T':
        return tags_.Get(F::DiscSubtitle);
      case 'c':
        return naming_.Disambiguation;
      case 'B':
        return tags_.Get(F::Barcode);
      case 'C':
        return tags_.Get(F::CatalogNumber);
      case 'I':
        return Or(naming_.DiscId, tags_.Get(F::MusicBrainzDiscId));
      case 'N':
        return Or(tags_.Get(F::DiscNumber), "1");
      case 'M':
        return Or(tags_.Get(F::DiscTotal), "1");
      case 'y':
        return Year();
      case 'r':
        return Lower(tags_.Get(F::ReleaseType));
      case 'R':
        return tags_.Get(F::ReleaseType);
      case 'n':
        return TrackNumber();
      case 't':
        return Or(tags_.Get(F::Title), TrackNN(number_));
      case 'x':
        return Lower(Extension());
      case 'X':
        return Upper(Extension());
      case '%':
        return "%";
    }
    return "";
  }

  // One component of the template, with each value made safe.
  std::string Expand(std::string_view component) const {
    std::string out;
    for (size_t i = 0; i < component.size(); ++i) {
      if (component[i] == '%' && i + 1 < component.size())
        out += ReplaceUnsafe(Value(component[++i]));
      else
        out += component[i];
    }
    return out;
  }

 private:
  std::string AlbumArtist() const { return Or(tags_.Get(F::AlbumArtist), "Unknown Artist"); }
  // A disc ID keeps two discs without an album title apart.
  std::string Album() const { return Or(tags_.Get(F::Album), Or(Value('I'), "Unknown Album")); }
  std::string AlbumWithDisc() const {
    std::string album = Album();
    if (!naming_.Disambiguation.empty()) album += " (" + naming_.Disambiguation + ")";
    const std::string& total = tags_.Get(F::DiscTotal);
    if (AllDigits(total) && std::stoi(total) > 1)
      album += " (Disc " + Or(tags_.Get(F::DiscNumber), "1") + " of " + total + ")";
    return album;
  }
  std::string Year() const {
    const std::string year = tags_.Get(F::Date).substr(0, 4);
    return year.size() == 4 && AllDigits(year) ? year : "0000";
  }
  std::string TrackNumber() const {
    const std::string& tag = tags_.Get(F::TrackNumber);
    char text[16];
    std::snprintf(text, sizeof text, "%02d", AllDigits(tag) ? std::stoi(tag) : number_);
    return text;
  }
  std::string Extension() const {
    const std::string& ext = naming_.Extension;
    return ext.starts_with('.') ? ext.substr(1) : ext;
  }

  const TJobNaming& naming_;
  const TTrackTags& tags_;
  int number_;
};

bool DiscHasNames(const std::vector<TNamedTrack>& tracks) {
  return std::any_of(tracks.begin(), tracks.end(), [](const TNamedTrack& t) {
    return !t.Tags->Get(F::Title).empty() || !t.Tags->Get(F::Album).empty();
  });
}

std::vector<std::string_view> Components(std::string_view path) {
  std::vector<std::string_view> parts;
  for (size_t start = 0;;) {
    const size_t slash = path.find('/', start);
    parts.push_back(path.substr(start, slash - start));
    if (slash == std::string_view::npos) return parts;
    start = slash + 1;
  }
}

// One track's folders (made safe) and the raw text of its file name.
struct TPlannedName {
  std::string Folders;  // each ending in "/"
  std::string File;
  std::string Fallback;
};

TPlannedName Plan(const TJobNaming& naming, const TNamedTrack& track, bool named) {
  TPlannedName plan;
  plan.Fallback = TrackNN(track.Number);
  if (!named) {
    if (!naming.DiscId.empty()) plan.Folders = SafeFolderName(naming.DiscId, "_") + "/";
    plan.File = plan.Fallback;
    return plan;
  }
  const TExpander expander(naming, track);
  const std::vector<std::string_view> parts = Components(naming.Template);
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    // A folder whose values are all unknown is left out, not named "_".
    const std::string folder = SafeStem(expander.Expand(parts[i]), kNameMax);
    if (!folder.empty()) plan.Folders += folder + "/";
  }
  plan.File = expander.Expand(parts.back());
  return plan;
}

bool UsesExtensionVariable(std::string_view tmpl) {
  for (size_t i = 0; i + 1 < tmpl.size(); ++i)
    if (tmpl[i] == '%' && (tmpl[i + 1] == 'x' || tmpl[i + 1] == 'X')) return true;
  return false;
}

std::string JoinPath(const std::string& folder, const std::string& relative) {
  if (folder.empty()) return relative;
  return folder.back() == '/' ? folder + relative : folder + "/" + relative;
}

}  // namespace

const std::array<TTemplateVariable, 21> kTemplateVariables{{
    {'A', "album artist"},
    {'S', "album artist, sort name"},
    {'a', "track artist"},
    {'s', "track artist, sort name"},
    {'d', "album title, with the disambiguation and \"(Disc N of M)\""},
    {'D', "album title"},
    {'T', "disc title"},
    {'c', "disambiguation"},
    {'B', "barcode"},
    {'C', "catalog number"},
    {'I', "disc ID"},
    {'N', "disc number"},
    {'M', "number of discs"},
    {'y', "year (0000 when unknown)"},
    {'r', "release type, lower case"},
    {'R', "release type"},
    {'n', "track number, two digits"},
    {'t', "track title (TrackNN when unknown)"},
    {'x', "extension, lower case (none is added then)"},
    {'X', "extension, upper case (none is added then)"},
    {'%', "a % sign"},
}};

size_t FileNameBytes() {
  size_t bytes = kNameMax;
  while (TemporaryNameBytes(bytes) > kNameMax) --bytes;
  return bytes;
}

std::string SafeFileName(std::string_view name, std::string_view extension,
                         std::string_view fallback) {
  return FileComponent(name, "", extension, fallback);
}

std::string SafeFolderName(std::string_view name, std::string_view fallback) {
  std::string folder = SafeStem(name, kNameMax);
  if (folder.empty()) folder = SafeStem(fallback, kNameMax);
  return folder.empty() ? "_" : folder;
}

std::string TemplateProblem(std::string_view tmpl) {
  for (size_t i = 0; i < tmpl.size(); ++i) {
    if (tmpl[i] != '%') continue;
    if (i + 1 == tmpl.size()) return "the file-name template ends in a lone %";
    const char letter = tmpl[++i];
    const bool known = std::any_of(kTemplateVariables.begin(), kTemplateVariables.end(),
                                   [&](const TTemplateVariable& v) { return v.Letter == letter; });
    if (!known) return "%" + std::string(1, letter) + " in the file-name template is no variable";
  }
  const std::string_view file = Components(tmpl).back();
  if (file.find_first_not_of(' ') == std::string_view::npos)
    return "the file-name template names no file after its last /";
  return "";
}

std::vector<TJobFileName> NameJobFiles(const TJobNaming& naming,
                                       const std::vector<TNamedTrack>& tracks) {
  const bool named = DiscHasNames(tracks);
  const std::string extension = UsesExtensionVariable(naming.Template) ? "" : naming.Extension;
  std::unordered_set<std::string> taken;
  std::vector<TJobFileName> names;
  for (const TNamedTrack& track : tracks) {
    const TPlannedName plan = Plan(naming, track, named);
    TJobFileName name;
    std::string file;
    for (int copy = 1;; ++copy) {
      const std::string suffix = copy == 1 ? "" : " (" + std::to_string(copy) + ")";
      file = FileComponent(plan.File, suffix, extension, plan.Fallback);
      if (file.empty() || taken.insert(Lower(plan.Folders + file)).second) break;
    }
    if (file.empty()) {
      name.Problem = "track " + std::to_string(track.Number) +
                     " cannot be named: its extension \"" + extension +
                     "\" leaves no room for a name";
    } else {
      name.RelativePath = plan.Folders + file;
      name.Path = JoinPath(naming.OutputFolder, name.RelativePath);
      const size_t partPath = name.Path.size() - file.size() + TemporaryNameBytes(file.size());
      const size_t longest = std::max(name.Path.size(), partPath);
      if (longest > kPathMax) {
        name.Problem = "track " + std::to_string(track.Number) + " cannot be named: its path \"" +
                       name.Path + "\" is " + std::to_string(longest) +
                       " bytes long with the part file's name, more than the 4095 Linux takes";
        name.RelativePath.clear();
        name.Path.clear();
      }
    }
    names.push_back(std::move(name));
  }
  return names;
}

}  // namespace cdx
