#include "writers/TrackTags.h"

#include <algorithm>
#include <string_view>

namespace cdx {

namespace {

// What the first bytes say the picture is; "" for anything else.
std::string SniffMimeType(std::string_view bytes) {
  if (bytes.starts_with("\xFF\xD8\xFF")) return "image/jpeg";
  if (bytes.starts_with("\x89PNG\r\n\x1A\n")) return "image/png";
  return "";
}

}  // namespace

std::shared_ptr<const TCoverPicture> TCoverPicture::FromBytes(const std::vector<uint8_t>& bytes,
                                                              std::string& why) {
  return FromBytes(std::string(bytes.begin(), bytes.end()), why);
}

std::shared_ptr<const TCoverPicture> TCoverPicture::FromBytes(std::string bytes, std::string& why) {
  if (bytes.size() > kMaxBytes) {
    why = "the cover is not embedded: it is " + std::to_string(bytes.size()) +
          " bytes, more than the " + std::to_string(kMaxBytes) + " a picture may have";
    return nullptr;
  }
  std::string mime = SniffMimeType(bytes);
  if (mime.empty()) {
    why = "the cover is not embedded: it is not a JPEG or PNG picture";
    return nullptr;
  }
  why.clear();
  return std::shared_ptr<const TCoverPicture>(new TCoverPicture(std::move(bytes), std::move(mime)));
}

const std::vector<std::string>& TTrackTags::Values(TTagField field) const {
  return values_[Index(field)];
}

const std::string& TTrackTags::Get(TTagField field) const {
  static const std::string kNone;
  const auto& values = Values(field);
  return values.empty() ? kNone : values.front();
}

void TTrackTags::Set(TTagField field, std::string value) {
  std::vector<std::string> values;
  if (!value.empty()) values.push_back(std::move(value));
  Set(field, std::move(values));
}

void TTrackTags::Set(TTagField field, std::vector<std::string> values) {
  if (UserSet(field)) return;
  std::erase(values, std::string());
  values_[Index(field)] = std::move(values);
}

void TTrackTags::SetByUser(TTagField field, std::string value) {
  // Nothing typed is no value: what the lookups found stands.
  if (value.empty()) return;
  user_[Index(field)] = false;
  Set(field, std::move(value));
  user_[Index(field)] = true;
}

}  // namespace cdx
