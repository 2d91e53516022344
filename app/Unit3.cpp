#include "app/Unit3.h"

#include <QGridLayout>
#include <algorithm>
#include <span>

#include "app/QtOwnership.h"
#include "app/Unit7.h"

namespace cdx {

namespace {

// The bitrates the list offers, which are also the steps of the VBR limits:
// 32 to 320 kbit/s.
constexpr int kFirstListedBitRate = br32;
const std::span<const int> kLadder = std::span(kMP3BitRates).subspan(kFirstListedBitRate);

// The sample rates of the rate list, in its order.
constexpr TMP3SampleRate kListedRates[] = {srDefault, sr22kHz, sr32kHz, sr44kHz, sr48kHz};

// The place on the ladder of the number `label` shows, -1 when it is not on
// it.
int LadderPlace(const QLabel& label) {
  const auto found = std::find(kLadder.begin(), kLadder.end(), label.text().toInt());
  return found == kLadder.end() ? -1 : static_cast<int>(found - kLadder.begin());
}

int LastLadderPlace() {
  return static_cast<int>(kLadder.size()) - 1;
}

void SetLadderStep(QLabel& label, int place) {
  label.setText(QString::number(kLadder[place]));
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
  Label7.setText(QString::number(Writer().VBRMinBitrate()));
  Label8.setText(QString::number(Writer().VBRMaxBitrate()));
  BuildSpinGroup(GroupBox7, "GroupBox7", "Quality",
                 {{Label1, "Label1", "Normal", Label5, "Label5", SpinButton1},
                  {Label2, "Label2", "VBR", Label6, "Label6", SpinButton2}});
  Label5.setText(QString::number(Writer().Quality()));
  Label6.setText(QString::number(Writer().VBRQuality()));
  BuildTags();
  LayOut();
}

void TForm3::BuildBitrateAndRate() {
  GroupBox1.setObjectName("GroupBox1");
  GroupBox1.setTitle("Bitrate");
  ComboBox2.setObjectName("ComboBox2");
  for (int kbps : kLadder) ComboBox2.addItem(QString::number(kbps));
  ComboBox2.setCurrentText(QString::number(kMP3BitRates.at(Writer().BitRate())));
  InstallLayout<QVBoxLayout>(GroupBox1).addWidget(&ComboBox2);

  GroupBox3.setObjectName("GroupBox3");
  GroupBox3.setTitle("Sample rate");
  ComboBox3.setObjectName("ComboBox3");
  ComboBox3.addItems({"Default", "22 kHz", "32 KHz", "44 kHz", "48 kHz"});
  ComboBox3.setCurrentIndex(0);
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
    bool on;
  } boxes[] = {{CheckBox2, "CheckBox2", "Copyright", Writer().Copyright()},
               {CheckBox3, "CheckBox3", "CRC", Writer().CRC()},
               {CheckBox4, "CheckBox4", "Enable VBR", Writer().EnableVBR()},
               {CheckBox5, "CheckBox5", "Original", Writer().Original()},
               {CheckBox6, "CheckBox6", "Write VBR header", Writer().WriteVBRHeader()}};
  for (const auto& b : boxes) {
    b.box.setObjectName(b.name);
    b.box.setText(b.caption);
    b.box.setChecked(b.on);
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
  const auto found = std::find(kMP3BitRates.begin(), kMP3BitRates.end(), kbps);
  if (found != kMP3BitRates.end())
    Writer().SetBitRate(static_cast<TMP3BitRate>(found - kMP3BitRates.begin()));
}

void TForm3::CheckBox2Click() {
  Writer().SetCopyright(CheckBox2.isChecked());
}

void TForm3::CheckBox3Click() {
  Writer().SetCRC(CheckBox3.isChecked());
}

void TForm3::CheckBox4Click() {
  Writer().SetEnableVBR(CheckBox4.isChecked());
}

void TForm3::CheckBox5Click() {
  Writer().SetOriginal(CheckBox5.isChecked());
}

void TForm3::CheckBox6Click() {
  Writer().SetWriteVBRHeader(CheckBox6.isChecked());
}

void TForm3::ComboBox3Select(int index) {
  if (index >= 0 && index < static_cast<int>(std::size(kListedRates)))
    Writer().SetSampleRate(kListedRates[index]);
}

void TForm3::RadioButton17Click() {
  Writer().SetMode(STEREO);
}

void TForm3::RadioButton18Click() {
  Writer().SetMode(MONO);
}

void TForm3::StepQuality(QLabel& label, int step, void (TMP3Out::*set)(TMP3Quality)) {
  // The arrows offer 1 to 9.
  const int value = label.text().toInt();
  if (step > 0 ? value >= 9 : value <= 1) return;
  label.setText(QString::number(value + step));
  (Writer().*set)(static_cast<TMP3Quality>(value + step));
}

void TForm3::SpinButton1UpClick() {
  StepQuality(Label5, +1, &TMP3Out::SetQuality);
}

void TForm3::SpinButton1DownClick() {
  StepQuality(Label5, -1, &TMP3Out::SetQuality);
}

void TForm3::SpinButton2UpClick() {
  StepQuality(Label6, +1, &TMP3Out::SetVBRQuality);
}

void TForm3::SpinButton2DownClick() {
  StepQuality(Label6, -1, &TMP3Out::SetVBRQuality);
}

// The VBR limits: Min never passes Max, Max never drops below Min. After
// each arrow the writer takes the label's value, moved or not.
void TForm3::SpinButton3UpClick() {
  const int place = LadderPlace(Label7);
  if (place >= 0 && place < LastLadderPlace() && Label7.text().toInt() < Label8.text().toInt())
    SetLadderStep(Label7, place + 1);
  Writer().SetVBRMinBitrate(Label7.text().toInt());
}

void TForm3::SpinButton3DownClick() {
  const int place = LadderPlace(Label7);
  if (place > 0) SetLadderStep(Label7, place - 1);
  Writer().SetVBRMinBitrate(Label7.text().toInt());
}

void TForm3::SpinButton4UpClick() {
  const int place = LadderPlace(Label8);
  if (place >= 0 && place < LastLadderPlace()) SetLadderStep(Label8, place + 1);
  Writer().SetVBRMaxBitrate(Label8.text().toInt());
}

void TForm3::SpinButton4DownClick() {
  const int place = LadderPlace(Label8);
  if (place > 0 && Label8.text().toInt() > Label7.text().toInt()) SetLadderStep(Label8, place - 1);
  Writer().SetVBRMaxBitrate(Label8.text().toInt());
}

void TForm3::SaveOwnState(QSettings& settings) const {
  for (const QLabel* label : {&Label5, &Label6, &Label7, &Label8})
    settings.setValue(SettingKey(label->objectName()), label->text().toInt());
  settings.setValue(SettingKey("Mode"), int{Extractor().MP3Out1->Mode()});
}

void TForm3::RestoreOwnState(const QSettings& settings) {
  auto saved = [&](const QString& name, int otherwise) {
    bool ok = false;
    const int value = settings.value(SettingKey(name)).toInt(&ok);
    return ok ? value : otherwise;
  };
  for (auto [label, set] :
       {std::pair{&Label5, &TMP3Out::SetQuality}, std::pair{&Label6, &TMP3Out::SetVBRQuality}}) {
    const int quality = saved(label->objectName(), 0);
    if (quality < 1 || quality > 9) continue;
    label->setText(QString::number(quality));
    (Writer().*set)(static_cast<TMP3Quality>(quality));
  }
  // Limits off the ladder, or crossed, are not taken.
  const int min = saved(Label7.objectName(), 0), max = saved(Label8.objectName(), 0);
  auto onLadder = [](int kbps) {
    return std::find(kLadder.begin(), kLadder.end(), kbps) != kLadder.end();
  };
  if (onLadder(min) && onLadder(max) && min <= max) {
    Label7.setText(QString::number(min));
    Label8.setText(QString::number(max));
    Writer().SetVBRMinBitrate(min);
    Writer().SetVBRMaxBitrate(max);
  }
  const int mode = saved("Mode", -1);
  if (mode >= STEREO && mode <= MONO) Writer().SetMode(static_cast<TMP3Mode>(mode));
}

void TForm3::CheckBox7Click() {
  ApplyTagFields();
}

void TForm3::ApplyTagFields() {
  if (!CheckBox7.isChecked() || !tagDialog_) {
    Writer().SetId3Tags({});
    Extractor().Mp3TagRules = {};
    return;
  }
  Writer().SetId3Tags(tagDialog_->Fields());
  Extractor().Mp3TagRules = tagDialog_->Rules();
}

void TForm3::JvXPButton1Click() {
  if (tagDialog_) tagDialog_->ShowNonModal();
}

}  // namespace cdx
