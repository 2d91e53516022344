#include "writers/lame.h"

#include <lame/lame.h>

#include <map>

#include "pipeline/ACS_Classes.h"

namespace cdx {

TLameEncoder::TLameEncoder() : handle_(lame_init()) {
  if (!handle_) throw EACSException("The MP3 encoder could not be created (lame_init failed)");
}

void TLameEncoder::TCloser::operator()(lame_global_struct* handle) const {
  lame_close(handle);
}

std::string LameErrorText(int code) {
  switch (code) {
    case -1:
      return "the MP3 buffer was too small";
    case -2:
      return "out of memory";
    case -3:
      return "the encoder was not initialised";
    case -4:
      return "psycho-acoustic problem";
    default:
      return "error " + std::to_string(code);
  }
}

std::vector<std::string> LameGenreNames() {
  std::map<int, std::string> byNumber;
  id3tag_genre_list(
      [](int number, const char* name, void* cookie) {
        (*static_cast<std::map<int, std::string>*>(cookie))[number] = name;
      },
      &byNumber);
  std::vector<std::string> names;
  for (const auto& [number, name] : byNumber)
    if (number == static_cast<int>(names.size())) names.push_back(name);
  return names;
}

namespace {

// The length of the UTF-8 sequence that `lead` starts, 0 for a byte that
// starts none.
int SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

bool IsContinuation(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}

}  // namespace

std::string ToLatin1(std::string_view text) {
  std::string latin1;
  latin1.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const int length = SequenceLength(lead);
    bool whole = length > 0 && at + length <= text.size();
    for (int k = 1; whole && k < length; ++k)
      whole = IsContinuation(static_cast<unsigned char>(text[at + k]));
    if (!whole) {
      latin1 += '?';
      ++at;
      continue;
    }
    // Two-byte sequences from C2 80 to C3 BF are U+0080 to U+00FF.
    if (length == 1)
      latin1 += static_cast<char>(lead);
    else if (length == 2 && lead <= 0xC3)
      latin1 += static_cast<char>(((lead & 0x03) << 6) | (text[at + 1] & 0x3F));
    else
      latin1 += '?';
    at += length;
  }
  return latin1;
}

}  // namespace cdx
