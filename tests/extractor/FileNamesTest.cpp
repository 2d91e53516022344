// File names: the sanitiser against hostile names, the template's
// expansion, the names of a whole job told apart, and the names that
// cannot be.
#include <gtest/gtest.h>

#include "extractor/FileNames.h"
#include "pipeline/FileStream.h"

namespace cdx::test {
namespace {

using F = TTagField;

std::string Repeat(const std::string& text, size_t times) {
  std::string out;
  for (size_t i = 0; i < times; ++i) out += text;
  return out;
}

struct THostileCase {
  const char* Name;
  std::string Input;
  std::string Expected;
};

template <class T>
requires requires(const T& c) {
  c.Name;
}
void PrintTo(const T& c, std::ostream* out) {
  *out << c.Name;
}

class HostileName : public ::testing::TestWithParam<THostileCase> {};

// Every result is a single visible component that fits 255 bytes with the
// hidden part file's additions, never cut inside a character.
TEST_P(HostileName, BecomesASafeFileName) {
  const std::string name = SafeFileName(GetParam().Input, ".flac", "Track07");
  EXPECT_EQ(name, GetParam().Expected);
  EXPECT_LE(TemporaryNameBytes(name.size()), 255u);
  EXPECT_LE(name.size(), 255u);
}

INSTANTIATE_TEST_SUITE_P(
    FileNames, HostileName,
    ::testing::Values(
        THostileCase{"slash_and_colon", "AC/DC: Back In Black", "AC_DC: Back In Black.flac"},
        THostileCase{"dot_dot", "..", "_.flac"}, THostileCase{"only_dots", "....", "_.flac"},
        THostileCase{"hidden", ".hidden", "_hidden.flac"},
        THostileCase{"newline_and_tab", "line\nbreak\ttab", "line_break_tab.flac"},
        THostileCase{"nul", std::string("nul\0x", 5), "nul_x.flac"},
        THostileCase{"delete_and_c1_control", "a\x7F\xC2\x85z", "a__z.flac"},
        THostileCase{"latin1_bytes", "caf\xE9", "caf_.flac"},
        THostileCase{"overlong_slash", "x\xC0\xAFy", "x__y.flac"},
        THostileCase{"trailing_dots_and_spaces", "The End. . ", "The End.flac"},
        THostileCase{"only_spaces", "   ", "Track07.flac"},
        THostileCase{"ascii_300", std::string(300, 'a'), std::string(250, 'a') + ".flac"},
        THostileCase{"three_byte_300", Repeat("夜", 100), Repeat("夜", 83) + ".flac"},
        THostileCase{"four_byte_320", Repeat("🎵", 80), Repeat("🎵", 62) + ".flac"},
        THostileCase{"cut_leaves_a_trailing_space", std::string(249, 'b') + " cd",
                     std::string(249, 'b') + ".flac"}),
    [](const auto& info) { return std::string(info.param.Name); });

TTrackTags NamedTrack() {
  TTrackTags tags;
  tags.Set(F::AlbumArtist, "Björk");
  tags.Set(F::Album, "Homogenic");
  tags.Set(F::Title, "Jóga");
  tags.Set(F::Date, "1997-09-22");
  tags.Set(F::DiscNumber, "1");
  tags.Set(F::DiscTotal, "2");
  return tags;
}

struct TTemplateCase {
  const char* Name;
  std::string Template;
  std::vector<std::pair<F, std::string>> Changes;  // to NamedTrack
  std::string DiscId;
  std::string Expected;
};

class Template : public ::testing::TestWithParam<TTemplateCase> {};

TEST_P(Template, Expands) {
  const TTemplateCase& c = GetParam();
  TTrackTags tags = NamedTrack();
  for (const auto& [field, value] : c.Changes) tags.Set(field, value);
  const auto names = NameJobFiles({c.Template, "/music", ".flac", c.DiscId, ""}, {{3, &tags}});
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names[0].Problem, "");
  EXPECT_EQ(names[0].RelativePath, c.Expected);
  EXPECT_EQ(names[0].Path, "/music/" + c.Expected);
}

const std::vector<std::pair<F, std::string>> kNoNames = {{F::Title, ""}, {F::Album, ""}};

INSTANTIATE_TEST_SUITE_P(
    FileNames, Template,
    ::testing::Values(
        TTemplateCase{
            "default", kDefaultTemplate, {}, "", "Björk/Homogenic (Disc 1 of 2)/03 Jóga.flac"},
        TTemplateCase{
            "year_album_artist_number", "%y/%D/%a - %n", {}, "", "1997/Homogenic/Björk - 03.flac"},
        TTemplateCase{"unknown_folder_left_out", "%A/%c/%t", {}, "", "Björk/Jóga.flac"},
        TTemplateCase{"percent_and_extension", "100%% %n.%x", {}, "", "100% 03.flac"},
        TTemplateCase{"climbing_out", "/../%t", {}, "", "_/Jóga.flac"},
        TTemplateCase{"slash_and_a_long_folder",
                      "%D/%t",
                      {{F::Title, "AC/DC"}, {F::Album, std::string(300, 'h')}},
                      "",
                      std::string(255, 'h') + "/AC_DC.flac"},
        TTemplateCase{"no_title", "%A/%n %t", {{F::Title, ""}}, "", "Björk/03 Track03.flac"},
        TTemplateCase{"no_album_no_artist",
                      "%A/%D/%t",
                      {{F::Album, ""}, {F::AlbumArtist, ""}},
                      "XyZ-",
                      "Unknown Artist/XyZ-/Jóga.flac"},
        TTemplateCase{"unnamed_disc", kDefaultTemplate, kNoNames, "49HHV7Eb8UKF3aQiNmu1GR8vKTY-",
                      "49HHV7Eb8UKF3aQiNmu1GR8vKTY-/Track03.flac"},
        TTemplateCase{"unnamed_disc_without_id", kDefaultTemplate, kNoNames, "", "Track03.flac"}),
    [](const auto& info) { return std::string(info.param.Name); });

// Tracks that would share a name, letter case aside or once cut to 255
// bytes, get names of their own.
TEST(FileNames, TracksThatWouldShareANameAreToldApart) {
  const std::vector<std::string> titles = {
      "Intro",    "Intro", "intro", std::string(300, 'x') + "a", std::string(300, 'x') + "b",
      "Intro (2)"};
  std::vector<TTrackTags> tags(titles.size());
  std::vector<TNamedTrack> tracks;
  for (size_t i = 0; i < titles.size(); ++i) {
    tags[i].Set(F::Title, titles[i]);
    tracks.push_back({static_cast<int>(i + 1), &tags[i]});
  }
  const auto names = NameJobFiles({"%t", "out", ".ogg", "", ""}, tracks);
  const std::vector<std::string> expected = {"Intro.ogg",
                                             "Intro (2).ogg",
                                             "intro (3).ogg",
                                             std::string(251, 'x') + ".ogg",
                                             std::string(247, 'x') + " (2).ogg",
                                             "Intro (2) (2).ogg"};
  ASSERT_EQ(names.size(), expected.size());
  for (size_t i = 0; i < names.size(); ++i) EXPECT_EQ(names[i].RelativePath, expected[i]) << i;
}

// What cannot name a file says why, in one line.
TEST(FileNames, ImpossibleNamesAreExplained) {
  const std::vector<std::pair<std::string, std::string>> templates = {
      {kDefaultTemplate, ""},
      {"%Q/%t", "%Q in the file-name template is no variable"},
      {"%t%", "the file-name template ends in a lone %"},
      {"%A/", "the file-name template names no file after its last /"},
      {"", "the file-name template names no file after its last /"},
  };
  for (const auto& [tmpl, problem] : templates) EXPECT_EQ(TemplateProblem(tmpl), problem) << tmpl;

  TTrackTags tags = NamedTrack();
  const auto deep =
      NameJobFiles({"%t", "/" + std::string(4080, 'd'), ".flac", "", ""}, {{1, &tags}});
  EXPECT_NE(deep[0].Problem.find("more than the 4095 Linux takes"), std::string::npos)
      << deep[0].Problem;
  EXPECT_EQ(deep[0].Path, "");
  const auto wide = NameJobFiles({"%t", "/m", "." + std::string(260, 'e'), "", ""}, {{1, &tags}});
  EXPECT_NE(wide[0].Problem.find("leaves no room for a name"), std::string::npos);
}

}  // namespace
}  // namespace cdx::test
