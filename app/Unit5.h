// Unit5, "Flac options": a view of the FLAC settings (the rate and
// channels of the chain, the best model search of the encoder). Every
// control takes effect the moment it changes.
#pragma once

#include <QComboBox>
#include <QGroupBox>
#include <QRadioButton>

#include "app/OptionsWindow.h"

namespace cdx {

class TForm5 : public TOptionsWindow {
  Q_OBJECT
 public:
  explicit TForm5(TExtractor& extractor, QWidget* parent = nullptr);
  void ShowSettings() override;

 public slots:
  // "Mono" and "Stereo".
  void RadioButton5Click();
  void RadioButton6Click();
  // RadioButton8 to RadioButton12, with the rate of the one selected.
  void RateButtonClick(int rate);
  // "Best model search": "No" or "Yes".
  void ComboBox1Select(int index);

 private:
  void BuildControls();
  void ConnectHandlers();
  TFlacSettings& Flac() { return Settings<TFlacSettings>(); }

  QGroupBox GroupBox1;  // "Sampling frequency"
  TRateButtons RateButtons;
  QGroupBox GroupBox2;  // "Channels"
  QRadioButton RadioButton5;
  QRadioButton RadioButton6;
  QGroupBox GroupBox3;  // "Best model search"
  QComboBox ComboBox1;
};

}  // namespace cdx
