#include "platform/text/Utf8Text.h"

#include <array>
#include <cstdint>

namespace text {

namespace {

// Windows-1252 at 0x80..0x9F; 0 where the code page leaves a byte unused.
constexpr std::array<char32_t, 32> kWindows1252 = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

constexpr char32_t kReplacement = 0xFFFD;

void Append(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// The well-formed UTF-8 sequence at `at` (shortest form, no surrogate, at
// most U+10FFFF): its length and character; length 0 when there is none.
size_t Sequence(std::string_view s, size_t at, char32_t& c) {
  auto byte = [&](size_t i) { return static_cast<uint8_t>(s[i]); };
  uint8_t lead = byte(at);
  if (lead < 0x80) {
    c = lead;
    return 1;
  }
  size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                  : lead >= 0xE0 && lead <= 0xEF ? 3
                  : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                 : 0;
  if (length == 0 || at + length > s.size()) return 0;
  // The second byte's range rules out overlong forms, surrogates and
  // characters past U+10FFFF.
  uint8_t low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
  uint8_t high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
  if (byte(at + 1) < low || byte(at + 1) > high) return 0;
  c = lead & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    c = (c << 6) | (byte(at + i) & 0x3F);
  }
  return length;
}

char32_t Windows1252(uint8_t byte) {
  if (byte < 0x80 || byte >= 0xA0) return byte;
  char32_t c = kWindows1252[byte - 0x80];
  return c ? c : kReplacement;
}

bool IsSpaceLike(char32_t c) {
  return c <= 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

// `s` cut to at most `maxBytes` with "…" at the end.
std::string Shortened(std::string s, size_t maxBytes) {
  constexpr std::string_view kEllipsis = "\u2026";
  if (s.size() <= maxBytes) return s;
  size_t end = maxBytes > kEllipsis.size() ? maxBytes - kEllipsis.size() : 0;
  while (end > 0 && (static_cast<uint8_t>(s[end]) & 0xC0) == 0x80) --end;
  // A cut between words reads better, when one is near enough.
  size_t space = s.rfind(' ', end);
  if (space != std::string::npos && space > 0 && space >= end - end / 4) end = space;
  s.resize(end);
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s + std::string(kEllipsis);
}

}  // namespace

std::string ValidUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (size_t at = 0; at < bytes.size();) {
    char32_t c = 0;
    size_t length = Sequence(bytes, at, c);
    if (length == 0) {
      Append(out, Windows1252(static_cast<uint8_t>(bytes[at])));
      ++at;
    } else {
      out.append(bytes.substr(at, length));
      at += length;
    }
  }
  return out;
}

std::string RepairLatin1Reading(std::string_view utf8) {
  std::string bytes;
  for (size_t at = 0; at < utf8.size();) {
    char32_t c = 0;
    size_t length = Sequence(utf8, at, c);
    if (length == 0 || c > 0xFF) return ValidUtf8(utf8);
    bytes += static_cast<char>(c);
    at += length;
  }
  return ValidUtf8(bytes);
}

std::string CleanField(std::string_view bytes, size_t maxBytes) {
  std::string valid = ValidUtf8(bytes);
  std::string out;
  out.reserve(valid.size());
  bool space = false;
  for (size_t at = 0; at < valid.size();) {
    char32_t c = 0;
    size_t length = Sequence(valid, at, c);
    if (IsSpaceLike(c)) {
      space = !out.empty();
    } else if (c != 0xFEFF) {  // a byte-order mark is no character of a name
      if (space) out += ' ';
      space = false;
      out.append(valid, at, length);
    }
    at += length;
  }
  return Shortened(std::move(out), maxBytes);
}

}  // namespace text
