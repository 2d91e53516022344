#include "app/Unit3.h"

#include <QGridLayout>
#include <algorithm>
#include <span>

#include "app/QtOwnership.h"

namespace cdx {

namespace {

// The bitrates the list offers, which are also the steps of the VBR limits.
const std::vector<int>& Ladder() {
  static const std::vector<int> ladder = Mp3BitrateLadder();
  return ladder;
}

// The place on the ladder of the number `label` shows, -1 when it is not on
// it.
int LadderPlace(const QLabel& label) {
  const auto found = std::find(Ladder().begin(), Ladder().end(), label.text().toInt());
  return found == Ladder().end() ? -1 : static_cast<int>(found - Ladder().begin());
}

int LastLadderPlace() {
  return static_cast<int>(Ladder().size()) - 1;
}

void SetLadderStep(QLabel& label, int place) {
  label.setText(QString::number(Ladder()[place]));
}

// The domain the MP3 row declares for `setting`.
const TOptionDomain& Mp3Domain(const char* setting) {
  return FindFormat("mp3")->FindSetting(setting)->Domain;
}

}  // namespace

TForm3::TForm3(TExtractor& extractor, QWidget* parent)
    : TOptionsWindow("Form3", "Mp3 options", extractor, "mp3", parent) {
  BuildControls();
  ConnectHandlers();
}

void TForm3::BuildControls() {
  BuildBitrateAndRate();
  BuildMisc();
  BuildChannels();
  BuildSpinGroup(GroupBox5, "GroupBox5", "VBR birates",
                 {{Label3, "Label3", "Min", Label7, "Label7", SpinButton3},
                  {Label4, "Label4", "Max", Label8, "Label8", SpinButton4}});

  BuildSpinGroup(GroupBox7, "GroupBox7", "Quality",
                 {{Label1, "Label1", "Normal", Label5, "Label5", SpinButton1},
                  {Label2, "Label2", "VBR", Label6, "Label6", SpinButton2}});
  BuildTags();
  LayOut();
  ShowSettings();
}

void TForm3::ShowSettings() {
  const TMp3Settings& mp3 = Mp3();
  ComboBox2.setCurrentText(QString::number(mp3.Bitrate));
  const auto rate = std::find(kMp3ListedRates.begin(), kMp3ListedRates.end(), mp3.Rate);
  ComboBox3.setCurrentIndex(
      rate == kMp3ListedRates.end() ? 0 : static_cast<int>(rate - kMp3ListedRates.begin()) + 1);
  for (auto [box, on] : {std::pair{&CheckBox2, mp3.Copyright}, std::pair{&CheckBox3, mp3.Crc},
                         std::pair{&CheckBox4, mp3.Vbr}, std::pair{&CheckBox5, mp3.Original},
                         std::pair{&CheckBox6, mp3.VbrHeader}, std::pair{&CheckBox7, mp3.UseTags}})
    ShowChecked(*box, on);
  // "Keep as it is" stays shown while the mode is the stereo it keeps.
  if (mp3.Mode == MONO)
    ShowChecked(RadioButton18, true);
  else if (RadioButton18.isChecked())
    ShowChecked(RadioButton17, true);
  Label5.setText(QString::number(mp3.Quality));
  Label6.setText(QString::number(mp3.VbrQuality));
  Label7.setText(QString::number(mp3.VbrMin));
  Label8.setText(QString::number(mp3.VbrMax));
}

void TForm3::BuildBitrateAndRate() {
  GroupBox1.setObjectName("GroupBox1");
  GroupBox1.setTitle("Bitrate");
  ComboBox2.setObjectName("ComboBox2");
  for (int kbps : Ladder()) ComboBox2.addItem(QString::number(kbps));
  InstallLayout<QVBoxLayout>(GroupBox1).addWidget(&ComboBox2);

  GroupBox3.setObjectName("GroupBox3");
  GroupBox3.setTitle("Sample rate");
  ComboBox3.setObjectName("ComboBox3");
  // "Default", then kMp3ListedRates.
  ComboBox3.addItems({"Default", "22 kHz", "32 KHz", "44 kHz", "48 kHz"});
  InstallLayout<QVBoxLayout>(GroupBox3).addWidget(&ComboBox3);
}

void TForm3::BuildMisc() {
  GroupBox2.setObjectName("GroupBox2");
  GroupBox2.setTitle("Misc");
  auto& layout = InstallLayout<QVBoxLayout>(GroupBox2);
  const struct {
    QCheckBox& box;
    const char* name;
    const char* caption;
  } boxes[] = {{CheckBox2, "CheckBox2", "Copyright"},
               {CheckBox3, "CheckBox3", "CRC"},
               {CheckBox4, "CheckBox4", "Enable VBR"},
               {CheckBox5, "CheckBox5", "Original"},
               {CheckBox6, "CheckBox6", "Write VBR header"}};
  for (const auto& b : boxes) {
    b.box.setObjectName(b.name);
    b.box.setText(b.caption);
    layout.addWidget(&b.box);
  }
}

void TForm3::BuildChannels() {
  GroupBox4.setObjectName("GroupBox4");
  SetUpRadioGroup(GroupBox4, "Channels",
                  {{RadioButton16, "RadioButton16", "Keep as it is", true},
                   {RadioButton17, "RadioButton17", "Stereo", false},
                   {RadioButton18, "RadioButton18", "Mono", false}});
}

void TForm3::BuildSpinGroup(QGroupBox& box, const char* name, const char* title,
                            std::initializer_list<TSpinRow> rows) {
  box.setObjectName(name);
  box.setTitle(title);
  auto& grid = InstallLayout<QGridLayout>(box);
  int row = 0;
  for (const TSpinRow& r : rows) {
    r.caption.setObjectName(r.captionName);
    r.caption.setText(r.captionText);
    r.value.setObjectName(r.valueName);
    r.value.setMinimumWidth(28);
    r.value.setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    grid.addWidget(&r.caption, row, 0);
    grid.addWidget(&r.value, row, 1);
    grid.addWidget(&r.spin, row, 2);
    ++row;
  }
}

void TForm3::BuildTags() {
  GroupBox6.setObjectName("GroupBox6");
  GroupBox6.setTitle("Mp3 tags");
  CheckBox7.setObjectName("CheckBox7");
  CheckBox7.setText("Use tags");
  JvXPButton1.setObjectName("JvXPButton1");
  JvXPButton1.setText("Edit tags");
  auto& layout = InstallLayout<QVBoxLayout>(GroupBox6);
  layout.addWidget(&CheckBox7);
  layout.addWidget(&JvXPButton1);
}

void TForm3::LayOut() {
  auto& outer = InstallLayout<QGridLayout>(*this);
  outer.addWidget(&GroupBox1, 0, 0);
  outer.addWidget(&GroupBox3, 1, 0);
  outer.addWidget(&GroupBox4, 2, 0);
  outer.addWidget(&GroupBox2, 0, 1, 2, 1);
  outer.addWidget(&GroupBox6, 2, 1);
  outer.addWidget(&GroupBox5, 0, 2, 2, 1);
  outer.addWidget(&GroupBox7, 2, 2);
  setFixedSize(sizeHint());
}

void TForm3::ConnectHandlers() {
  connect(&ComboBox2, &QComboBox::activated, this, &TForm3::ComboBox2Select);
  connect(&ComboBox3, &QComboBox::activated, this, &TForm3::ComboBox3Select);
  connect(&CheckBox2, &QCheckBox::toggled, this, &TForm3::CheckBox2Click);
  connect(&CheckBox3, &QCheckBox::toggled, this, &TForm3::CheckBox3Click);
  connect(&CheckBox4, &QCheckBox::toggled, this, &TForm3::CheckBox4Click);
  connect(&CheckBox5, &QCheckBox::toggled, this, &TForm3::CheckBox5Click);
  connect(&CheckBox6, &QCheckBox::toggled, this, &TForm3::CheckBox6Click);
  connect(&CheckBox7, &QCheckBox::toggled, this, &TForm3::CheckBox7Click);
  OnSelected(RadioButton17, this, [this] { RadioButton17Click(); });
  OnSelected(RadioButton18, this, [this] { RadioButton18Click(); });
  const std::pair<TSpinButton*, std::pair<void (TForm3::*)(), void (TForm3::*)()>> spins[] = {
      {&SpinButton1, {&TForm3::SpinButton1UpClick, &TForm3::SpinButton1DownClick}},
      {&SpinButton2, {&TForm3::SpinButton2UpClick, &TForm3::SpinButton2DownClick}},
      {&SpinButton3, {&TForm3::SpinButton3UpClick, &TForm3::SpinButton3DownClick}},
      {&SpinButton4, {&TForm3::SpinButton4UpClick, &TForm3::SpinButton4DownClick}}};
  for (const auto& [spin, handlers] : spins) {
    connect(&spin->Up, &QToolButton::clicked, this, handlers.first);
    connect(&spin->Down, &QToolButton::clicked, this, handlers.second);
  }
  connect(&JvXPButton1, &QPushButton::clicked, this, &TForm3::JvXPButton1Click);
}

void TForm3::ComboBox2Select(int index) {
  const int kbps = ComboBox2.itemText(index).toInt();
  if (std::find(Ladder().begin(), Ladder().end(), kbps) != Ladder().end()) Mp3().Bitrate = kbps;
}

void TForm3::CheckBox2Click() {
  Mp3().Copyright = CheckBox2.isChecked();
}

void TForm3::CheckBox3Click() {
  Mp3().Crc = CheckBox3.isChecked();
}

void TForm3::CheckBox4Click() {
  Mp3().Vbr = CheckBox4.isChecked();
}

void TForm3::CheckBox5Click() {
  Mp3().Original = CheckBox5.isChecked();
}

void TForm3::CheckBox6Click() {
  Mp3().VbrHeader = CheckBox6.isChecked();
}

void TForm3::ComboBox3Select(int index) {
  if (index == 0) Mp3().Rate = 0;
  if (index > 0 && index <= static_cast<int>(kMp3ListedRates.size()))
    Mp3().Rate = kMp3ListedRates[index - 1];
}

void TForm3::RadioButton17Click() {
  Mp3().Mode = STEREO;
}

void TForm3::RadioButton18Click() {
  Mp3().Mode = MONO;
}

void TForm3::StepQuality(QLabel& label, int step, const char* setting, int TMp3Settings::*field) {
  const TOptionDomain& domain = Mp3Domain(setting);
  const int value = label.text().toInt();
  if (step > 0 ? value >= domain.High : value <= domain.Low) return;
  label.setText(QString::number(value + step));
  Mp3().*field = value + step;
}

void TForm3::SpinButton1UpClick() {
  StepQuality(Label5, +1, "quality", &TMp3Settings::Quality);
}

void TForm3::SpinButton1DownClick() {
  StepQuality(Label5, -1, "quality", &TMp3Settings::Quality);
}

void TForm3::SpinButton2UpClick() {
  StepQuality(Label6, +1, "vbr-quality", &TMp3Settings::VbrQuality);
}

void TForm3::SpinButton2DownClick() {
  StepQuality(Label6, -1, "vbr-quality", &TMp3Settings::VbrQuality);
}

// The VBR limits: Min never passes Max, Max never drops below Min. After
// each arrow the writer takes the label's value, moved or not.
void TForm3::SpinButton3UpClick() {
  const int place = LadderPlace(Label7);
  if (place >= 0 && place < LastLadderPlace() && Label7.text().toInt() < Label8.text().toInt())
    SetLadderStep(Label7, place + 1);
  Mp3().VbrMin = Label7.text().toInt();
}

void TForm3::SpinButton3DownClick() {
  const int place = LadderPlace(Label7);
  if (place > 0) SetLadderStep(Label7, place - 1);
  Mp3().VbrMin = Label7.text().toInt();
}

void TForm3::SpinButton4UpClick() {
  const int place = LadderPlace(Label8);
  if (place >= 0 && place < LastLadderPlace()) SetLadderStep(Label8, place + 1);
  Mp3().VbrMax = Label8.text().toInt();
}

void TForm3::SpinButton4DownClick() {
  const int place = LadderPlace(Label8);
  if (place > 0 && Label8.text().toInt() > Label7.text().toInt()) SetLadderStep(Label8, place - 1);
  Mp3().VbrMax = Label8.text().toInt();
}

void TForm3::SaveOwnState(QSettings& settings) const {
  settings.setValue(SettingKey("UseTags"), CheckBox7.isChecked());
}

void TForm3::RestoreOwnState(const QSettings& settings) {
  // What the files get was kept with the settings; this is only the box.
  Mp3().UseTags = settings.value(SettingKey("UseTags"), false).toBool();
}

void TForm3::CheckBox7Click() {
  Mp3().UseTags = CheckBox7.isChecked();
  Mp3().HandOverTagFields();
}

void TForm3::JvXPButton1Click() {
  emit EditTagsRequested();
}

}  // namespace cdx
