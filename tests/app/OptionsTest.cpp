// "Wav options", "Flac options" and "Mac options": what each control sets,
// the chains the job then builds, and the files they write, checked by sox,
// ffmpeg and the FLAC tools.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSlider>
#include <QStandardItemModel>
#include <QTest>
#include <QToolButton>
#include <filesystem>
#include <map>
#include <set>

#include "tests/app/AppFixture.h"
#include "tests/support/FlacTools.h"

namespace cdx::test {
namespace {

using Options = AppTest;

// The chain that ends in `writer`, from the source, by component name.
std::vector<std::string> Chain(TExtractor& ex, TACSOutput* writer) {
  const std::vector<std::pair<TACSInput*, const char*>> names = {
      {ex.CDIn1, "CDIn1"},
      {ex.RateConverter1, "RateConverter1"},
      {ex.RateConverter2, "RateConverter2"},
      {ex.RateConverter3, "RateConverter3"},
      {ex.MSConverter1, "MSConverter1"},
      {ex.MSConverter2, "MSConverter2"},
      {ex.MSConverter3, "MSConverter3"},
      {ex.SampleConverter1, "SampleConverter1"}};
  auto name = [&](TACSInput* input) -> std::string {
    for (auto [component, text] : names)
      if (component == input) return text;
    return "?";
  };
  std::vector<std::string> chain;
  for (TACSInput* input = writer->Input(); input;) {
    chain.insert(chain.begin(), name(input));
    auto* converter = dynamic_cast<TACSConverter*>(input);
    input = converter ? converter->Input() : nullptr;
  }
  chain.push_back(writer == ex.WaveOut1   ? "WaveOut1"
                  : writer == ex.FLACOut1 ? "FLACOut1"
                                          : "MACOut1");
  return chain;
}

std::string SoxInfo(const std::string& path, const char* option) {
  std::string out;
  RunCommand(std::string("sox --i ") + option + " '" + path + "'", &out);
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  return out;
}

TEST_F(Options, WavRateMonoAndEightBitsGiveTheFullChainAndSuchAFile) {
  TForm2& dialog = Form2();
  Control<QRadioButton>(dialog, "RadioButton10").click();  // 22050
  Control<QRadioButton>(dialog, "RadioButton5").click();   // Mono
  Control<QRadioButton>(dialog, "RadioButton2").click();   // 8
  EXPECT_EQ(Ex().WavSettings.Rate, 22050);
  EXPECT_EQ(Ex().WavSettings.Channels, 1);
  EXPECT_EQ(Ex().WavSettings.Bits, 8);
  AddTracks({1});
  Start();
  EXPECT_EQ(Chain(Ex(), Ex().WaveOut1),
            (std::vector<std::string>{"CDIn1", "RateConverter1", "MSConverter1", "SampleConverter1",
                                      "WaveOut1"}));
  const std::string file = OutFile("Track01.wav");
  EXPECT_EQ(SoxInfo(file, "-r"), "22050");
  EXPECT_EQ(SoxInfo(file, "-c"), "1");
  EXPECT_EQ(SoxInfo(file, "-b"), "8");
  EXPECT_EQ(SoxInfo(file, "-s"), "44100") << "two seconds of audio";

  // Back to the defaults: later chains lose their converters.
  Control<QRadioButton>(dialog, "RadioButton8").click();
  Control<QRadioButton>(dialog, "RadioButton6").click();
  Control<QRadioButton>(dialog, "RadioButton3").click();
  List().topLevelItem(0)->setCheckState(0, Qt::Checked);
  Start();
  EXPECT_EQ(Chain(Ex(), Ex().WaveOut1), (std::vector<std::string>{"CDIn1", "WaveOut1"}));
  EXPECT_TRUE(ReadWav(file).Data == TrackPcm(1));
}

TEST_F(Options, EightBitsShowsItsWarningEachTimeItIsSelected) {
  auto& eight = Control<QRadioButton>(Form2(), "RadioButton2");
  auto& sixteen = Control<QRadioButton>(Form2(), "RadioButton3");
  eight.click();
  ASSERT_EQ(Shown.size(), 1u);
  EXPECT_EQ(Shown[0].Kind, TMessageKind::Information);
  EXPECT_EQ(Shown[0].Text, "Will work with pcm wav files only !");
  eight.click();  // already selected: nothing happens
  EXPECT_EQ(Shown.size(), 1u);
  sixteen.click();
  EXPECT_EQ(Shown.size(), 1u);
  EXPECT_EQ(Ex().WavSettings.Bits, 16);
  eight.click();
  EXPECT_EQ(Shown.size(), 2u);
  EXPECT_EQ(Configured<TWaveOut>("wav").WavType(), wtPCM) << "the warning changes nothing else";
}

TEST_F(Options, TheWarningIsARealModalBoxWithOk) {
  SetMessageBoxHandler(nullptr);
  QString seen;
  TModalAnswer close([&](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr);
    seen = box->text();
    ASSERT_NE(box->button(QMessageBox::Ok), nullptr);
    box->button(QMessageBox::Ok)->click();
  });
  Control<QRadioButton>(Form2(), "RadioButton2").click();
  ASSERT_TRUE(close.Answered());
  EXPECT_EQ(seen, "Will work with pcm wav files only !");
}

TEST_F(Options, TheWavTypeListShowsWhatTheWriterWritesAndOffersOnlyWhatItCan) {
  auto& type = Control<QComboBox>(Form2(), "ComboBox1");
  EXPECT_EQ(type.currentText(), "PCM");
  const auto* items = qobject_cast<QStandardItemModel*>(type.model());
  for (int i = 0; i < type.count(); ++i)
    EXPECT_EQ(items->item(i)->isEnabled(), i == 0 || i == 2) << type.itemText(i).toStdString();
  Select(type, 2);
  EXPECT_EQ(Configured<TWaveOut>("wav").WavType(), wtDVIADPCM);
  Select(type, 1);  // ACM, were it chosen all the same
  EXPECT_EQ(Configured<TWaveOut>("wav").WavType(), wtDVIADPCM);
  EXPECT_EQ(type.currentText(), "DVIADPCM") << "the list shows what the file will be";

  AddTracks({1});
  Start();
  TWavFile adpcm = ReadWav(OutFile("Track01.wav"));
  EXPECT_TRUE(adpcm.Valid);
  EXPECT_EQ(adpcm.FormatTag, 0x11);
  std::string probe;
  RunCommand("ffprobe -v error -show_entries stream=codec_name -of csv=p=0 '" +
                 OutFile("Track01.wav") + "'",
             &probe);
  EXPECT_EQ(probe, "adpcm_ima_wav\n");

  Select(type, 0);
  EXPECT_EQ(Configured<TWaveOut>("wav").WavType(), wtPCM);
}

uint16_t ApeLevel(const std::string& path) {
  std::vector<uint8_t> f = ReadFile(path);
  if (f.size() < 54 || std::string(f.begin(), f.begin() + 4) != "MAC ") return 0;
  return static_cast<uint16_t>(f[52] | (f[53] << 8));
}

TEST_F(Options, TheLevelBoxStepsOnTheLadderAndShowsTheLevelTheFilesGet) {
  TForm6& dialog = Form6();
  auto& box = Control<QLineEdit>(dialog, "Edit1");
  auto& up = Control<QToolButton>(dialog, "SpinButton1Up");
  auto& down = Control<QToolButton>(dialog, "SpinButton1Down");
  EXPECT_EQ(box.text(), "3000");
  EXPECT_TRUE(box.isReadOnly());
  Main<QComboBox>("ComboBox1").setCurrentIndex(4);
  AddTracks({1});
  Start();
  EXPECT_EQ(ApeLevel(OutFile("Track01.ape")), 3000);

  up.click();
  up.click();
  EXPECT_EQ(box.text(), "4000");
  EXPECT_EQ(Configured<TMACOut>("ape").CompressionLevel(), 4000);
  for (int i = 0; i < 4; ++i) down.click();
  EXPECT_EQ(box.text(), "1000");
  EXPECT_EQ(Configured<TMACOut>("ape").CompressionLevel(), 1000);
  down.click();
  EXPECT_EQ(box.text(), "1000");

  List().topLevelItem(0)->setCheckState(0, Qt::Checked);
  Start();
  EXPECT_EQ(ApeLevel(OutFile("Track01.ape")), 1000);
  std::string errors;
  EXPECT_TRUE(DecodeWithFfmpeg(OutFile("Track01.ape"), &errors) == TrackPcm(1)) << errors;
  EXPECT_TRUE(Shown.empty());
}

std::string Probe(const std::string& path, const char* entry) {
  std::string out;
  RunCommand(
      std::string("ffprobe -v error -show_entries stream=") + entry + " -of csv=p=0 '" + path + "'",
      &out);
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

TEST_F(Options, TheApeRateAndChannelChoicesGiveTheirChains) {
  TForm6& dialog = Form6();
  Main<QComboBox>("ComboBox1").setCurrentIndex(4);
  AddTracks({2});
  auto extract = [&] {
    List().topLevelItem(0)->setCheckState(0, Qt::Checked);
    Start();
    return OutFile("Track02.ape");
  };

  Control<QRadioButton>(dialog, "RadioButton7").click();  // 88200
  std::string file = extract();
  EXPECT_EQ(Chain(Ex(), Ex().MACOut1),
            (std::vector<std::string>{"CDIn1", "RateConverter3", "MACOut1"}));
  EXPECT_EQ(Ex().RateConverter3->OutSampleRate(), 88200);
  EXPECT_EQ(Probe(file, "sample_rate,channels"), "88200,2");

  Control<QRadioButton>(dialog, "RadioButton8").click();  // 44100
  Control<QRadioButton>(dialog, "RadioButton5").click();  // Mono
  file = extract();
  EXPECT_EQ(Chain(Ex(), Ex().MACOut1),
            (std::vector<std::string>{"CDIn1", "MSConverter3", "MACOut1"}));
  EXPECT_EQ(Probe(file, "sample_rate,channels"), "44100,1");

  Control<QRadioButton>(dialog, "RadioButton12").click();  // 8000
  Control<QRadioButton>(dialog, "RadioButton6").click();   // Stereo
  file = extract();
  EXPECT_EQ(Chain(Ex(), Ex().MACOut1),
            (std::vector<std::string>{"CDIn1", "RateConverter3", "MACOut1"}));
  EXPECT_EQ(Probe(file, "sample_rate,channels"), "8000,2");
  EXPECT_TRUE(Shown.empty());
}

TEST_F(Options, EveryRateButtonOfTheWavAndApeDialogsGivesFilesAtItsRate) {
  const struct {
    const char* button;
    const char* caption;
    int rate;
  } buttons[] = {{"RadioButton7", "88200 (not recommended)", 88200},
                 {"RadioButton9", "32000", 32000},
                 {"RadioButton10", "22050", 22050},
                 {"RadioButton11", "11025", 11025},
                 {"RadioButton12", "8000", 8000},
                 {"RadioButton8", "44100", 44100}};
  const struct {
    QWidget* dialog;
    const char* format;
    TACSOutput* writer;
    const char* converter;
    const char* file;
  } dialogs[] = {{&Form2(), "Wav", Ex().WaveOut1, "RateConverter1", "Track02.wav"},
                 {&Form6(), "Ape (monkey audio)", Ex().MACOut1, "RateConverter3", "Track02.ape"}};
  AddTracks({2});
  auto& format = Main<QComboBox>("ComboBox1");
  for (const auto& d : dialogs) {
    format.setCurrentIndex(format.findText(d.format));
    QSignalSpy trackBar(&Main<QProgressBar>("JvXPProgressBar2"), &QProgressBar::valueChanged);
    for (const auto& b : buttons) {
      auto& button = Control<QRadioButton>(*d.dialog, b.button);
      EXPECT_EQ(button.text(), b.caption);
      button.click();
      List().topLevelItem(0)->setCheckState(0, Qt::Checked);
      Start();
      EXPECT_EQ(Probe(OutFile(d.file), "sample_rate"), std::to_string(b.rate)) << d.file;
      const std::vector<std::string> chain = Chain(Ex(), d.writer);
      EXPECT_EQ(chain.size() == 3 && chain[1] == d.converter, b.rate != 44100) << b.button;
    }
    bool full = false;
    for (const QList<QVariant>& call : trackBar) full = full || call.at(0).toInt() == 100;
    EXPECT_TRUE(full) << d.format << ": the track bar follows the writer";
  }
  EXPECT_TRUE(Shown.empty());
}

TEST_F(Options, TheFlacDialogOffersItsRatesChannelsAndBestModelSearch) {
  TForm5& dialog = Form5();
  EXPECT_EQ(dialog.findChild<QRadioButton*>("RadioButton7"), nullptr) << "no 88200";
  const std::pair<const char*, const char*> rates[] = {{"RadioButton8", "44100"},
                                                       {"RadioButton9", "32000"},
                                                       {"RadioButton10", "22050"},
                                                       {"RadioButton11", "11025"},
                                                       {"RadioButton12", "8000"}};
  for (auto [name, caption] : rates) {
    auto& button = Control<QRadioButton>(dialog, name);
    EXPECT_EQ(button.text(), caption);
    EXPECT_EQ(button.isChecked(), std::string(caption) == "44100") << name;
  }
  EXPECT_TRUE(Control<QRadioButton>(dialog, "RadioButton6").isChecked());
  auto& search = Control<QComboBox>(dialog, "ComboBox1");
  EXPECT_FALSE(search.isEditable());
  ASSERT_EQ(search.count(), 2);
  EXPECT_EQ(search.itemText(0), "No");
  EXPECT_EQ(search.itemText(1), "Yes");
  EXPECT_EQ(search.currentText(), "No");

  TFLACOut& writer = *Ex().FLACOut1;
  writer.SetEnableLooseMidSideStereo(true);
  writer.SetEnableMidSideStereo(false);
  Select(search, 1);
  Configured<TFLACOut>("flac");
  EXPECT_TRUE(writer.BestModelSearch());
  EXPECT_TRUE(writer.EnableMidSideStereo());
  EXPECT_FALSE(writer.EnableLooseMidSideStereo());
  Select(search, 0);
  Configured<TFLACOut>("flac");
  EXPECT_FALSE(writer.BestModelSearch());
  EXPECT_TRUE(writer.EnableMidSideStereo()) << "No clears only the search";
  EXPECT_FALSE(writer.EnableLooseMidSideStereo());
}

TEST_F(Options, FlacFilesOfEveryChainDecodeToWhatTheChainDelivers) {
  TForm5& dialog = Form5();
  auto& format = Main<QComboBox>("ComboBox1");
  AddTracks({3});
  auto extract = [&](const char* caption) {
    format.setCurrentIndex(format.findText(caption));
    List().topLevelItem(0)->setCheckState(0, Qt::Checked);
    Start();
  };
  const std::string flac = OutFile("Track03.flac");
  std::string errors;

  extract("Flac");
  EXPECT_EQ(Chain(Ex(), Ex().FLACOut1), (std::vector<std::string>{"CDIn1", "FLACOut1"}));
  EXPECT_TRUE(FlacTestPasses(flac, &errors)) << errors;
  EXPECT_TRUE(DecodeFlac(flac) == TrackPcm(3));
  EXPECT_EQ(FlacStreamInfo(flac)["MD5 signature"], Md5Hex(TrackPcm(3)));

  // The same converters in the WAV chain give what the FLAC chain encodes.
  Control<QRadioButton>(dialog, "RadioButton10").click();  // 22050
  Control<QRadioButton>(dialog, "RadioButton5").click();   // Mono
  EXPECT_EQ(Ex().FlacSettings.Rate, 22050);
  EXPECT_EQ(Ex().FlacSettings.Channels, 1);
  extract("Flac");
  EXPECT_EQ(Chain(Ex(), Ex().FLACOut1),
            (std::vector<std::string>{"CDIn1", "RateConverter2", "MSConverter2", "FLACOut1"}));
  EXPECT_EQ(Ex().RateConverter2->OutSampleRate(), 22050);
  Control<QRadioButton>(Form2(), "RadioButton10").click();
  Control<QRadioButton>(Form2(), "RadioButton5").click();
  extract("Wav");
  const std::vector<uint8_t> converted = ReadWav(OutFile("Track03.wav")).Data;
  ASSERT_EQ(converted.size(), 44100u * 2) << "two seconds of mono";
  EXPECT_TRUE(FlacTestPasses(flac, &errors)) << errors;
  EXPECT_TRUE(DecodeFlac(flac) == converted);
  auto info = FlacStreamInfo(flac);
  EXPECT_EQ(info["sample_rate"], "22050");
  EXPECT_EQ(info["channels"], "1");
  EXPECT_EQ(info["total samples"], "44100");

  Control<QRadioButton>(dialog, "RadioButton12").click();  // 8000
  Control<QRadioButton>(dialog, "RadioButton6").click();   // Stereo
  extract("Flac");
  EXPECT_EQ(Chain(Ex(), Ex().FLACOut1),
            (std::vector<std::string>{"CDIn1", "RateConverter2", "FLACOut1"}));
  info = FlacStreamInfo(flac);
  EXPECT_EQ(info["sample_rate"] + "/" + info["channels"], "8000/2");
  EXPECT_TRUE(FlacTestPasses(flac, &errors)) << errors;
  EXPECT_TRUE(Shown.empty());
}

// What the controls of some dialogs can make each setting of `format` hold,
// every control driven through every state it offers, twice over, since a
// limit of one may hold another back.
class TProbe {
 public:
  TProbe(const TFormat& format, TFormatSettings& record) : format_(format), record_(record) {}

  void Drive(QWidget& dialog) {
    for (int round = 0; round < 2; ++round) {
      DriveLists(dialog);
      for (QAbstractButton* button : dialog.findChildren<QAbstractButton*>())
        if (button->isCheckable())
          for (int i = 0; i < 2; ++i) Act([&] { button->click(); }, dialog);
      // Every arrow down, then up from the last: a lower limit climbs only
      // once the upper one above it has.
      QList<QToolButton*> arrows = dialog.findChildren<QToolButton*>();
      std::stable_partition(arrows.begin(), arrows.end(),
                            [](QToolButton* a) { return a->objectName().endsWith("Down"); });
      std::reverse(std::find_if(arrows.begin(), arrows.end(),
                                [](QToolButton* a) { return a->objectName().endsWith("Up"); }),
                   arrows.end());
      for (QToolButton* arrow : arrows)
        for (int i = 0; i < 20; ++i) Act([&] { arrow->click(); }, dialog);
      for (QSlider* slider : dialog.findChildren<QSlider*>())
        for (int v = slider->minimum(); v <= slider->maximum(); ++v)
          Act([&] { slider->setValue(v); }, dialog);
    }
  }
  // Each setting the window sets, with the values seen.
  std::map<std::string, std::set<std::string>> Seen() const { return seen_; }

 private:
  void DriveLists(QWidget& dialog) {
    const QList<QComboBox*> lists = dialog.findChildren<QComboBox*>();
    for (QComboBox* list : lists)
      for (QComboBox* other : lists)
        for (int j = 0; j < other->count(); ++j) {
          Pick(*other, j, dialog);
          for (int i = 0; i < list->count(); ++i) Pick(*list, i, dialog);
        }
  }
  void Pick(QComboBox& list, int index, QWidget& dialog) {
    const auto* items = qobject_cast<QStandardItemModel*>(list.model());
    if (items && !items->item(index)->isEnabled()) return;
    Act([&] { Select(list, index); }, dialog);
  }
  // Does `action`, presses the dialog's buttons ("Close" hands the tag
  // fields over), and notes what the record then holds.
  void Act(const std::function<void()>& action, QWidget& dialog) {
    action();
    if (auto* close = dialog.findChild<QPushButton*>("JvXPButton1");
        close && close->text() == "Close")
      close->click();
    for (const TSetting& setting : format_.Settings) {
      if (!setting.InDialog || setting.Domain.Kind == TValueKind::Text) continue;
      const std::vector<std::string> values = setting.Get(record_);
      seen_[setting.Name].insert(values.empty() ? "(off)" : values.front());
    }
  }

  const TFormat& format_;
  TFormatSettings& record_;
  std::map<std::string, std::set<std::string>> seen_;
};

// The values the command line takes for `setting`, as Seen notes them.
std::set<std::string> CommandLineValues(const TSetting& setting) {
  if (setting.Domain.Kind == TValueKind::Flag) return {"", "(off)"};
  const std::vector<std::string> values = DomainValues(setting.Domain);
  return {values.begin(), values.end()};
}

TEST_F(Options, EveryDialogOffersExactlyTheValuesTheCommandLineTakes) {
  for (const TFormat& format : Formats()) {
    SCOPED_TRACE(format.Name);
    std::vector<QWidget*> dialogs;
    for (TOptionsWindow* dialog : Windows().Dialogs())
      if (dialog->EditedFormat() == format.Name) dialogs.push_back(dialog);
    ASSERT_FALSE(dialogs.empty()) << "a format without a dialog";
    // The tag dialog's boxes reach the files through "Use tags".
    if (format.Name == "mp3") dialogs.push_back(&Form7());
    TProbe probe(format, Ex().Settings.For(format));
    for (QWidget* dialog : dialogs) {
      probe.Drive(*dialog);
      if (format.Name == "mp3") Ex().Mp3Settings.UseTags = true;
    }
    const auto seen = probe.Seen();
    for (const TSetting& setting : format.Settings) {
      if (!setting.InDialog || setting.Domain.Kind == TValueKind::Text) continue;
      ASSERT_TRUE(seen.count(setting.Name)) << setting.Name;
      EXPECT_EQ(seen.at(setting.Name), CommandLineValues(setting)) << setting.Name;
    }
  }
}

}  // namespace
}  // namespace cdx::test
