// The names a disc carries: CUE sheets the test writes over images of the
// disc maker, in every encoding sheets come in, a cdrdao TOC with CD-Text,
// and the clean-up every field gets.
#include <filesystem>
#include <fstream>

#include "platform/cdrip/DiscText.h"
#include "platform/cdrip/ImageFiles.h"
#include "platform/text/Utf8Text.h"
#include "tests/cdrip/CdripFixture.h"

namespace cdx::test {
namespace {

using cdrip::DiscText;

class DiscTextTest : public CdripTest {
 protected:
  // A two-track image whose sheet gets `disc` lines before the first TRACK
  // and `track1`/`track2` lines after each TRACK line.
  std::string MakeSheet(const std::string& disc, const std::string& track1,
                        const std::string& track2, bool byteOrderMark = false) {
    std::string cue = MakeDisc("named", {dm::Sine(75, 440), dm::Sine(75, 660)});
    std::string plain = dm::CueSheet({dm::Sine(75, 440), dm::Sine(75, 660)}, "named.bin");
    std::string sheet = (byteOrderMark ? "\xEF\xBB\xBF" : "") + disc;
    const std::string* lines[] = {&track1, &track2};
    size_t track = 0, at = 0;
    for (size_t end; (end = plain.find('\n', at)) != std::string::npos; at = end + 1) {
      sheet += plain.substr(at, end + 1 - at);
      if (plain.compare(at, 8, "  TRACK ") == 0) sheet += *lines[track++];
    }
    std::ofstream(cue, std::ios::trunc | std::ios::binary) << sheet;
    return cue;
  }
};

struct TSheetCase {
  const char* name;
  std::string disc, track1, track2;
  bool byteOrderMark;
  // Expected, joined by "|": disc title, performer, genre, date; track 1
  // title, performer, songwriter; track 2 title.
  std::string fields;
};

std::string Fields(const DiscText& t) {
  cdrip::TrackText none, one = t.find(1) ? *t.find(1) : none, two = t.find(2) ? *t.find(2) : none;
  return t.title + "|" + t.performer + "|" + t.genre + "|" + t.date + "|" + one.title + "|" +
         one.performer + "|" + one.songwriter + "|" + two.title;
}

TEST_F(DiscTextTest, SheetTextComesOutAsUtf8WhateverItsEncoding) {
  const TSheetCase cases[] = {
      {"UTF-8 with REM lines",
       "REM GENRE \"\xC3\x89lectro\"\nREM DATE 1997-09-22\nPERFORMER \"Bj\xC3\xB6rk\"\n"
       "TITLE \"Hom\xC3\xA9genic \xE6\x97\xA5\xE6\x9C\xAC\"\n",
       "    TITLE \"J\xC3\xB3ga\"\n    SONGWRITER \"Sj\xC3\xB3n\"\n",
       "    TITLE \"\xC3\x9Cnravel\"\n", false,
       "Homégenic 日本|Björk|Électro|1997-09-22|Jóga||Sjón|Ünravel"},
      {"Latin-1 and the Windows code page", "PERFORMER \"Bj\xF6rk\"\nTITLE \"\x93Post\x94\"\n",
       "    TITLE \"Army of M\xE9\"\n", "", false, "“Post”|Björk|||Army of Mé|||"},
      {"UTF-8 with a broken sequence", "TITLE \"Bj\xC3\xB6rk \xC3 x\"\n", "", "", false,
       "Björk Ã x|||||||"},
      {"byte-order mark, unquoted values",
       "TITLE Debut\nPERFORMER Bj\xC3\xB6rk Gu\xC3\xB0mundsd\xC3\xB3ttir\n",
       "    PERFORMER \"Bj\xC3\xB6rk\"\n", "", true, "Debut|Björk Guðmundsdóttir||||Björk||"},
      {"control characters, tabs, carriage returns",
       "TITLE \"a\tb\x01"
       "c  d\"\r\nPERFORMER \"  \x1B[31m  \"\r\n",
       "    TITLE \"\x7F\"\n", "", false, "a b c d|[31m||||||"},
      {"only some fields", "", "", "    PERFORMER \"Someone\"\n    TITLE \"Two\"\n", false,
       "|||||||Two"},
  };
  for (const TSheetCase& c : cases) {
    SCOPED_TRACE(c.name);
    MakeSheet(c.disc, c.track1, c.track2, c.byteOrderMark);
    Init();
    DiscText text;
    ASSERT_TRUE(cdrip::CR_ReadDiscText(text));
    EXPECT_EQ(text.source, "CUE sheet");
    EXPECT_EQ(Fields(text), c.fields);
  }
  // A sheet without text gives none, and so does no drive at all.
  MakeSheet("", "", "");
  Init();
  DiscText text;
  EXPECT_FALSE(cdrip::CR_ReadDiscText(text));
  EXPECT_TRUE(text.empty());
  cdrip::CR_DeInit();
  EXPECT_FALSE(cdrip::CR_ReadDiscText(text));
}

TEST_F(DiscTextTest, AnOverlongTitleIsCutAndItsSheetStillOpens) {
  std::string words, accents;
  for (int i = 0; i < 1000; ++i) words += "word ";
  for (int i = 0; i < 2500; ++i) accents += "\xC3\xA9";
  Init();
  for (const std::string& title : {words, accents}) {
    std::string cue = MakeSheet("TITLE \"" + title + "\"\n", "    TITLE \"Kept\"\n", "");
    std::string cut = cdrip::SheetDiscText(cdrip::SheetText(cue)).title;
    EXPECT_LE(cut.size(), text::kMaxFieldBytes);
    EXPECT_GT(cut.size(), text::kMaxFieldBytes * 3 / 4);
    EXPECT_EQ(text::ValidUtf8(cut), cut);  // never cut inside a character
    EXPECT_EQ(cut.substr(cut.size() - 3), "\u2026");
    if (title == words) {
      EXPECT_EQ(cut.substr(cut.size() - 7), "word\u2026");
    }
    // The drive opens the sheet through a copy made for libcdio, and so
    // does libcdio the copy itself.
    EXPECT_GE(cdrip::CR_AddImageDrive(cue), 0);
    std::string opens = cdrip::SheetLibcdioOpens(cdrip::SheetText(cue));
    std::ofstream(cue, std::ios::trunc) << opens;
    EXPECT_GE(cdrip::CR_AddImageDrive(cue), 0);
    EXPECT_EQ(cdrip::SheetDiscText(opens).tracks.at(0).title, "Kept");
  }
  std::string plain = cdrip::SheetText(MakeSheet("TITLE \"Short\"\n", "", ""));
  EXPECT_EQ(cdrip::SheetLibcdioOpens(plain), plain);
}

TEST_F(DiscTextTest, CdTextOfACdrdaoImageIsRepairedAsSheetsAre) {
  MakeDisc("cdtext", {dm::Sine(150, 440), dm::Sine(150, 660)});
  std::string bin = discs_ + "/cdtext.bin", toc = temp_.File("cdtext.toc");
  std::ofstream(toc) << "CD_DA\nCD_TEXT {\n  LANGUAGE_MAP { 0 : EN }\n  LANGUAGE 0 {\n"
                        "    TITLE \"Hom\xC3\xA9genic\"\n    PERFORMER \"Bj\xF6rk\"\n"
                        "    GENRE \"Pop\"\n  }\n}\n"
                        "TRACK AUDIO\nCD_TEXT {\n  LANGUAGE 0 {\n    TITLE \"J\xC3\xB3ga\"\n"
                        "    SONGWRITER \"Sj\xC3\xB3n\"\n  }\n}\nFILE \""
                     << bin << "\" 0 00:02:00\nTRACK AUDIO\nFILE \"" << bin
                     << "\" 00:02:00 00:02:00\n";
  Init();
  int drive = cdrip::CR_AddImageDrive(toc);
  ASSERT_GE(drive, 0);
  cdrip::CR_SetActiveCDROM(drive);
  DiscText text;
  ASSERT_TRUE(cdrip::CR_ReadDiscText(text));
  EXPECT_EQ(text.source, "CD-Text");
  EXPECT_EQ(text.tracks.size(), 1u);
  EXPECT_EQ(Fields(text), "Homégenic|Björk|Pop||Jóga||Sjón|");
}

struct TTextCase {
  const char* name;
  std::string bytes, clean;
};

TEST(CleanField, EveryFieldIsValidUtf8OnOneLine) {
  const TTextCase fields[] = {
      {"UTF-8 kept", "Bj\xC3\xB6rk \xF0\x9F\x8E\xB5", "Björk 🎵"},
      {"Latin-1", "Bj\xF6rk", "Björk"},
      {"Windows code page", "\x93Hi\x94 \x80 \x81", "“Hi” € \uFFFD"},
      // Overlong, surrogate, past U+10FFFF, cut short: each byte on its own.
      {"malformed sequences", "\xC0\xAF|\xED\xA0\xBF|\xF4\x90\x80\x80|\xE2\x82",
       "À¯|í\u00A0¿|ô\uFFFD€€|â‚"},
      {"line breaks and controls",
       "  a\r\nb\t\x7F c\xE2\x80\xA8"
       "d\xC2\x85 ",
       "a b c d"},
      {"byte-order mark", "\xEF\xBB\xBFtitle", "title"},
  };
  for (const TTextCase& c : fields) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(text::CleanField(c.bytes), c.clean);
  }
}

}  // namespace
}  // namespace cdx::test
