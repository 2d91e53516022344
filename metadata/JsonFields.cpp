#include "metadata/JsonFields.h"

#include <algorithm>
#include <cctype>
#include <climits>

using nlohmann::json;

namespace metadata {

const json& Member(const json& object, const char* key) {
  static const json null;
  if (!object.is_object()) return null;
  auto it = object.find(key);
  return it == object.end() ? null : *it;
}

std::string Raw(const json& object, const char* key) {
  const json& value = Member(object, key);
  return value.is_string() ? value.get<std::string>() : "";
}

long Int(const json& object, const char* key, long fallback) {
  const json& value = Member(object, key);
  if (value.is_number_unsigned())
    return static_cast<long>(std::min<uint64_t>(value.get<uint64_t>(), LONG_MAX));
  if (value.is_number_integer()) return value.get<long>();
  return fallback;
}

std::string Mbid(const json& object, const char* key) {
  std::string id = Raw(object, key);
  if (id.size() != 36) return "";
  for (size_t i = 0; i < id.size(); ++i) {
    bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    bool ok = dash ? id[i] == '-'
                   : std::isxdigit(static_cast<unsigned char>(id[i])) &&
                         !std::isupper(static_cast<unsigned char>(id[i]));
    if (!ok) return "";
  }
  return id;
}

std::vector<std::string> Isrcs(const json& array) {
  std::vector<std::string> isrcs;
  if (!array.is_array()) return isrcs;
  for (const json& value : array) {
    if (!value.is_string()) continue;
    std::string isrc = value.get<std::string>();
    bool ok = isrc.size() == 12 && std::all_of(isrc.begin(), isrc.end(), [](char c) {
                return std::isalnum(static_cast<unsigned char>(c));
              });
    if (ok) isrcs.push_back(isrc);
  }
  return isrcs;
}

}  // namespace metadata
