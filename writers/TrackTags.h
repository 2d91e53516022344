// What the tagger writes into a track's file: the names of the track, its
// disc and its release, its loudness and the front cover. Values come from
// the disc, from a lookup or from the user; what the user typed wins.
#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cdx {

enum class TTagField : uint8_t {
  Title,
  Artist,
  ArtistSort,
  Album,
  AlbumArtist,
  AlbumArtistSort,
  TrackNumber,
  TrackTotal,
  DiscNumber,
  DiscTotal,
  DiscSubtitle,
  Date,
  Genre,
  Comment,
  Isrc,
  Barcode,  // the release's barcode, or the disc's MCN
  CatalogNumber,
  ReleaseType,
  MusicBrainzAlbumId,
  MusicBrainzReleaseTrackId,
  MusicBrainzRecordingId,  // what taggers call MUSICBRAINZ_TRACKID
  MusicBrainzArtistId,
  MusicBrainzAlbumArtistId,
  MusicBrainzReleaseGroupId,
  MusicBrainzDiscId,
};
inline constexpr size_t kTagFieldCount = static_cast<size_t>(TTagField::MusicBrainzDiscId) + 1;

// ReplayGain 2.0: the gain that brings the audio to -18 LUFS, and the
// largest sample, 1.0 being full scale.
struct TReplayGain {
  double GainDb = 0;
  double Peak = 0;
};

// A front cover to embed: only pictures the tagger can embed exist.
class TCoverPicture {
 public:
  // Larger pictures are refused: every file of the disc would carry them.
  static constexpr size_t kMaxBytes = 4 << 20;
  // The picture in `bytes`, or nothing with the one-line reason in `why`:
  // it is not a JPEG or PNG picture, or it is too large.
  // Kept as given, so a picture read from a file or the web is not copied.
  static std::shared_ptr<const TCoverPicture> FromBytes(std::string bytes, std::string& why);
  static std::shared_ptr<const TCoverPicture> FromBytes(const std::vector<uint8_t>& bytes,
                                                        std::string& why);

  std::string_view Data() const { return data_; }
  const std::string& MimeType() const { return mime_; }

 private:
  TCoverPicture(std::string data, std::string mime)
      : data_(std::move(data)), mime_(std::move(mime)) {}
  std::string data_;
  std::string mime_;
};

class TTrackTags {
 public:
  // A field may hold several values (artists of a joint credit); none is
  // "not known", and an unknown field is not written.
  const std::vector<std::string>& Values(TTagField field) const;
  // The first value, or "".
  const std::string& Get(TTagField field) const;

  // A value from the disc or a lookup: ignored for a field the user set.
  // An empty value clears the field.
  void Set(TTagField field, std::string value);
  void Set(TTagField field, std::vector<std::string> values);
  // A value the user typed (empty: none): it wins over every looked-up one. Where the
  // file holds the field already when it is tagged (the writer wrote the
  // user's text there: the Ogg comment lines, the MP3 dialog's ID3v1
  // fields), the file's text stays as it is.
  void SetByUser(TTagField field, std::string value);
  bool UserSet(TTagField field) const { return user_[Index(field)]; }

  std::optional<TReplayGain> TrackGain;
  std::optional<TReplayGain> AlbumGain;
  std::shared_ptr<const TCoverPicture> Cover;

 private:
  static size_t Index(TTagField field) { return static_cast<size_t>(field); }
  std::array<std::vector<std::string>, kTagFieldCount> values_;
  std::bitset<kTagFieldCount> user_;
};

}  // namespace cdx
