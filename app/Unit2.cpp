#include "app/Unit2.h"

#include <QLineEdit>
#include <QStandardItemModel>
#include <algorithm>

#include "app/MessageBoxes.h"
#include "app/QtOwnership.h"

namespace cdx {

namespace {

// The WAV types in the order of the list.
constexpr TWavType kListedTypes[] = {wtPCM, wtACM, wtDVIADPCM, wtMSADPCM};

}  // namespace

TForm2::TForm2(TExtractor& extractor, QWidget* parent)
    : TOptionsWindow("Form2", "Wav options", extractor, "wav", parent),
      RateButtons(GroupBox4, extractor.Settings.Of<TWavSettings>("wav").Rate,
                  [this](int rate) { RateButtonClick(rate); }) {
  BuildControls();
  ConnectHandlers();
}

void TForm2::BuildControls() {
  GroupBox1.setObjectName("GroupBox1");
  ComboBox1.setObjectName("ComboBox1");
  ComboBox1.setEditable(true);
  ComboBox1.setInsertPolicy(QComboBox::NoInsert);
  ComboBox1.addItems({"PCM", "ACM", "DVIADPCM", "MSADPCM"});
  // The types the writer cannot write are shown, but cannot be chosen.
  auto* items = qobject_cast<QStandardItemModel*>(ComboBox1.model());
  for (int i = 0; i < ComboBox1.count(); ++i) {
    if (TWaveOut::CanWrite(kListedTypes[i])) continue;
    items->item(i)->setEnabled(false);
    items->item(i)->setToolTip("This type cannot be written");
  }
  ComboBox1.lineEdit()->setPlaceholderText("Wav type");

  GroupBox2.setObjectName("GroupBox2");
  SetUpRadioGroup(
      GroupBox2, "Bit sample",
      {{RadioButton2, "RadioButton2", "8", false}, {RadioButton3, "RadioButton3", "16", true}});
  GroupBox3.setObjectName("GroupBox3");
  SetUpChannelButtons(GroupBox3, RadioButton5, RadioButton6);
  GroupBox4.setObjectName("GroupBox4");

  auto& outer = InstallLayout<QVBoxLayout>(*this);
  outer.addWidget(&GroupBox1);
  auto& inner = InstallLayout<QGridLayout>(GroupBox1);
  inner.addWidget(&ComboBox1, 0, 0, 1, 2);
  inner.addWidget(&GroupBox2, 1, 0);
  inner.addWidget(&GroupBox3, 2, 0);
  inner.addWidget(&GroupBox4, 1, 1, 2, 1);
  setFixedSize(sizeHint());
  ShowSettings();
}

void TForm2::ConnectHandlers() {
  connect(&ComboBox1, &QComboBox::activated, this, &TForm2::ComboBox1Select);
  OnSelected(RadioButton2, this, [this] { RadioButton2Click(); });
  OnSelected(RadioButton3, this, [this] { RadioButton3Click(); });
  OnSelected(RadioButton5, this, [this] { RadioButton5Click(); });
  OnSelected(RadioButton6, this, [this] { RadioButton6Click(); });
}

void TForm2::ShowSettings() {
  const auto* type = std::find(std::begin(kListedTypes), std::end(kListedTypes), Wav().Type);
  ComboBox1.setCurrentIndex(static_cast<int>(type - std::begin(kListedTypes)));
  ShowChecked(Wav().Bits == 8 ? RadioButton2 : RadioButton3, true);
  ShowChecked(Wav().Channels == 1 ? RadioButton5 : RadioButton6, true);
  RateButtons.Show(Wav().Rate);
}

void TForm2::ComboBox1Select(int index) {
  // Only the types the writer can write are taken: the list then shows
  // what the files will be.
  if (index >= 0 && index < static_cast<int>(std::size(kListedTypes)) &&
      TWaveOut::CanWrite(kListedTypes[index]))
    Wav().Type = kListedTypes[index];
  ShowSettings();
}

void TForm2::RadioButton2Click() {
  Wav().Bits = 8;
  ShowMessage(this, "Will work with pcm wav files only !");
}

void TForm2::RadioButton3Click() {
  Wav().Bits = 16;
}

void TForm2::RadioButton5Click() {
  Wav().Channels = 1;
}

void TForm2::RadioButton6Click() {
  Wav().Channels = 2;
}

void TForm2::RateButtonClick(int rate) {
  Wav().Rate = rate;
}

}  // namespace cdx
