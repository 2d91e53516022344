// "Mp3 options" and "Mp3 tag settings": what each control sets on MP3Out1,
// the spin ladders, the tag hand-over, and MP3 jobs whose files are read
// back by ffmpeg and mutagen.
#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <filesystem>
#include <functional>

#include "tests/app/AppFixture.h"
#include "tests/support/Mp3Tools.h"

namespace cdx::test {
namespace {

using Mp3Options = AppTest;

TEST_F(Mp3Options, EachListAndCheckBoxSetsItsWriterProperty) {
  TForm3& dialog = Form3();
  auto& bitrate = Control<QComboBox>(dialog, "ComboBox2");
  auto& rate = Control<QComboBox>(dialog, "ComboBox3");
  EXPECT_EQ(bitrate.currentText(), "128");
  EXPECT_EQ(bitrate.count(), 15);
  EXPECT_EQ(rate.currentText(), "Default");
  const struct {
    QComboBox& list;
    const char* item;
    std::function<int()> property;
    int value;
  } choices[] = {{bitrate, "320", [&] { return int{Mp3Writer().BitRate()}; }, br320},
                 {bitrate, "32", [&] { return int{Mp3Writer().BitRate()}; }, br32},
                 {bitrate, "144", [&] { return int{Mp3Writer().BitRate()}; }, br144},
                 {rate, "44 kHz", [&] { return int{Mp3Writer().SampleRate()}; }, sr44kHz},
                 {rate, "32 KHz", [&] { return int{Mp3Writer().SampleRate()}; }, sr32kHz},
                 {rate, "22 kHz", [&] { return int{Mp3Writer().SampleRate()}; }, sr22kHz},
                 {rate, "48 kHz", [&] { return int{Mp3Writer().SampleRate()}; }, sr48kHz},
                 {rate, "Default", [&] { return int{Mp3Writer().SampleRate()}; }, srDefault}};
  for (const auto& c : choices) {
    Select(c.list, c.item);
    EXPECT_EQ(c.property(), c.value) << c.item;
  }

  const struct {
    const char* box;
    const char* caption;
    bool initially;
    std::function<bool()> property;
  } boxes[] = {
      {"CheckBox2", "Copyright", false, [&] { return Mp3Writer().Copyright(); }},
      {"CheckBox3", "CRC", false, [&] { return Mp3Writer().CRC(); }},
      {"CheckBox4", "Enable VBR", false, [&] { return Mp3Writer().EnableVBR(); }},
      {"CheckBox5", "Original", true, [&] { return Mp3Writer().Original(); }},
      {"CheckBox6", "Write VBR header", false, [&] { return Mp3Writer().WriteVBRHeader(); }}};
  for (const auto& b : boxes) {
    auto& box = Control<QCheckBox>(dialog, b.box);
    EXPECT_EQ(box.text(), b.caption);
    EXPECT_EQ(box.isChecked(), b.initially) << b.box;
    EXPECT_EQ(b.property(), b.initially) << b.box;
    box.click();
    EXPECT_EQ(b.property(), !b.initially) << b.box;
    box.click();
    EXPECT_EQ(b.property(), b.initially) << b.box;
  }
}

TEST_F(Mp3Options, SpinArrowsClimbTheirLaddersAndTheWriterFollowsTheLabels) {
  TForm3& dialog = Form3();
  auto min = [&] { return Mp3Writer().VBRMinBitrate(); };
  auto max = [&] { return Mp3Writer().VBRMaxBitrate(); };
  auto quality = [&] { return int{Mp3Writer().Quality()}; };
  auto vbrQuality = [&] { return int{Mp3Writer().VBRQuality()}; };
  const struct {
    const char* arrow;
    const char* label;
    std::function<int()> property;
    std::vector<int> shown;  // the label after each click
  } steps[] = {
      {"SpinButton3Up", "Label7", min, {144, 160, 192, 192}},  // Min stops at Max
      {"SpinButton4Down", "Label8", max, {192}},               // Max never below Min
      {"SpinButton4Up", "Label8", max, {224, 256, 320, 320}},
      {"SpinButton4Down", "Label8", max, {256}},
      {"SpinButton3Down", "Label7", min, {160, 144, 128, 112, 96, 80, 64, 56, 48, 40, 32, 32}},
      {"SpinButton3Up", "Label7", min, {40}},
      {"SpinButton1Up", "Label5", quality, {6, 7, 8, 9, 9}},
      {"SpinButton1Down", "Label5", quality, {8, 7, 6, 5, 4, 3, 2, 1, 1}},
      {"SpinButton2Down", "Label6", vbrQuality, {4, 3, 2, 1, 1}},
      {"SpinButton2Up", "Label6", vbrQuality, {2}},
  };
  EXPECT_EQ(Control<QLabel>(dialog, "Label7").text(), "128");
  EXPECT_EQ(Control<QLabel>(dialog, "Label8").text(), "192");
  EXPECT_EQ(Control<QLabel>(dialog, "Label5").text(), "5");
  EXPECT_EQ(Control<QLabel>(dialog, "Label6").text(), "5");
  for (const auto& s : steps) {
    auto& arrow = Control<QToolButton>(dialog, s.arrow);
    auto& label = Control<QLabel>(dialog, s.label);
    for (int expected : s.shown) {
      arrow.click();
      ASSERT_EQ(label.text(), QString::number(expected)) << s.arrow;
      ASSERT_EQ(s.property(), expected) << s.arrow;
    }
  }
}

TEST_F(Mp3Options, KeepAsItIsLeavesTheModeThatWasChosen) {
  TForm3& dialog = Form3();
  auto& keep = Control<QRadioButton>(dialog, "RadioButton16");
  EXPECT_TRUE(keep.isChecked());
  EXPECT_EQ(Mp3Writer().Mode(), STEREO);
  const std::pair<const char*, TMP3Mode> clicks[] = {{"RadioButton18", MONO},
                                                     {"RadioButton16", MONO},
                                                     {"RadioButton17", STEREO},
                                                     {"RadioButton16", STEREO},
                                                     {"RadioButton18", MONO}};
  for (const auto& [button, mode] : clicks) {
    Control<QRadioButton>(dialog, button).click();
    EXPECT_EQ(Mp3Writer().Mode(), mode) << button;
  }
}

TEST_F(Mp3Options, TagsReachTheWriterOnlyThroughUseTagsAndClose) {
  TForm7& tags = Form7();
  auto& useTags = Control<QCheckBox>(Form3(), "CheckBox7");
  auto& close = Control<QPushButton>(tags, "JvXPButton1");
  auto& genre = Control<QComboBox>(tags, "ComboBox1");
  auto fill = [&](const QString& artist) {
    const std::pair<const char*, QString> fields[] = {{"Edit1", "Album"}, {"Edit2", artist},
                                                      {"Edit3", "Title"}, {"Edit4", "4"},
                                                      {"Edit5", "1999"},  {"Edit7", ""}};
    for (const auto& [edit, text] : fields) Control<QLineEdit>(tags, edit).setText(text);
  };
  const TMP3Tags none;
  auto same = [](const TMP3Tags& a, const TMP3Tags& b) {
    return a.Title == b.Title && a.Artist == b.Artist && a.Album == b.Album && a.Year == b.Year &&
           a.Track == b.Track && a.Comment == b.Comment && a.Genre == b.Genre;
  };

  Control<QPushButton>(Form3(), "JvXPButton1").click();  // "Edit tags"
  EXPECT_TRUE(tags.isVisible());
  EXPECT_FALSE(tags.isModal());
  fill("Artist");
  close.click();
  EXPECT_FALSE(tags.isVisible());
  EXPECT_TRUE(same(Mp3Writer().Id3Tags(), none)) << "without Use tags, Close empties the tags";

  useTags.click();
  TMP3Tags filled{"Title", "Artist", "Album", "1999", "4", "", ""};
  EXPECT_TRUE(same(Mp3Writer().Id3Tags(), filled)) << "Use tags copies the fields as they are";

  tags.show();
  fill("Björk");
  Select(genre, "Dance Hall");
  tags.close();  // the title bar's close box: hidden, nothing copied
  EXPECT_FALSE(tags.isVisible());
  EXPECT_TRUE(same(Mp3Writer().Id3Tags(), filled));
  close.click();
  filled.Artist = "Björk";
  filled.Genre = "Dance Hall";
  EXPECT_TRUE(same(Mp3Writer().Id3Tags(), filled));

  genre.setEditText("Chiptune");  // typed, not in the list
  close.click();
  EXPECT_EQ(Mp3Writer().Id3Tags().Genre, "Chiptune");
  Select(genre, "");
  close.click();
  EXPECT_EQ(Mp3Writer().Id3Tags().Genre, "");

  useTags.click();
  EXPECT_TRUE(same(Mp3Writer().Id3Tags(), none)) << "unchecking Use tags empties every tag";
}

TEST_F(Mp3Options, TheGenreListIsEmptyThenTheID3v1TableToDanceHall) {
  auto& genre = Control<QComboBox>(Form7(), "ComboBox1");
  ASSERT_EQ(genre.count(), 127);
  EXPECT_TRUE(genre.isEditable());
  EXPECT_EQ(genre.maxVisibleItems(), 25);
  EXPECT_EQ(genre.itemText(0), "");
  EXPECT_EQ(genre.itemText(1), "Blues");
  EXPECT_EQ(genre.itemText(126), "Dance Hall");
  EXPECT_EQ(genre.currentText(), "");
}

TEST_F(Mp3Options, SettingsLabelsAndTagsComeBackInTheNextRun) {
  TForm3& options = Form3();
  Select(Control<QComboBox>(options, "ComboBox2"), "192");
  Select(Control<QComboBox>(options, "ComboBox3"), "32 KHz");
  for (const char* control : {"CheckBox4", "SpinButton3Down", "SpinButton4Up", "SpinButton1Up",
                              "SpinButton2Down", "RadioButton18", "RadioButton16", "CheckBox7"})
    Control<QAbstractButton>(options, control).click();
  Control<QLineEdit>(Form7(), "Edit2").setText("Björk");
  Control<QLineEdit>(Form7(), "Edit4").setText("3");
  Control<QCheckBox>(Form7(), "CheckBox1").setChecked(true);
  Control<QComboBox>(Form7(), "ComboBox1").setEditText("Chiptune");
  Control<QPushButton>(Form7(), "JvXPButton1").click();

  ReopenWindows();
  EXPECT_EQ(Mp3Writer().BitRate(), br192);
  EXPECT_EQ(Mp3Writer().SampleRate(), sr32kHz);
  EXPECT_TRUE(Mp3Writer().EnableVBR());
  const std::pair<const char*, int> labels[] = {
      {"Label7", 112}, {"Label8", 224}, {"Label5", 6}, {"Label6", 4}};
  for (const auto& [label, value] : labels)
    EXPECT_EQ(Control<QLabel>(Form3(), label).text(), QString::number(value)) << label;
  EXPECT_EQ(Mp3Writer().VBRMinBitrate(), 112);
  EXPECT_EQ(Mp3Writer().VBRMaxBitrate(), 224);
  EXPECT_EQ(Mp3Writer().Quality(), ql6);
  EXPECT_EQ(Mp3Writer().VBRQuality(), ql4);
  EXPECT_EQ(Mp3Writer().Mode(), MONO) << "\"Keep as it is\" keeps the mono chosen before";
  const TMP3Tags tags = Mp3Writer().Id3Tags();
  EXPECT_EQ(tags.Artist, "Björk");
  EXPECT_EQ(tags.Track, "3");
  EXPECT_EQ(tags.Genre, "Chiptune") << "a typed genre too";
  EXPECT_TRUE(Ex().Mp3Settings.IncrementTrack);
  EXPECT_TRUE(Shown.empty());
}

class Mp3Job : public AppTest {
 protected:
  // Rips the rows as they are checked now with the tag dialog as it is,
  // "Use tags" on; returns what mutagen reads of each row's file, in order.
  std::vector<std::map<std::string, std::string>> Rip() {
    std::vector<QString> captions = Captions();
    for (int i = 0; i < List().topLevelItemCount(); ++i)
      List().topLevelItem(i)->setCheckState(0, Qt::Checked);
    Control<QPushButton>(Form7(), "JvXPButton1").click();
    Start();
    std::vector<std::map<std::string, std::string>> views;
    for (const QString& caption : captions)
      views.push_back(MutagenView(OutFile(caption.toStdString() + ".mp3")));
    return views;
  }
  void Type(const char* edit, const QString& text) {
    Control<QLineEdit>(Form7(), edit).setText(text);
  }
  void Tick(const char* box, bool on) { Control<QCheckBox>(Form7(), box).setChecked(on); }
};

TEST_F(Mp3Job, FilenameAsTitleAndIncrementTrackVaryTheTagsFromFileToFile) {
  AddTracks({1, 2, 3});
  List().topLevelItem(1)->setText(0, "Second song");
  Main<QComboBox>("ComboBox1").setCurrentIndex(1);
  Control<QCheckBox>(Form3(), "CheckBox7").click();  // Use tags
  Type("Edit2", "Someone");
  Type("Edit3", "Typed title");
  Type("Edit4", "5");
  Tick("CheckBox2", true);  // Filename as title
  Tick("CheckBox1", true);  // Increment track

  const struct {
    const char* step;
    std::function<void()> change;
    std::vector<std::string> titles, tracks;
  } jobs[] = {
      {"both boxes", [] {}, {"Track01", "Second song", "Track03"}, {"5", "6", "7"}},
      {"a new job counts from the typed number again",
       [] {},
       {"Track01", "Second song", "Track03"},
       {"5", "6", "7"}},
      {"empty track field",
       [&] { Type("Edit4", ""); },
       {"Track01", "Second song", "Track03"},
       {"1", "2", "3"}},
      {"boxes off",
       [&] {
         Type("Edit4", "9");
         Tick("CheckBox2", false);
         Tick("CheckBox1", false);
       },
       {"Typed title", "Typed title", "Typed title"},
       {"9", "9", "9"}},
  };
  for (const auto& job : jobs) {
    job.change();
    const auto views = Rip();
    ASSERT_EQ(views.size(), 3u);
    for (size_t k = 0; k < 3; ++k) {
      EXPECT_EQ(views[k].at("title"), job.titles[k]) << job.step << " " << k;
      EXPECT_EQ(views[k].at("track"), job.tracks[k]) << job.step << " " << k;
      EXPECT_EQ(views[k].at("artist"), "Someone") << job.step << " " << k;
    }
  }
  EXPECT_TRUE(Shown.empty());
}

TEST_F(Mp3Job, TheWindowRipsTracksToFilesOfTheirLength) {
  AddTracks({2, 4});
  Main<QComboBox>("ComboBox1").setCurrentIndex(1);
  Control<QCheckBox>(Form3(), "CheckBox4").click();  // Enable VBR
  Select(Control<QComboBox>(Form3(), "ComboBox3"), "48 kHz");
  Start();
  for (int track : {2, 4}) {
    const std::string file = OutFile("Track0" + std::to_string(track) + ".mp3");
    const TDecodedMp3 decoded = DecodeMp3(file);
    ASSERT_TRUE(decoded.Ok) << decoded.Errors;
    EXPECT_EQ(decoded.SampleRate, 48000);
    EXPECT_EQ(decoded.Channels, 2);
    const int64_t frames = static_cast<int64_t>(TrackPcm(track).size()) / 4;
    EXPECT_NEAR(decoded.Frames, frames * 48000 / 44100, 1152) << track;
    EXPECT_EQ(MutagenView(file)["bitrate_mode"], "VBR");
  }
  EXPECT_EQ(Checks(), (std::vector<bool>{false, false}));
  EXPECT_TRUE(Shown.empty());
}

}  // namespace
}  // namespace cdx::test
