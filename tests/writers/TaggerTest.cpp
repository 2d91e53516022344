// Tags written into the files of every writer by the finished-file hook,
// read back by independent readers: mutagen for every format but WAV
// (tag_view.py), ffprobe for WAV's INFO chunk, and beside them each
// format's own tool (metaflac, vorbiscomment) or ffprobe.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <tuple>
#include <type_traits>

#include "tests/support/FlacTools.h"
#include "tests/support/Mp3Tools.h"
#include "tests/support/OggTools.h"
#include "tests/support/TagViews.h"
#include "tests/support/TestSources.h"
#include "tests/support/WriterRun.h"
#include "writers/ACS_FLAC.h"
#include "writers/ACS_LAME.h"
#include "writers/ACS_MAC.h"
#include "writers/ACS_Vorbis.h"
#include "writers/ACS_Wave.h"
#include "writers/Tagger.h"

namespace cdx::test {
namespace {

using F = TTagField;
using TView = TTagView;
using TList = std::vector<std::string>;

auto Mutagen(const char* kind) {
  return [kind](const std::string& path) { return MutagenTagView(path, kind); };
}

std::vector<uint8_t> TestAudio() {
  return PcmBytes(Noise(88200, 2, 7, 9000));
}

std::shared_ptr<const TCoverPicture> TestCover() {
  std::vector<uint8_t> bytes = CountingBytes(20000);
  bytes[0] = 0xFF, bytes[1] = 0xD8, bytes[2] = 0xFF;
  std::string why;
  return TCoverPicture::FromBytes(std::move(bytes), why);
}

// A track as a lookup would describe it, and the names readers give each
// field; WAV's INFO chunk holds only the first six.
struct TFieldValue {
  F Field;
  const char* Name;
  TList Values;
};

const std::vector<TFieldValue> kLookedUp = {
    {F::Title, "title", {"Jóga – 夜の歌"}},
    {F::Artist, "artist", {"Björk"}},
    {F::Album, "album", {"Homogenic"}},
    {F::Date, "date", {"1997-09-22"}},
    {F::Genre, "genre", {"Electronic"}},
    {F::TrackNumber, "tracknumber", {"3"}},
    {F::TrackTotal, "tracktotal", {"12"}},
    {F::DiscNumber, "discnumber", {"1"}},
    {F::DiscTotal, "disctotal", {"2"}},
    {F::AlbumArtist, "albumartist", {"Björk & Friends"}},
    {F::Isrc, "isrc", {"GBAYE9700363"}},
    {F::Barcode, "barcode", {"0731455328025"}},
    {F::MusicBrainzAlbumId, "musicbrainz_albumid", {"f0d82e4e-9b1f"}},
    {F::MusicBrainzReleaseTrackId, "musicbrainz_releasetrackid", {"0a6e5d1c-1111"}},
    {F::MusicBrainzRecordingId, "musicbrainz_trackid", {"5c2f0d4e-2222"}},
    {F::MusicBrainzArtistId, "musicbrainz_artistid", {"87c5dedd-371d", "b1c2d3e4-3333"}},
    {F::MusicBrainzAlbumArtistId, "musicbrainz_albumartistid", {"87c5dedd-371d"}},
    {F::MusicBrainzReleaseGroupId, "musicbrainz_releasegroupid", {"c1d2e3f4-4444"}},
    {F::MusicBrainzDiscId, "musicbrainz_discid", {"49HHV7Eb8UKF3aQiNmu1GR8vKTY-"}},
};

TTrackTags LookedUpTags() {
  TTrackTags tags;
  for (const TFieldValue& field : kLookedUp) tags.Set(field.Field, field.Values);
  tags.TrackGain = TReplayGain{-6.52, 0.988525};
  tags.AlbumGain = TReplayGain{-7.014, 0.9999694};
  tags.Cover = TestCover();
  return tags;
}

// The file a writer makes of the test audio, tagged by the finished-file
// hook and copied out of the writer's folder; `untagged` gets the file as
// the writer left it.
template <class Writer>
std::string MakeTagged(const TTempDir& into, const std::string& name, TTagFormat format,
                       const TTrackTags& tags, std::vector<uint8_t>* untagged,
                       const std::function<void(Writer&)>& setup = {}) {
  TWriterRun<Writer> run(name, TestAudio(), 2, 44100, 16);
  // As the job does: room for the tags and the cover in the FLAC header.
  if constexpr (std::is_same_v<Writer, TFLACOut>) run.writer->SetPadding(FLACPaddingFor(tags));
  if (setup) setup(*run.writer);
  run.writer->SetFinishedFileHook([&](const std::string& part) {
    if (untagged) *untagged = ReadFile(part);
    WriteTags(part, format, tags);
  });
  const TRunEnd end = run.Run();
  EXPECT_EQ(end.Result, TRunResult::Done) << end.Message;
  const std::string path = into.File(name);
  WriteFile(path, ReadFile(run.file));
  return path;
}

// Opus files come from opusenc: the tagger knows the format by itself.
std::string MakeTaggedOpus(const TTempDir& into, const TTrackTags& tags,
                           std::vector<uint8_t>* untagged) {
  const std::string raw = into.File("opus.raw"), path = into.File("t.opus");
  WriteFile(raw, TestAudio());
  EXPECT_EQ(RunCommand("opusenc --quiet --raw --raw-rate 44100 " + raw + " " + path), 0);
  if (untagged) *untagged = ReadFile(path);
  WriteTags(path, TTagFormat::OggOpus, tags);
  return path;
}

struct TFormatCase {
  const char* Name;
  TTagFormat Format;
  std::function<std::string(const TTempDir&, const TTrackTags&, std::vector<uint8_t>*)> Make;
  // How an independent reader sees the file's tags.
  std::function<TView(const std::string&)> Read;
  // A second reader, and whether it must agree on every field or only on
  // title and artist (ffprobe renames the rest).
  std::function<TView(const std::string&)> Second;
  bool SecondSeesAll = false;
};

template <class T>
requires requires(const T& c) {
  c.Name;
}
void PrintTo(const T& c, std::ostream* out) {
  *out << c.Name;
}

template <class Writer>
auto Made(const char* name, TTagFormat format) {
  return [=](const TTempDir& into, const TTrackTags& tags, std::vector<uint8_t>* untagged) {
    return MakeTagged<Writer>(into, name, format, tags, untagged);
  };
}

auto Tool(const char* command) {
  return [=](const std::string& path) { return ToolTagView(command + ShellQuoted(path)); };
}

std::vector<TFormatCase> FormatCases() {
  using T = TTagFormat;
  return {
      {"wav", T::Wav, Made<TWaveOut>("t.wav", T::Wav), FfprobeTagView, FfprobeTagView},
      {"mp3", T::Mp3, Made<TMP3Out>("t.mp3", T::Mp3), Mutagen("mp3"), FfprobeTagView},
      {"ogg_vorbis", T::OggVorbis, Made<TVorbisOut>("t.ogg", T::OggVorbis), Mutagen("ogg"),
       Tool("vorbiscomment -l "), true},
      {"flac", T::Flac, Made<TFLACOut>("t.flac", T::Flac), Mutagen("flac"),
       Tool("metaflac --export-tags-to=- "), true},
      {"ape", T::Ape, Made<TMACOut>("t.ape", T::Ape), Mutagen("ape"), FfprobeTagView},
      {"opus", T::OggOpus, MakeTaggedOpus, Mutagen("ogg"), FfprobeTagView},
  };
}

class TagsInEveryFormat : public ::testing::TestWithParam<TFormatCase> {};

// What every format carries, under the readers' names; WAV's INFO chunk
// holds only the first six (ffprobe calls its track number "track").
TEST_P(TagsInEveryFormat, ReadBackByIndependentReaders) {
  const TFormatCase& c = GetParam();
  const TTrackTags tags = LookedUpTags();
  TTempDir dir;
  const std::string path = c.Make(dir, tags, nullptr);
  const TView view = c.Read(path);
  const bool wav = c.Format == TTagFormat::Wav;
  for (size_t i = 0; i < (wav ? 6 : kLookedUp.size()); ++i) {
    const std::string name = wav && i == 5 ? "track" : kLookedUp[i].Name;  // ffprobe's name
    EXPECT_EQ(TagValues(view, name), kLookedUp[i].Values) << name;
  }
  if (wav) return;
  EXPECT_EQ(TagValues(view, "picturemd5"),
            TList{Md5Hex({tags.Cover->Data().begin(), tags.Cover->Data().end()})});

  // The loudness: ReplayGain fields, or the R128 gains of Opus (Q7.8 dB to
  // -23 LUFS: -6.52 dB is -11.52 dB there; opusenc's output gain is 0).
  // Pictures are front covers; MP3's tag is ID3v2.4.
  TView more = {{"picturetype", "3"},
                {"picturemime", "image/jpeg"},
                {"id3version", "2.4"},
                {"replaygain_track_gain", "-6.52 dB"},
                {"replaygain_track_peak", "0.988525"},
                {"replaygain_album_gain", "-7.01 dB"},
                {"replaygain_album_peak", "0.999969"},
                {"r128_track_gain", "-2949"},
                {"r128_album_gain", "-3076"}};
  const bool opus = c.Format == TTagFormat::OggOpus;
  std::erase_if(more, [&](const auto& entry) {
    const std::string& name = entry.first;
    return (name.starts_with("picture") && c.Format == TTagFormat::Ape) ||
           (name == "id3version" && c.Format != TTagFormat::Mp3) ||
           (name.starts_with("replaygain") && opus) || (name.starts_with("r128") && !opus);
  });
  for (const auto& [name, value] : more) EXPECT_EQ(TagValues(view, name), TList{value}) << name;
  EXPECT_EQ(opus ? view.count("replaygain_track_gain") : view.count("r128_track_gain"), 0u);

  const TView second = c.Second(path);
  for (const auto& [name, value] : c.SecondSeesAll ? view : TView{}) {
    if (name.starts_with("picture")) continue;
    EXPECT_EQ(TagValues(second, name), TagValues(view, name)) << name;
  }
  EXPECT_EQ(TagValues(second, "title"), TagValues(view, "title"));
  EXPECT_EQ(TagValues(second, "artist"), TagValues(view, "artist"));
}

INSTANTIATE_TEST_SUITE_P(Tagger, TagsInEveryFormat, ::testing::ValuesIn(FormatCases()),
                         [](const auto& info) { return std::string(info.param.Name); });

// What the user typed (the MP3 dialog's ID3v1 fields, the Ogg comment
// lines) wins over what was looked up, whichever came first; the ID3v1
// fields the user left empty get the looked-up values.
TEST(UserTypedTags, WinOverLookedUpOnes) {
  TTempDir dir;
  const TMP3Tags typed{.Title = "Typed Title", .Year = "1999"};
  TTrackTags mp3 = LookedUpTags();
  ApplyUserTags(mp3, typed);
  const TView mp3View = Mutagen("mp3")(MakeTagged<TMP3Out>(
      dir, "u.mp3", TTagFormat::Mp3, mp3, nullptr, [&](TMP3Out& w) { w.SetId3Tags(typed); }));

  const std::vector<std::string> lines{"artist=Typed Artist", "Made with cd extractor"};
  TTrackTags ogg;
  ApplyUserComments(ogg, VorbisCommentFields(lines));
  ogg.Set(F::Artist, "Looked-up Artist");
  ogg.Set(F::Title, "Looked-up Title");
  ogg.Set(F::Comment, "Looked-up comment");
  const TView oggView = Tool("vorbiscomment -l ")(
      MakeTagged<TVorbisOut>(dir, "u.ogg", TTagFormat::OggVorbis, ogg, nullptr,
                             [&](TVorbisOut& w) { w.SetComments(lines); }));

  const std::vector<std::tuple<const TView*, std::string, std::string>> expected = {
      {&mp3View, "title", "Typed Title"},
      {&mp3View, "v1title", "Typed Title"},
      {&mp3View, "date", "1999"},
      {&mp3View, "v1year", "1999"},
      {&mp3View, "artist", "Björk"},
      {&mp3View, "v1artist", "Björk"},
      {&mp3View, "v1track", "3"},
      {&oggView, "artist", "Typed Artist"},
      {&oggView, "title", "Looked-up Title"},
      {&oggView, "comment", "Made with cd extractor"}};
  for (const auto& [view, name, value] : expected)
    EXPECT_EQ(TagValues(*view, name), TList{value}) << name;
}

// Where the audio bytes stand, whole, in the file at `path`; -1: nowhere.
int64_t AudioOffset(const std::vector<uint8_t>& audio, const std::string& path) {
  const std::vector<uint8_t> file = ReadFile(path);
  const auto at = std::search(file.begin(), file.end(), audio.begin(), audio.end());
  return at == file.end() ? -1 : at - file.begin();
}

class AlbumGainUpdate : public ::testing::TestWithParam<TFormatCase> {};

// Tagging at the end of a run (FLAC: into the padding asked for at encode
// time) and the album-gain update afterwards rewrite no audio byte; MP3's
// first tag moves the audio of the hidden file as a whole, and the Ogg
// update rewrites pages but keeps every sample.
TEST_P(AlbumGainUpdate, RewritesNoAudioByte) {
  const TFormatCase& c = GetParam();
  TTrackTags tags = LookedUpTags();
  tags.TrackGain.reset();
  tags.AlbumGain.reset();
  TTempDir dir;
  std::vector<uint8_t> untagged;
  const std::string path = c.Make(dir, tags, &untagged);
  const std::string untaggedPath = dir.File("untagged");
  WriteFile(untaggedPath, untagged);
  // The audio: FLAC's frames, or all the MP3 and APE writers wrote.
  const std::vector<uint8_t> audio =
      c.Format == TTagFormat::Flac ? FlacFrames(untaggedPath) : untagged;
  const bool ogg = c.Format == TTagFormat::OggVorbis;
  const int64_t at = AudioOffset(audio, path);
  if (ogg) {
    EXPECT_EQ(DecodeWithOggdec(path), DecodeWithOggdec(untaggedPath));
  } else {
    EXPECT_GE(at, 0);
    EXPECT_TRUE(c.Format == TTagFormat::Mp3 || at == AudioOffset(audio, untaggedPath));
  }

  WriteGains(path, c.Format, TReplayGain{-6.52, 0.988525}, TReplayGain{-7.014, 0.9999694});
  const TView view = c.Read(path);
  EXPECT_EQ(TagValues(view, "replaygain_album_gain"), TList{"-7.01 dB"});
  EXPECT_EQ(TagValues(view, "replaygain_track_gain"), TList{"-6.52 dB"});
  EXPECT_EQ(TagValues(view, "picturemd5"),
            TList{Md5Hex({tags.Cover->Data().begin(), tags.Cover->Data().end()})});
  if (ogg) {
    EXPECT_EQ(DecodeWithOggdec(path), DecodeWithOggdec(untaggedPath));
    EXPECT_TRUE(OggInfo(path).Clean()) << OggInfo(path).Output;
  } else {
    EXPECT_EQ(AudioOffset(audio, path), at);
  }
  if (c.Format == TTagFormat::Mp3) {
    EXPECT_EQ(DecodeMp3(path).Frames, DecodeMp3(untaggedPath).Frames);
  }
  if (c.Format == TTagFormat::Flac) {
    EXPECT_TRUE(FlacTestPasses(path));
  }
}

// WAV holds no gains, and Opus is tagged the Ogg way.
std::vector<TFormatCase> UpdatedFormats() {
  std::vector<TFormatCase> cases = FormatCases();
  std::erase_if(cases, [](const auto& c) {
    return c.Format == TTagFormat::Wav || c.Format == TTagFormat::OggOpus;
  });
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Tagger, AlbumGainUpdate, ::testing::ValuesIn(UpdatedFormats()),
                         [](const auto& info) { return std::string(info.param.Name); });

// A tagging that fails fails the run like any other failure: no file takes
// the name, the earlier file of that name stays, no part file is left. A
// run that fails before its end is not tagged at all.
TEST(FinishedFileHook, FailureLeavesTheEarlierFile) {
  const std::vector<uint8_t> earlier{'e', 'a', 'r', 'l', 'i', 'e', 'r'};
  const std::vector<std::tuple<std::function<void(const std::string&)>, int64_t, std::string>>
      cases = {
          {[](const std::string&) { throw EACSException("disk on fire"); }, -1, "disk on fire"},
          {[](const std::string& part) { WriteTags(part, TTagFormat::Flac, LookedUpTags()); }, -1,
           "Cannot write the tags: TagLib does not read the file as FLAC"},
          {[](const std::string&) {}, 40000, "read failed"},  // the run fails first
      };
  for (const auto& [hook, failAt, message] : cases) {
    TWriterRun<TWaveOut> run("t.wav", TestAudio(), 2, 44100, 16);
    WriteFile(run.file, earlier);
    run.source->FailAtByte = failAt;
    int calls = 0;
    run.writer->SetFinishedFileHook([&, &hook = hook](const std::string& part) {
      ++calls;
      hook(part);
    });
    const TRunEnd end = run.Run();
    EXPECT_EQ(end.Result, TRunResult::Failed);
    EXPECT_NE(end.Message.find(message), std::string::npos) << end.Message;
    EXPECT_EQ(calls, failAt < 0 ? 1 : 0);
    EXPECT_EQ(ReadFile(run.file), earlier);
    EXPECT_TRUE(PartFilesIn(run.dir.Path()).empty());
  }
}

// An album-gain update that cannot be made (here: the copy an Ogg file is
// tagged in hits a full disk) says why, naming the file, and leaves it.
TEST(AlbumGainUpdateFailure, LeavesTheFileAsItWas) {
  TTempDir dir;
  const std::string path =
      MakeTagged<TVorbisOut>(dir, "t.ogg", TTagFormat::OggVorbis, LookedUpTags(), nullptr);
  const std::vector<uint8_t> before = ReadFile(path);
  try {
    TFileSizeLimit full(before.size() / 2);
    WriteGains(path, TTagFormat::OggVorbis, std::nullopt, TReplayGain{-1.0, 0.5});
    ADD_FAILURE() << "no failure";
  } catch (const EACSException& e) {
    EXPECT_NE(std::string(e.what()).find("ReplayGain tags into \"" + path + "\""),
              std::string::npos)
        << e.what();
    EXPECT_NE(std::string(e.what()).find("File too large"), std::string::npos) << e.what();
  }
  EXPECT_EQ(ReadFile(path), before);
  EXPECT_TRUE(PartFilesIn(dir.Path()).empty());
}

// Only JPEG and PNG pictures of at most a few MB are embedded; the
// reason for a refusal is one line.
TEST(CoverPicture, RefusesWhatCannotBeEmbedded) {
  std::vector<uint8_t> huge(50 << 20, 0);
  huge[0] = 0xFF, huge[1] = 0xD8, huge[2] = 0xFF;
  const std::vector<std::tuple<std::vector<uint8_t>, std::string, std::string>> cases = {
      {huge, "",
       "the cover is not embedded: it is 52428800 bytes, more than the 4194304 a "
       "picture may have"},
      {{'<', 'h', 't', 'm', 'l', '>'},
       "",
       "the cover is not embedded: it is not a JPEG or PNG picture"},
      {{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0}, "image/png", ""},
      {{0xFF, 0xD8, 0xFF, 0xE0}, "image/jpeg", ""},
  };
  for (const auto& [bytes, mime, reason] : cases) {
    std::string why;
    const auto picture = TCoverPicture::FromBytes(bytes, why);
    EXPECT_EQ(picture ? picture->MimeType() : "", mime);
    EXPECT_EQ(why, reason);
  }
}

}  // namespace
}  // namespace cdx::test
