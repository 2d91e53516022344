// Reading JSON from a web service that may send anything: every getter
// gives "", 0 or a null value where a field is missing or of another type,
// and never throws.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "platform/text/Utf8Text.h"

namespace metadata {

// Member `key` of an object; null for anything else.
const nlohmann::json& Member(const nlohmann::json& object, const char* key);
// A string member as sent.
std::string Raw(const nlohmann::json& object, const char* key);
// A string member as a clean field (text::CleanField).
inline std::string Text(const nlohmann::json& object, const char* key) {
  return text::CleanField(Raw(object, key));
}
// An integer member, `fallback` when there is none.
long Int(const nlohmann::json& object, const char* key, long fallback);
// A MusicBrainz id member (lower-case 8-4-4-4-12 hex), "" when it is not
// one: ids go into addresses and tags.
std::string Mbid(const nlohmann::json& object, const char* key);
// The ISRCs of an array (12 letters and digits each), others dropped.
std::vector<std::string> Isrcs(const nlohmann::json& array);

}  // namespace metadata
