// Unit2, "Wav options": a view of the WAV settings (the type of the
// files, and the rate, sample width and channels that decide which
// converters the WAV chain inserts). Every control takes effect the moment
// it changes.
#pragma once

#include <QComboBox>
#include <QGroupBox>
#include <QRadioButton>

#include "app/OptionsWindow.h"

namespace cdx {

class TForm2 : public TOptionsWindow {
  Q_OBJECT
 public:
  explicit TForm2(TExtractor& extractor, QWidget* parent = nullptr);
  void ShowSettings() override;

 public slots:
  // The WAV type list.
  void ComboBox1Select(int index);
  // "8" and "16" bits; "Mono" and "Stereo".
  void RadioButton2Click();
  void RadioButton3Click();
  void RadioButton5Click();
  void RadioButton6Click();
  // RadioButton7 to RadioButton12, with the rate of the one selected.
  void RateButtonClick(int rate);

 private:
  void BuildControls();
  TWavSettings& Wav() { return Settings<TWavSettings>(); }
  void ConnectHandlers();

  QGroupBox GroupBox1;
  QComboBox ComboBox1;
  QGroupBox GroupBox2;  // "Bit sample"
  QRadioButton RadioButton2;
  QRadioButton RadioButton3;
  QGroupBox GroupBox3;  // "Channels"
  QRadioButton RadioButton5;
  QRadioButton RadioButton6;
  QGroupBox GroupBox4;  // "Sampling frequency"
  TRateButtons RateButtons;
};

}  // namespace cdx
