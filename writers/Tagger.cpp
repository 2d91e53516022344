#include "writers/Tagger.h"

#include <strings.h>
#include <taglib/apefile.h>
#include <taglib/apetag.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/commentsframe.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/infotag.h>
#include <taglib/mpegfile.h>
#include <taglib/opusfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/uniquefileidentifierframe.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>
#include <taglib/xiphcomment.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <functional>
#include <memory>
#include <string_view>

#include "pipeline/ACS_Classes.h"
#include "pipeline/FileStream.h"
#include "writers/ACS_FLAC.h"

namespace cdx {

namespace {

using TagLib::ByteVector;
using TagLib::String;
using TagLib::StringList;
using F = TTagField;

// Where each field goes in each format, by the names taggers and players
// read. A field may stand in several rows (Vorbis has two names for the
// totals). ID3 is a frame id, "TXXX:<description>" or "UFID:<owner>"; ID3
// and APE write the totals with the numbers ("3/12"). Null: not written.
struct TFieldNames {
  F Field;
  const char* Id3;
  const char* Vorbis;
  const char* Ape;
  const char* Riff;
};

constexpr TFieldNames kFieldNames[] = {
    {F::Title, "TIT2", "TITLE", "Title", "INAM"},
    {F::Artist, "TPE1", "ARTIST", "Artist", "IART"},
    {F::ArtistSort, "TSOP", "ARTISTSORT", "ARTISTSORT", nullptr},
    {F::Album, "TALB", "ALBUM", "Album", "IPRD"},
    {F::AlbumArtist, "TPE2", "ALBUMARTIST", "Album Artist", nullptr},
    {F::AlbumArtistSort, "TSO2", "ALBUMARTISTSORT", "ALBUMARTISTSORT", nullptr},
    {F::TrackNumber, "TRCK", "TRACKNUMBER", "Track", "IPRT"},
    {F::TrackTotal, nullptr, "TRACKTOTAL", nullptr, nullptr},
    {F::TrackTotal, nullptr, "TOTALTRACKS", nullptr, nullptr},
    {F::DiscNumber, "TPOS", "DISCNUMBER", "Disc", nullptr},
    {F::DiscTotal, nullptr, "DISCTOTAL", nullptr, nullptr},
    {F::DiscTotal, nullptr, "TOTALDISCS", nullptr, nullptr},
    {F::DiscSubtitle, "TSST", "DISCSUBTITLE", "DiscSubtitle", nullptr},
    {F::Date, "TDRC", "DATE", "Year", "ICRD"},
    {F::Genre, "TCON", "GENRE", "Genre", "IGNR"},
    {F::Comment, "COMM", "COMMENT", "Comment", "ICMT"},
    {F::Isrc, "TSRC", "ISRC", "ISRC", nullptr},
    {F::Barcode, "TXXX:BARCODE", "BARCODE", "Barcode", nullptr},
    {F::CatalogNumber, "TXXX:CATALOGNUMBER", "CATALOGNUMBER", "CatalogNumber", nullptr},
    {F::ReleaseType, "TXXX:MusicBrainz Album Type", "RELEASETYPE", "MUSICBRAINZ_ALBUMTYPE",
     nullptr},
    {F::MusicBrainzAlbumId, "TXXX:MusicBrainz Album Id", "MUSICBRAINZ_ALBUMID",
     "MUSICBRAINZ_ALBUMID", nullptr},
    {F::MusicBrainzReleaseTrackId, "TXXX:MusicBrainz Release Track Id",
     "MUSICBRAINZ_RELEASETRACKID", "MUSICBRAINZ_RELEASETRACKID", nullptr},
    {F::MusicBrainzRecordingId, "UFID:http://musicbrainz.org", "MUSICBRAINZ_TRACKID",
     "MUSICBRAINZ_TRACKID", nullptr},
    {F::MusicBrainzArtistId, "TXXX:MusicBrainz Artist Id", "MUSICBRAINZ_ARTISTID",
     "MUSICBRAINZ_ARTISTID", nullptr},
    {F::MusicBrainzAlbumArtistId, "TXXX:MusicBrainz Album Artist Id", "MUSICBRAINZ_ALBUMARTISTID",
     "MUSICBRAINZ_ALBUMARTISTID", nullptr},
    {F::MusicBrainzReleaseGroupId, "TXXX:MusicBrainz Release Group Id",
     "MUSICBRAINZ_RELEASEGROUPID", "MUSICBRAINZ_RELEASEGROUPID", nullptr},
    {F::MusicBrainzDiscId, "TXXX:MusicBrainz Disc Id", "MUSICBRAINZ_DISCID", "MUSICBRAINZ_DISCID",
     nullptr},
};

enum class TGainKind { Track, Album };

const char* GainName(TGainKind kind) {
  return kind == TGainKind::Track ? "REPLAYGAIN_TRACK_GAIN" : "REPLAYGAIN_ALBUM_GAIN";
}
const char* PeakName(TGainKind kind) {
  return kind == TGainKind::Track ? "REPLAYGAIN_TRACK_PEAK" : "REPLAYGAIN_ALBUM_PEAK";
}

// Locale-free, so a window in a locale with decimal commas writes the same.
std::string Fixed(double value, int decimals) {
  if (std::fabs(value) < 0.5 * std::pow(10.0, -decimals)) value = 0;  // no "-0.00"
  char text[64];
  auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals).ptr;
  return std::string(text, end);
}
std::string GainText(double gainDb) {
  return Fixed(gainDb, 2) + " dB";
}
std::string PeakText(double peak) {
  return Fixed(peak, 6);
}

String Utf8(const std::string& text) {
  return String(text, String::UTF8);
}

StringList Utf8List(const std::vector<std::string>& values) {
  StringList list;
  for (const std::string& value : values) list.append(Utf8(value));
  return list;
}

// The values of `field`; with `withTotals`, a number carries its total.
std::vector<std::string> ValuesOf(const TTrackTags& tags, F field, bool withTotals) {
  const bool number = field == F::TrackNumber || field == F::DiscNumber;
  if (!withTotals || !number) return tags.Values(field);
  std::string text = tags.Get(field);
  if (text.empty()) return {};
  const std::string& total = tags.Get(field == F::TrackNumber ? F::TrackTotal : F::DiscTotal);
  if (!total.empty()) text += "/" + total;
  return {text};
}

ByteVector Bytes(std::string_view data) {
  return ByteVector(data.data(), static_cast<unsigned>(data.size()));
}

std::unique_ptr<TagLib::FLAC::Picture> FlacPicture(const TCoverPicture& cover) {
  auto picture = std::make_unique<TagLib::FLAC::Picture>();
  picture->setType(TagLib::FLAC::Picture::FrontCover);
  picture->setMimeType(cover.MimeType());
  picture->setData(Bytes(cover.Data()));
  return picture;
}

[[noreturn]] void Fail(const std::string& why) {
  throw EACSException("Cannot write the tags: " + why);
}

// One format's tag, opened on a file: fields, gains and the cover go in,
// then Save writes the file.
class TTagWriter {
 public:
  virtual ~TTagWriter() = default;
  // `keep`: the user set the field, so a text the file holds stays.
  virtual void Put(const TFieldNames& names, const TTrackTags& tags, bool keep) = 0;
  virtual void PutGain(TGainKind kind, const TReplayGain& gain) = 0;
  virtual void PutCover(const TCoverPicture& cover) = 0;
  // Whether saving now rewrites only the tag region.
  virtual bool FitsInPlace() = 0;
  virtual bool Save() = 0;
  // What the writer adds once every field is in (the ID3v1 copy).
  virtual void Complete(const TTrackTags&) {}
};

// --- Vorbis comments: Ogg Vorbis, Ogg Opus, FLAC ----------------------------

void PutXiph(TagLib::Ogg::XiphComment& xiph, const char* name,
             const std::vector<std::string>& values, bool keep) {
  if (!name || values.empty()) return;
  if (keep && xiph.contains(name)) return;
  xiph.removeFields(name);
  for (const std::string& value : values) xiph.addField(name, Utf8(value), false);
}

// Which pictures a cover replaces: the front covers already there.
template <class Holder>
void ReplaceFrontCover(Holder& holder, const TCoverPicture& cover) {
  for (TagLib::FLAC::Picture* old : holder.pictureList())
    if (old->type() == TagLib::FLAC::Picture::FrontCover) holder.removePicture(old, true);
  holder.addPicture(FlacPicture(cover).release());
}

template <class File>
class TOggWriter : public TTagWriter {
 public:
  explicit TOggWriter(const std::string& path) : file_(path.c_str()) {
    if (!file_.isValid() || !file_.tag()) Fail("TagLib does not read the file as Ogg");
  }
  void Put(const TFieldNames& names, const TTrackTags& tags, bool keep) override {
    PutXiph(*file_.tag(), names.Vorbis, ValuesOf(tags, names.Field, false), keep);
  }
  void PutGain(TGainKind kind, const TReplayGain& gain) override {
    PutXiph(*file_.tag(), GainName(kind), {GainText(gain.GainDb)}, false);
    PutXiph(*file_.tag(), PeakName(kind), {PeakText(gain.Peak)}, false);
  }
  void PutCover(const TCoverPicture& cover) override { ReplaceFrontCover(*file_.tag(), cover); }
  bool FitsInPlace() override { return false; }
  bool Save() override { return file_.save(); }

 protected:
  File file_;
};

// Opus: the R128 gains, in Q7.8 dB to -23 LUFS on top of the output gain
// of the stream's header; no peaks.
class TOpusWriter : public TOggWriter<TagLib::Ogg::Opus::File> {
 public:
  using TOggWriter::TOggWriter;
  void PutGain(TGainKind kind, const TReplayGain& gain) override {
    const char* name = kind == TGainKind::Track ? "R128_TRACK_GAIN" : "R128_ALBUM_GAIN";
    const long q78 = std::lround(256.0 * (gain.GainDb - 5.0)) - OutputGain();
    PutXiph(*file_.tag(), name, {std::to_string(std::clamp(q78, -32768L, 32767L))}, false);
  }

 private:
  int OutputGain() {
    const ByteVector head = file_.packet(0);
    return head.size() >= 18 && head.startsWith("OpusHead") ? head.toShort(16, false) : 0;
  }
};

// The lengths of a FLAC file's comment block and of its padding (every
// padding block with its header), read from the file; -1 when unreadable.
struct TFlacLayout {
  int64_t CommentBytes = -1;
  int64_t PaddingBytes = 0;
};

TFlacLayout ReadFlacLayout(const std::string& path) {
  TFlacLayout layout;
  std::ifstream in(path, std::ios::binary);
  char magic[4];
  if (!in.read(magic, 4) || std::string_view(magic, 4) != "fLaC") return layout;
  for (bool last = false; !last;) {
    unsigned char header[4];
    if (!in.read(reinterpret_cast<char*>(header), 4)) return TFlacLayout{};
    last = header[0] & 0x80;
    const int type = header[0] & 0x7F;
    const int64_t length = (header[1] << 16) | (header[2] << 8) | header[3];
    if (type == 1) layout.PaddingBytes += 4 + length;
    if (type == 4) layout.CommentBytes = length;
    in.seekg(length, std::ios::cur);
  }
  return layout;
}

class TFlacWriter : public TTagWriter {
 public:
  explicit TFlacWriter(const std::string& path) : path_(path), file_(path.c_str()) {
    if (!file_.isValid()) Fail("TagLib does not read the file as FLAC");
  }
  void Put(const TFieldNames& names, const TTrackTags& tags, bool keep) override {
    PutXiph(*Comment(), names.Vorbis, ValuesOf(tags, names.Field, false), keep);
  }
  void PutGain(TGainKind kind, const TReplayGain& gain) override {
    PutXiph(*Comment(), GainName(kind), {GainText(gain.GainDb)}, false);
    PutXiph(*Comment(), PeakName(kind), {PeakText(gain.Peak)}, false);
  }
  void PutCover(const TCoverPicture& cover) override { ReplaceFrontCover(file_, cover); }
  // TagLib keeps the metadata's length when the comment block grows into
  // the padding, leaving some; more than its limit it shrinks, which moves
  // the audio, and so does none left.
  bool FitsInPlace() override {
    const TFlacLayout layout = ReadFlacLayout(path_);
    if (layout.CommentBytes < 0) return false;
    const int64_t grown = Comment()->render(false).size() - layout.CommentBytes;
    const int64_t left = layout.PaddingBytes - 4 - grown;
    const int64_t limit =
        std::min<int64_t>(std::max<int64_t>(file_.length() / 100, 4096), 1024 * 1024);
    return left > 0 && left <= limit;
  }
  bool Save() override { return file_.save(); }

 private:
  TagLib::Ogg::XiphComment* Comment() { return file_.xiphComment(true); }
  std::string path_;
  TagLib::FLAC::File file_;
};

// --- ID3v2.4 with its ID3v1 copy: MP3 ----------------------------------------

class TId3Writer : public TTagWriter {
 public:
  explicit TId3Writer(const std::string& path) : file_(path.c_str()) {
    if (!file_.isValid()) Fail("TagLib does not read the file as MP3");
    tag_ = file_.ID3v2Tag(true);
    originalBytes_ = file_.hasID3v2Tag() ? tag_->header()->completeTagSize() : 0;
  }
  void Put(const TFieldNames& names, const TTrackTags& tags, bool keep) override {
    if (names.Id3) Put(names.Id3, ValuesOf(tags, names.Field, true), keep);
  }
  void PutGain(TGainKind kind, const TReplayGain& gain) override {
    Put(std::string("TXXX:") + GainName(kind), {GainText(gain.GainDb)}, false);
    Put(std::string("TXXX:") + PeakName(kind), {PeakText(gain.Peak)}, false);
  }
  void PutCover(const TCoverPicture& cover) override {
    using TagLib::ID3v2::AttachedPictureFrame;
    for (auto* frame : tag_->frameList("APIC")) {
      auto* picture = dynamic_cast<AttachedPictureFrame*>(frame);
      if (picture && picture->type() == AttachedPictureFrame::FrontCover) tag_->removeFrame(frame);
    }
    auto picture = std::make_unique<AttachedPictureFrame>();
    picture->setMimeType(cover.MimeType());
    picture->setType(AttachedPictureFrame::FrontCover);
    picture->setPicture(Bytes(cover.Data()));
    tag_->addFrame(picture.release());
  }
  // The tag renders to its old length when it fits its padding.
  bool FitsInPlace() override {
    return originalBytes_ > 0 && tag_->render(TagLib::ID3v2::v4).size() == originalBytes_;
  }
  // The ID3v1 fields the writer wrote (the user's) stay; empty ones get
  // the record's values, in Latin-1 as ID3v1 readers take them.
  void Complete(const TTrackTags& tags) override {
    TagLib::ID3v1::Tag& v1 = *file_.ID3v1Tag(true);
    auto latin1 = [&tags](F field) { return String(ToLatin1(tags.Get(field)), String::Latin1); };
    if (v1.title().isEmpty()) v1.setTitle(latin1(F::Title));
    if (v1.artist().isEmpty()) v1.setArtist(latin1(F::Artist));
    if (v1.album().isEmpty()) v1.setAlbum(latin1(F::Album));
    if (v1.comment().isEmpty()) v1.setComment(latin1(F::Comment));
    if (v1.genre().isEmpty()) v1.setGenre(latin1(F::Genre));
    if (v1.year() == 0) v1.setYear(static_cast<unsigned>(std::atoi(tags.Get(F::Date).c_str())));
    if (v1.track() == 0)
      v1.setTrack(static_cast<unsigned>(std::atoi(tags.Get(F::TrackNumber).c_str())));
  }
  bool Save() override {
    return file_.save(TagLib::MPEG::File::ID3v1 | TagLib::MPEG::File::ID3v2,
                      TagLib::File::StripNone, TagLib::ID3v2::v4, TagLib::File::DoNotDuplicate);
  }

 private:
  void Put(const std::string& where, const std::vector<std::string>& values, bool keep);
  TagLib::ID3v2::Frame* Existing(const std::string& where);

  TagLib::MPEG::File file_;
  TagLib::ID3v2::Tag* tag_ = nullptr;
  unsigned originalBytes_ = 0;
};

TagLib::ID3v2::Frame* TId3Writer::Existing(const std::string& where) {
  using namespace TagLib::ID3v2;
  if (where.starts_with("TXXX:"))
    return UserTextIdentificationFrame::find(tag_, Utf8(where.substr(5)));
  if (where.starts_with("UFID:"))
    return UniqueFileIdentifierFrame::findByOwner(tag_, Utf8(where.substr(5)));
  if (where == "COMM") return CommentsFrame::findByDescription(tag_, String());
  const auto& frames = tag_->frameList(where.c_str());
  return frames.isEmpty() ? nullptr : frames.front();
}

void TId3Writer::Put(const std::string& where, const std::vector<std::string>& values, bool keep) {
  using namespace TagLib::ID3v2;
  if (values.empty()) return;
  if (Frame* old = Existing(where)) {
    if (keep) return;
    tag_->removeFrame(old);
  }
  if (where.starts_with("TXXX:")) {
    auto frame = std::make_unique<UserTextIdentificationFrame>(String::UTF8);
    frame->setDescription(Utf8(where.substr(5)));
    frame->setText(Utf8List(values));
    tag_->addFrame(frame.release());
  } else if (where.starts_with("UFID:")) {
    tag_->addFrame(std::make_unique<UniqueFileIdentifierFrame>(Utf8(where.substr(5)),
                                                               ByteVector(values[0].c_str()))
                       .release());
  } else if (where == "COMM") {
    auto frame = std::make_unique<CommentsFrame>(String::UTF8);
    frame->setLanguage("eng");
    frame->setText(Utf8(values[0]));
    tag_->addFrame(frame.release());
  } else {
    auto frame = std::make_unique<TextIdentificationFrame>(ByteVector(where.c_str()), String::UTF8);
    frame->setText(Utf8List(values));
    tag_->addFrame(frame.release());
  }
}

// --- APEv2: Monkey's Audio -----------------------------------------------------

class TApeWriter : public TTagWriter {
 public:
  explicit TApeWriter(const std::string& path) : file_(path.c_str()) {
    if (!file_.isValid()) Fail("TagLib does not read the file as Monkey's Audio");
    tag_ = file_.APETag(true);
  }
  void Put(const TFieldNames& names, const TTrackTags& tags, bool keep) override {
    Put(names.Ape, ValuesOf(tags, names.Field, true), keep);
  }
  void PutGain(TGainKind kind, const TReplayGain& gain) override {
    Put(GainName(kind), {GainText(gain.GainDb)}, false);
    Put(PeakName(kind), {PeakText(gain.Peak)}, false);
  }
  // A binary item: a file name, a NUL, then the picture.
  void PutCover(const TCoverPicture& cover) override {
    const char* name =
        cover.MimeType() == "image/png" ? "Cover Art (Front).png" : "Cover Art (Front).jpg";
    ByteVector item(name, static_cast<unsigned>(std::char_traits<char>::length(name) + 1));
    item.append(Bytes(cover.Data()));
    tag_->setData("Cover Art (Front)", item);
  }
  // The tag stands after the audio: rewriting it never moves a byte of it.
  bool FitsInPlace() override { return true; }
  bool Save() override { return file_.save(); }

 private:
  void Put(const char* key, const std::vector<std::string>& values, bool keep) {
    if (!key || values.empty()) return;
    if (keep && tag_->itemListMap().contains(String(key).upper())) return;
    tag_->removeItem(key);
    for (size_t i = 0; i < values.size(); ++i) tag_->addValue(key, Utf8(values[i]), i == 0);
  }
  TagLib::APE::File file_;
  TagLib::APE::Tag* tag_ = nullptr;
};

// --- RIFF INFO: WAV ------------------------------------------------------------

class TRiffWriter : public TTagWriter {
 public:
  explicit TRiffWriter(const std::string& path) : file_(path.c_str()) {
    if (!file_.isValid()) Fail("TagLib does not read the file as WAV");
  }
  void Put(const TFieldNames& names, const TTrackTags& tags, bool keep) override {
    const std::vector<std::string> values = ValuesOf(tags, names.Field, false);
    if (!names.Riff || values.empty()) return;
    TagLib::RIFF::Info::Tag& info = *file_.InfoTag();
    if (keep && !info.fieldText(names.Riff).isEmpty()) return;
    info.setFieldText(names.Riff, Utf8(values[0]));
  }
  void PutGain(TGainKind, const TReplayGain&) override {}
  void PutCover(const TCoverPicture&) override {}
  bool FitsInPlace() override { return true; }
  bool Save() override {
    return file_.save(TagLib::RIFF::WAV::File::Info, TagLib::File::StripNone);
  }

 private:
  TagLib::RIFF::WAV::File file_;
};

std::unique_ptr<TTagWriter> OpenTags(const std::string& path, TTagFormat format) {
  switch (format) {
    case TTagFormat::Wav:
      return std::make_unique<TRiffWriter>(path);
    case TTagFormat::Mp3:
      return std::make_unique<TId3Writer>(path);
    case TTagFormat::OggVorbis:
      return std::make_unique<TOggWriter<TagLib::Ogg::Vorbis::File>>(path);
    case TTagFormat::OggOpus:
      return std::make_unique<TOpusWriter>(path);
    case TTagFormat::Flac:
      return std::make_unique<TFlacWriter>(path);
    case TTagFormat::Ape:
      return std::make_unique<TApeWriter>(path);
  }
  Fail("unknown format");
}

void SaveTags(TTagWriter& writer) {
  if (!writer.Save()) Fail("TagLib could not save the file");
}

// Copies the file at `path`, lets `tag` change the copy, and moves the copy
// onto `path`; a failure removes the copy and leaves `path` as it was.
void TagACopy(const std::string& path, const std::function<void(const std::string&)>& tag) {
  std::unique_ptr<TFileStream> copy = TFileStream::CreateTemporaryFor(path);
  const std::string copyPath = copy->Path();
  try {
    TFileStream original(path, TFileStream::TOpenMode::ReadWriteLocked);
    std::vector<char> buffer(1 << 20);
    while (int64_t got = original.Read(buffer.data(), static_cast<int64_t>(buffer.size())))
      copy->Write(buffer.data(), got);
    tag(copyPath);
    copy->Sync();
    copy->Close();
    ReplaceFile(copyPath, path);
  } catch (...) {
    copy.reset();
    RemoveFileQuietly(copyPath);
    throw;
  }
}

}  // namespace

void WriteTags(const std::string& path, TTagFormat format, const TTrackTags& tags) {
  std::unique_ptr<TTagWriter> writer = OpenTags(path, format);
  for (const TFieldNames& names : kFieldNames) writer->Put(names, tags, tags.UserSet(names.Field));
  if (tags.TrackGain) writer->PutGain(TGainKind::Track, *tags.TrackGain);
  if (tags.AlbumGain) writer->PutGain(TGainKind::Album, *tags.AlbumGain);
  if (tags.Cover) writer->PutCover(*tags.Cover);
  writer->Complete(tags);
  SaveTags(*writer);
}

void WriteGains(const std::string& path, TTagFormat format, const std::optional<TReplayGain>& track,
                const std::optional<TReplayGain>& album) {
  if (format == TTagFormat::Wav || (!track && !album)) return;
  const auto put = [&](TTagWriter& writer) {
    if (track) writer.PutGain(TGainKind::Track, *track);
    if (album) writer.PutGain(TGainKind::Album, *album);
  };
  try {
    {
      std::unique_ptr<TTagWriter> writer = OpenTags(path, format);
      put(*writer);
      if (writer->FitsInPlace()) return SaveTags(*writer);
    }
    TagACopy(path, [&](const std::string& copy) {
      std::unique_ptr<TTagWriter> writer = OpenTags(copy, format);
      put(*writer);
      SaveTags(*writer);
    });
  } catch (const std::exception& e) {
    throw EACSException("Cannot write the ReplayGain tags into \"" + path + "\": " + e.what());
  }
}

uint32_t FLACPaddingFor(const TTrackTags& tags) {
  uint32_t bytes = TFLACOut::kDefaultPadding;
  // A picture block: its header, eight 32-bit fields, the MIME type, no
  // description, and the picture.
  if (tags.Cover)
    bytes +=
        static_cast<uint32_t>(4 + 32 + tags.Cover->MimeType().size() + tags.Cover->Data().size());
  return bytes;
}

void ApplyUserTags(TTrackTags& tags, const TMP3Tags& typed) {
  tags.SetByUser(F::Title, typed.Title);
  tags.SetByUser(F::Artist, typed.Artist);
  tags.SetByUser(F::Album, typed.Album);
  tags.SetByUser(F::Date, typed.Year);
  tags.SetByUser(F::Comment, typed.Comment);
  tags.SetByUser(F::Genre, typed.Genre);
  const size_t slash = typed.Track.find('/');
  tags.SetByUser(F::TrackNumber, typed.Track.substr(0, slash));
  if (slash != std::string::npos) tags.SetByUser(F::TrackTotal, typed.Track.substr(slash + 1));
}

void ApplyUserComments(TTrackTags& tags, const std::vector<TVorbisField>& comments) {
  for (const auto& [name, value] : comments)
    for (const TFieldNames& names : kFieldNames)
      if (names.Vorbis && strcasecmp(name.c_str(), names.Vorbis) == 0)
        tags.SetByUser(names.Field, value);
}

}  // namespace cdx
