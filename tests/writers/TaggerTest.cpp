// Tags written into the files of every writer by the finished-file hook,
// read back by independent readers: mutagen for every format but WAV
// (tag_view.py), ffprobe for WAV's INFO chunk, and beside them each
// format's own tool (metaflac, vorbiscomment) or ffprobe.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <sstream>

#include "tests/support/FlacTools.h"
#include "tests/support/Mp3Tools.h"
#include "tests/support/OggTools.h"
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
using TView = std::multimap<std::string, std::string>;

std::string Quoted(const std::string& path) {
  return "'" + path + "'";
}

TView ParseLines(const std::string& text, const std::string& prefix = "") {
  TView view;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (!line.starts_with(prefix)) continue;
    line = line.substr(prefix.size());
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    std::string name = line.substr(0, equals);
    std::transform(name.begin(), name.end(), name.begin(), ::tolower);
    view.emplace(name, line.substr(equals + 1));
  }
  return view;
}

std::vector<std::string> ValuesOf(const TView& view, const std::string& name) {
  std::vector<std::string> values;
  auto [from, to] = view.equal_range(name);
  for (auto it = from; it != to; ++it) values.push_back(it->second);
  std::sort(values.begin(), values.end());
  return values;
}

// mutagen's reading of the file, through /usr/bin/python3.
TView MutagenView(const std::string& path, const std::string& kind) {
  std::string out;
  EXPECT_EQ(RunCommand("/usr/bin/python3 " CDX_SOURCE_DIR "/tests/writers/tag_view.py " +
                           Quoted(path) + " " + kind,
                       &out),
            0)
      << out;
  return ParseLines(out);
}

TView FfprobeView(const std::string& path) {
  std::string out;
  RunCommand(
      "ffprobe -v error -show_entries format_tags:stream_tags -of default=nw=1 " + Quoted(path),
      &out);
  return ParseLines(out, "TAG:");
}

TView ToolView(const std::string& command) {
  std::string out;
  EXPECT_EQ(RunCommand(command, &out), 0) << out;
  return ParseLines(out);
}

std::vector<uint8_t> TestAudio() {
  auto samples = SineWave(88200, 2, 440.0, 44100, 9000.0);
  auto noise = Noise(20000, 2, 7, 4000);
  std::copy(noise.begin(), noise.end(), samples.begin() + 60000);
  return PcmBytes(samples);
}

std::shared_ptr<const TCoverPicture> TestCover() {
  std::vector<uint8_t> bytes = CountingBytes(20000);
  bytes[0] = 0xFF, bytes[1] = 0xD8, bytes[2] = 0xFF;
  std::string why;
  return TCoverPicture::FromBytes(std::move(bytes), why);
}

std::string Md5Of(const std::vector<uint8_t>& bytes) {
  return Md5Hex(bytes);
}

// A track as a lookup would describe it, with its gains and cover.
TTrackTags LookedUpTags() {
  TTrackTags tags;
  tags.Set(F::Title, "Jóga – 夜の歌");
  tags.Set(F::Artist, "Björk");
  tags.Set(F::Album, "Homogenic");
  tags.Set(F::AlbumArtist, "Björk & Friends");
  tags.Set(F::TrackNumber, "3");
  tags.Set(F::TrackTotal, "12");
  tags.Set(F::DiscNumber, "1");
  tags.Set(F::DiscTotal, "2");
  tags.Set(F::Date, "1997-09-22");
  tags.Set(F::Genre, "Electronic");
  tags.Set(F::Isrc, "GBAYE9700363");
  tags.Set(F::Barcode, "0731455328025");
  tags.Set(F::MusicBrainzAlbumId, "f0d82e4e-9b1f-4a4c-9f0c-5d4f4f1c2a11");
  tags.Set(F::MusicBrainzReleaseTrackId, "0a6e5d1c-1111-4b5e-8d2a-7c4b1a2e3f44");
  tags.Set(F::MusicBrainzRecordingId, "5c2f0d4e-2222-4c6a-9a1b-8e7d6c5b4a33");
  tags.Set(F::MusicBrainzArtistId,
           std::vector<std::string>{"87c5dedd-371d-4a53-9f7f-80522fb7f3cb",
                                    "b1c2d3e4-3333-4f5a-8b6c-7d8e9f0a1b22"});
  tags.Set(F::MusicBrainzAlbumArtistId, "87c5dedd-371d-4a53-9f7f-80522fb7f3cb");
  tags.Set(F::MusicBrainzReleaseGroupId, "c1d2e3f4-4444-4a5b-9c6d-7e8f9a0b1c55");
  tags.Set(F::MusicBrainzDiscId, "49HHV7Eb8UKF3aQiNmu1GR8vKTY-");
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

void PrintTo(const TFormatCase& c, std::ostream* out) {
  *out << c.Name;
}

auto Mutagen(const char* kind) {
  return [kind](const std::string& path) { return MutagenView(path, kind); };
}

std::vector<TFormatCase> FormatCases() {
  return {
      {"wav", TTagFormat::Wav,
       [](auto& d, auto& t, auto* u) {
         return MakeTagged<TWaveOut>(d, "t.wav", TTagFormat::Wav, t, u);
       },
       FfprobeView, FfprobeView},
      {"mp3", TTagFormat::Mp3,
       [](auto& d, auto& t, auto* u) {
         return MakeTagged<TMP3Out>(d, "t.mp3", TTagFormat::Mp3, t, u);
       },
       Mutagen("mp3"), FfprobeView},
      {"ogg_vorbis", TTagFormat::OggVorbis,
       [](auto& d, auto& t, auto* u) {
         return MakeTagged<TVorbisOut>(d, "t.ogg", TTagFormat::OggVorbis, t, u);
       },
       Mutagen("ogg"),
       [](const std::string& p) { return ToolView("vorbiscomment -l " + Quoted(p)); }, true},
      {"flac", TTagFormat::Flac,
       [](auto& d, auto& t, auto* u) {
         return MakeTagged<TFLACOut>(d, "t.flac", TTagFormat::Flac, t, u,
                                     [&t](TFLACOut& w) { w.SetPadding(FLACPaddingFor(t)); });
       },
       Mutagen("flac"),
       [](const std::string& p) { return ToolView("metaflac --export-tags-to=- " + Quoted(p)); },
       true},
      {"ape", TTagFormat::Ape,
       [](auto& d, auto& t, auto* u) {
         return MakeTagged<TMACOut>(d, "t.ape", TTagFormat::Ape, t, u);
       },
       Mutagen("ape"), FfprobeView},
      {"opus", TTagFormat::OggOpus, MakeTaggedOpus, Mutagen("ogg"), FfprobeView},
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
  const std::vector<std::pair<std::string, std::vector<std::string>>> expected = {
      {"title", {"Jóga – 夜の歌"}},
      {"artist", {"Björk"}},
      {"album", {"Homogenic"}},
      {"date", {"1997-09-22"}},
      {"genre", {"Electronic"}},
      {wav ? "track" : "tracknumber", {"3"}},
      {"tracktotal", {"12"}},
      {"discnumber", {"1"}},
      {"disctotal", {"2"}},
      {"albumartist", {"Björk & Friends"}},
      {"isrc", {"GBAYE9700363"}},
      {"barcode", {"0731455328025"}},
      {"musicbrainz_albumid", {"f0d82e4e-9b1f-4a4c-9f0c-5d4f4f1c2a11"}},
      {"musicbrainz_releasetrackid", {"0a6e5d1c-1111-4b5e-8d2a-7c4b1a2e3f44"}},
      {"musicbrainz_trackid", {"5c2f0d4e-2222-4c6a-9a1b-8e7d6c5b4a33"}},
      {"musicbrainz_artistid",
       {"87c5dedd-371d-4a53-9f7f-80522fb7f3cb", "b1c2d3e4-3333-4f5a-8b6c-7d8e9f0a1b22"}},
      {"musicbrainz_albumartistid", {"87c5dedd-371d-4a53-9f7f-80522fb7f3cb"}},
      {"musicbrainz_releasegroupid", {"c1d2e3f4-4444-4a5b-9c6d-7e8f9a0b1c55"}},
      {"musicbrainz_discid", {"49HHV7Eb8UKF3aQiNmu1GR8vKTY-"}},
      {"picturemd5", {Md5Of(tags.Cover->Data())}},
  };
  const size_t carried = wav ? 6 : expected.size();
  for (size_t i = 0; i < carried; ++i)
    EXPECT_EQ(ValuesOf(view, expected[i].first), expected[i].second) << expected[i].first;
  if (wav) return;

  // The loudness: ReplayGain fields, or the R128 gains of Opus (Q7.8 dB to
  // -23 LUFS: -6.52 dB is -11.52 dB there; opusenc's output gain is 0).
  if (c.Format == TTagFormat::OggOpus) {
    EXPECT_EQ(ValuesOf(view, "r128_track_gain"), std::vector<std::string>{"-2949"});
    EXPECT_EQ(ValuesOf(view, "r128_album_gain"), std::vector<std::string>{"-3076"});
    EXPECT_EQ(view.count("replaygain_track_gain"), 0u);
  } else {
    EXPECT_EQ(ValuesOf(view, "replaygain_track_gain"), std::vector<std::string>{"-6.52 dB"});
    EXPECT_EQ(ValuesOf(view, "replaygain_track_peak"), std::vector<std::string>{"0.988525"});
    EXPECT_EQ(ValuesOf(view, "replaygain_album_gain"), std::vector<std::string>{"-7.01 dB"});
    EXPECT_EQ(ValuesOf(view, "replaygain_album_peak"), std::vector<std::string>{"0.999969"});
  }
  if (c.Format != TTagFormat::Ape) {
    EXPECT_EQ(ValuesOf(view, "picturetype"), std::vector<std::string>{"3"});
    EXPECT_EQ(ValuesOf(view, "picturemime"), std::vector<std::string>{"image/jpeg"});
  }
  if (c.Format == TTagFormat::Mp3) {
    EXPECT_EQ(ValuesOf(view, "id3version"), std::vector<std::string>{"2.4"});
  }

  const TView second = c.Second(path);
  for (const auto& [name, value] : c.SecondSeesAll ? view : TView{}) {
    if (name.starts_with("picture")) continue;
    EXPECT_EQ(ValuesOf(second, name), ValuesOf(view, name)) << name;
  }
  EXPECT_EQ(ValuesOf(second, "title"), ValuesOf(view, "title"));
  EXPECT_EQ(ValuesOf(second, "artist"), ValuesOf(view, "artist"));
}

INSTANTIATE_TEST_SUITE_P(Tagger, TagsInEveryFormat, ::testing::ValuesIn(FormatCases()),
                         [](const auto& info) { return std::string(info.param.Name); });

// What the user typed (the MP3 dialog's ID3v1 fields, the Ogg comment
// lines) wins over what was looked up, whichever came first; the ID3v1
// fields the user left empty get the looked-up values.
struct TUserCase {
  const char* Name;
  std::function<std::string(const TTempDir&)> Make;
  std::function<TView(const std::string&)> Read;
  std::vector<std::pair<std::string, std::vector<std::string>>> Expected;
};

void PrintTo(const TUserCase& c, std::ostream* out) {
  *out << c.Name;
}

std::vector<TUserCase> UserCases() {
  return {
      {"mp3_dialog",
       [](const TTempDir& dir) {
         const TMP3Tags typed{.Title = "Typed Title", .Year = "1999"};
         TTrackTags tags = LookedUpTags();
         ApplyUserTags(tags, typed);
         return MakeTagged<TMP3Out>(dir, "u.mp3", TTagFormat::Mp3, tags, nullptr,
                                    [&](TMP3Out& w) { w.SetId3Tags(typed); });
       },
       Mutagen("mp3"),
       {{"title", {"Typed Title"}},
        {"v1title", {"Typed Title"}},
        {"date", {"1999"}},
        {"v1year", {"1999"}},
        {"artist", {"Björk"}},
        {"v1artist", {"Björk"}},
        {"v1track", {"3"}}}},
      {"ogg_comment_lines",
       [](const TTempDir& dir) {
         const std::vector<std::string> lines{"artist=Typed Artist", "Made with cd extractor"};
         TTrackTags tags;
         ApplyUserComments(tags, VorbisCommentFields(lines));
         tags.Set(F::Artist, "Looked-up Artist");
         tags.Set(F::Title, "Looked-up Title");
         tags.Set(F::Comment, "Looked-up comment");
         return MakeTagged<TVorbisOut>(dir, "u.ogg", TTagFormat::OggVorbis, tags, nullptr,
                                       [&](TVorbisOut& w) { w.SetComments(lines); });
       },
       [](const std::string& p) { return ToolView("vorbiscomment -l " + Quoted(p)); },
       {{"artist", {"Typed Artist"}},
        {"title", {"Looked-up Title"}},
        {"comment", {"Made with cd extractor"}}}},
  };
}

class UserTypedTags : public ::testing::TestWithParam<TUserCase> {};

TEST_P(UserTypedTags, WinOverLookedUpOnes) {
  TTempDir dir;
  const TView view = GetParam().Read(GetParam().Make(dir));
  for (const auto& [name, values] : GetParam().Expected)
    EXPECT_EQ(ValuesOf(view, name), values) << name;
}

INSTANTIATE_TEST_SUITE_P(Tagger, UserTypedTags, ::testing::ValuesIn(UserCases()),
                         [](const auto& info) { return std::string(info.param.Name); });

// The audio of a file, where it starts, as the formats lay it out: FLAC
// frames after the metadata, MP3 frames between the ID3v2 tag and the
// ID3v1 tag, APE audio before its tag (as long as the untagged file).
struct TAudioBytes {
  int64_t Offset = -1;
  std::vector<uint8_t> Bytes;
  bool operator==(const TAudioBytes&) const = default;
};

TAudioBytes AudioOf(TTagFormat format, const std::string& path, size_t untaggedSize) {
  const std::vector<uint8_t> file = ReadFile(path);
  if (format == TTagFormat::Flac) {
    std::vector<uint8_t> frames = FlacFrames(path);
    return {static_cast<int64_t>(file.size() - frames.size()), std::move(frames)};
  }
  size_t start = 0, end = std::min(untaggedSize, file.size());
  if (format == TTagFormat::Mp3) {
    if (file.size() > 10 && std::equal(file.begin(), file.begin() + 3, "ID3"))
      start = 10 + ((file[6] << 21) | (file[7] << 14) | (file[8] << 7) | file[9]);
    end = file.size() >= 128 && std::equal(file.end() - 128, file.end() - 125, "TAG")
              ? file.size() - 128
              : file.size();
  }
  return {static_cast<int64_t>(start), {file.begin() + start, file.begin() + end}};
}

class AlbumGainUpdate : public ::testing::TestWithParam<TFormatCase> {};

// Tagging at the end of a run (FLAC: into the padding asked for at encode
// time) and the album-gain update afterwards rewrite no audio byte; MP3's
// first tag moves the audio of the hidden file as a whole, and the Ogg
// update rewrites pages but keeps every sample.
TEST_P(AlbumGainUpdate, RewritesNoAudioByte) {
  const TFormatCase& c = GetParam();
  TTrackTags tags = LookedUpTags();
  tags.AlbumGain.reset();
  TTempDir dir;
  std::vector<uint8_t> untagged;
  const std::string path = c.Make(dir, tags, &untagged);
  const std::string untaggedPath = dir.File("untagged");
  WriteFile(untaggedPath, untagged);
  const auto audio = [&](const std::string& p) { return AudioOf(c.Format, p, untagged.size()); };
  const bool ogg = c.Format == TTagFormat::OggVorbis;
  const TAudioBytes tagged = audio(path);
  const TAudioBytes before = audio(untaggedPath);
  if (ogg) {
    EXPECT_EQ(DecodeWithOggdec(path), DecodeWithOggdec(untaggedPath));
  } else {
    EXPECT_EQ(tagged.Bytes, before.Bytes);
    if (c.Format != TTagFormat::Mp3) {
      EXPECT_EQ(tagged.Offset, before.Offset);
    }
  }

  WriteAlbumGain(path, c.Format, {-7.014, 0.9999694});
  const TView view = c.Read(path);
  EXPECT_EQ(ValuesOf(view, "replaygain_album_gain"), std::vector<std::string>{"-7.01 dB"});
  EXPECT_EQ(ValuesOf(view, "replaygain_track_gain"), std::vector<std::string>{"-6.52 dB"});
  EXPECT_EQ(ValuesOf(view, "picturemd5"), std::vector<std::string>{Md5Of(tags.Cover->Data())});
  if (ogg) {
    EXPECT_EQ(DecodeWithOggdec(path), DecodeWithOggdec(untaggedPath));
    EXPECT_TRUE(OggInfo(path).Clean()) << OggInfo(path).Output;
  } else {
    EXPECT_EQ(audio(path), tagged);
  }
  if (c.Format == TTagFormat::Mp3) {
    EXPECT_EQ(DecodeMp3(path).Frames, DecodeMp3(untaggedPath).Frames);
  }
  if (c.Format == TTagFormat::Flac) {
    EXPECT_TRUE(FlacTestPasses(path));
  }
}

std::vector<TFormatCase> UpdatedFormats() {
  std::vector<TFormatCase> cases;
  for (TFormatCase& c : FormatCases())
    if (c.Format == TTagFormat::Flac || c.Format == TTagFormat::Mp3 ||
        c.Format == TTagFormat::Ape || c.Format == TTagFormat::OggVorbis)
      cases.push_back(std::move(c));
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Tagger, AlbumGainUpdate, ::testing::ValuesIn(UpdatedFormats()),
                         [](const auto& info) { return std::string(info.param.Name); });

// A tagging that fails fails the run like any other failure: no file takes
// the name, the earlier file of that name stays, no part file is left. A
// run that fails before its end is not tagged at all.
struct THookCase {
  const char* Name;
  std::function<void(const std::string& part)> Hook;
  int64_t FailAtByte;
  const char* Message;
};

void PrintTo(const THookCase& c, std::ostream* out) {
  *out << c.Name;
}

class FinishedFileHook : public ::testing::TestWithParam<THookCase> {};

TEST_P(FinishedFileHook, FailureLeavesTheEarlierFile) {
  TWriterRun<TWaveOut> run("t.wav", TestAudio(), 2, 44100, 16);
  WriteFile(run.file, {'e', 'a', 'r', 'l', 'i', 'e', 'r'});
  run.source->FailAtByte = GetParam().FailAtByte;
  int calls = 0;
  run.writer->SetFinishedFileHook([&](const std::string& part) {
    ++calls;
    GetParam().Hook(part);
  });
  const TRunEnd end = run.Run();
  EXPECT_EQ(end.Result, TRunResult::Failed);
  EXPECT_NE(end.Message.find(GetParam().Message), std::string::npos) << end.Message;
  EXPECT_EQ(calls, GetParam().FailAtByte < 0 ? 1 : 0);
  EXPECT_EQ(ReadFile(run.file), (std::vector<uint8_t>{'e', 'a', 'r', 'l', 'i', 'e', 'r'}));
  EXPECT_TRUE(PartFilesIn(run.dir.Path()).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Tagger, FinishedFileHook,
    ::testing::Values(
        THookCase{"hook_raises", [](const std::string&) { throw EACSException("disk on fire"); },
                  -1, "disk on fire"},
        THookCase{
            "file_is_not_of_the_format",
            [](const std::string& part) { WriteTags(part, TTagFormat::Flac, LookedUpTags()); }, -1,
            "Cannot write the tags: TagLib does not read the file as FLAC"},
        THookCase{"run_fails_first", [](const std::string&) {}, 40000, "read failed"}),
    [](const auto& info) { return std::string(info.param.Name); });

// An album-gain update that cannot be made (here: the copy an Ogg file is
// tagged in hits a full disk) says why, naming the file, and leaves it.
TEST(AlbumGainUpdateFailure, LeavesTheFileAsItWas) {
  TTempDir dir;
  const std::string path =
      MakeTagged<TVorbisOut>(dir, "t.ogg", TTagFormat::OggVorbis, LookedUpTags(), nullptr);
  const std::vector<uint8_t> before = ReadFile(path);
  try {
    TFileSizeLimit full(before.size() / 2);
    WriteAlbumGain(path, TTagFormat::OggVorbis, {-1.0, 0.5});
    ADD_FAILURE() << "no failure";
  } catch (const EACSException& e) {
    EXPECT_NE(std::string(e.what()).find("album gain into \"" + path + "\""), std::string::npos)
        << e.what();
    EXPECT_NE(std::string(e.what()).find("File too large"), std::string::npos) << e.what();
  }
  EXPECT_EQ(ReadFile(path), before);
  EXPECT_TRUE(PartFilesIn(dir.Path()).empty());
}

// Only JPEG and PNG pictures of at most a few MB are embedded.
TEST(CoverPicture, RefusesWhatCannotBeEmbedded) {
  struct TCase {
    std::vector<uint8_t> Bytes;
    const char* Mime;  // null: refused
    const char* Why;
  };
  std::vector<uint8_t> huge(50 << 20, 0);
  huge[0] = 0xFF, huge[1] = 0xD8, huge[2] = 0xFF;
  const std::vector<TCase> cases = {
      {huge, nullptr, "it is 52428800 bytes, more than the 4194304"},
      {{'<', 'h', 't', 'm', 'l', '>'}, nullptr, "it is not a JPEG or PNG picture"},
      {{}, nullptr, "it is not a JPEG or PNG picture"},
      {{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0}, "image/png", ""},
      {{0xFF, 0xD8, 0xFF, 0xE0}, "image/jpeg", ""},
  };
  for (const TCase& c : cases) {
    std::string why;
    auto picture = TCoverPicture::FromBytes(c.Bytes, why);
    EXPECT_EQ(picture != nullptr, c.Mime != nullptr) << why;
    if (picture) {
      EXPECT_EQ(picture->MimeType(), c.Mime);
    }
    EXPECT_NE(why.find(c.Why), std::string::npos) << why;
    EXPECT_EQ(why.find('\n'), std::string::npos);
  }
}

}  // namespace
}  // namespace cdx::test
