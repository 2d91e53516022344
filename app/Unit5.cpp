#include "app/Unit5.h"

#include <QGridLayout>
#include <QVBoxLayout>

#include "app/QtOwnership.h"

namespace cdx {

TForm5::TForm5(TExtractor& extractor, QWidget* parent)
    : TOptionsWindow("Form5", "Flac options", extractor, "flac", parent),
      RateButtons(
          GroupBox1, extractor.Settings.Of<TFlacSettings>("flac").Rate,
          [this](int rate) { RateButtonClick(rate); }, kFlacChainRates) {
  BuildControls();
  ConnectHandlers();
}

void TForm5::BuildControls() {
  GroupBox1.setObjectName("GroupBox1");
  GroupBox2.setObjectName("GroupBox2");
  SetUpChannelButtons(GroupBox2, RadioButton5, RadioButton6);

  GroupBox3.setObjectName("GroupBox3");
  GroupBox3.setTitle("Best model search");
  ComboBox1.setObjectName("ComboBox1");
  ComboBox1.addItems({"No", "Yes"});
  ComboBox1.setCurrentIndex(0);
  InstallLayout<QVBoxLayout>(GroupBox3).addWidget(&ComboBox1);

  auto& outer = InstallLayout<QGridLayout>(*this);
  outer.addWidget(&GroupBox1, 0, 0, 2, 1);
  outer.addWidget(&GroupBox2, 0, 1);
  outer.addWidget(&GroupBox3, 1, 1);
  setFixedSize(sizeHint());
  ShowSettings();
}

void TForm5::ShowSettings() {
  RateButtons.Show(Flac().Rate);
  ShowChecked(Flac().Channels == 1 ? RadioButton5 : RadioButton6, true);
  ComboBox1.setCurrentIndex(Flac().BestModelSearch ? 1 : 0);
}

void TForm5::ConnectHandlers() {
  OnSelected(RadioButton5, this, [this] { RadioButton5Click(); });
  OnSelected(RadioButton6, this, [this] { RadioButton6Click(); });
  connect(&ComboBox1, &QComboBox::activated, this, &TForm5::ComboBox1Select);
}

void TForm5::RadioButton5Click() {
  Flac().Channels = 1;
}

void TForm5::RadioButton6Click() {
  Flac().Channels = 2;
}

void TForm5::RateButtonClick(int rate) {
  Flac().Rate = rate;
}

void TForm5::ComboBox1Select(int index) {
  // The writer's setter also turns plain mid-side stereo on for "Yes".
  if (index == 0 || index == 1) Flac().BestModelSearch = index == 1;
}

}  // namespace cdx
