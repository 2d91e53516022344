#include "metadata/CoverArt.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "metadata/WebService.h"
#include "platform/cdrip/SafeFiles.h"
#include "platform/http/HttpGet.h"

namespace metadata {

namespace fs = std::filesystem;

namespace {

TCover NoCover(const std::string& why) {
  TCover none;
  none.Reason = "no cover: " + why;
  return none;
}

std::string CoverUrl(const TRelease& release, const TCoverArtSettings& settings) {
  std::string base = settings.BaseUrl.empty()
                         ? http::ServiceBase("CDX_COVERART_URL", "https://coverartarchive.org")
                         : settings.BaseUrl;
  while (!base.empty() && base.back() == '/') base.pop_back();
  std::string size = settings.MaxSide > 0 ? "-" + std::to_string(settings.MaxSide) : "";
  return base + "/release/" + release.Id + "/front" + size;
}

std::string Megabytes(size_t bytes) {
  return std::to_string(bytes >> 20) + " MB";
}

// The picture `bytes` are, typed by their first bytes; none for anything
// but a JPEG or PNG picture.
TCover PictureOf(std::string bytes) {
  TCover cover;
  cover.MimeType = PictureType(bytes);
  if (cover.MimeType.empty()) return cover;
  cover.Extension = cover.MimeType == "image/png" ? ".png" : ".jpg";
  cover.Bytes = std::move(bytes);
  return cover;
}

// One file per release and size; none for an id that is no MusicBrainz id
// (it names the file).
std::string KeptCoverPath(const TRelease& release, const TCoverArtSettings& settings) {
  const bool mbid =
      release.Id.size() == 36 && std::all_of(release.Id.begin(), release.Id.end(), [](char c) {
        return std::isxdigit(static_cast<unsigned char>(c)) || c == '-';
      });
  if (!settings.UseCache || !mbid) return "";
  const std::string folder =
      settings.CacheDir.empty() ? UserCacheFolder("covers") : settings.CacheDir;
  return folder + "/" + release.Id + "-" + std::to_string(settings.MaxSide);
}

// The picture kept at `path`; none when it is missing, old, too large or
// no picture.
TCover KeptCover(const std::string& path, const TCoverArtSettings& settings) {
  TCover cover;
  std::error_code ec;
  const auto written = fs::last_write_time(path, ec);
  if (ec || fs::file_time_type::clock::now() - written > settings.MaxCacheAge) return cover;
  std::string bytes;
  if (!cdrip::ReadRegularFile(path, settings.MaxBytes, bytes)) return cover;
  return PictureOf(std::move(bytes));
}

void KeepCover(const std::string& path, const std::string& bytes) {
  std::error_code ec;
  fs::create_directories(fs::path(path).parent_path(), ec);
  cdrip::ReplaceFile(path, bytes);
}

}  // namespace

std::string PictureType(std::string_view bytes) {
  if (bytes.starts_with("\xFF\xD8\xFF")) return "image/jpeg";
  if (bytes.starts_with("\x89PNG\r\n\x1A\n")) return "image/png";
  return "";
}

TCover FetchFrontCover(const TRelease& release, const TCoverArtSettings& settings) {
  if (release.Id.empty()) return NoCover("the release has no MusicBrainz id");
  if (!release.FrontCover)
    return NoCover("the Cover Art Archive has no front cover of the release");
  const std::string kept = KeptCoverPath(release, settings);
  if (!kept.empty())
    if (TCover cover = KeptCover(kept, settings); !cover.empty()) return cover;
  http::TRequest request;
  request.Url = CoverUrl(release, settings);
  request.UserAgent = UserAgent();
  request.Timeout = settings.Timeout;
  request.MaxBytes = settings.MaxBytes;
  auto slot = CoverArtGate().Wait(settings.RequestInterval);
  http::TResponse r = http::Get(request);
  if (r.Outcome == http::TOutcome::NoAnswer)
    CoverArtGate().GiveBack(slot, settings.RequestInterval);
  if (r.Outcome == http::TOutcome::TooLarge)
    return NoCover("the front cover is larger than " + Megabytes(settings.MaxBytes) + "; not used");
  if (r.Outcome != http::TOutcome::Answered)
    return NoCover("the Cover Art Archive could not be reached (" + r.Error + ")");
  if (r.Status == 404) return NoCover("the Cover Art Archive has no front cover of the release");
  if (r.Status != 200)
    return NoCover("the Cover Art Archive answered HTTP " + std::to_string(r.Status));
  TCover cover = PictureOf(std::move(r.Body));
  if (cover.empty()) return NoCover("the front cover is not a JPEG or PNG picture; not used");
  if (!kept.empty()) KeepCover(kept, cover.Bytes);
  return cover;
}

std::string SaveCover(const TCover& cover, const std::string& folder, std::string* why) {
  return SaveCover(cover.Bytes, cover.Extension, folder, why);
}

std::string SaveCover(std::string_view bytes, const std::string& extension,
                      const std::string& folder, std::string* why) {
  auto fail = [&](const std::string& reason) {
    if (why) *why = reason;
    return std::string();
  };
  if (PictureType(bytes).empty()) return fail("there is no cover to save");
  std::string path = folder + "/cover" + extension;
  if (!cdrip::ReplaceFile(path, bytes)) return fail("the cover could not be saved as " + path);
  return path;
}

}  // namespace metadata
