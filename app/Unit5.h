// "Flac options": the rate and channels of the FLAC chain and the best
// model search of FLACOut1. Every control takes effect the moment it
// changes.
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

 public slots:
  void RadioButton5Click();
  void RadioButton6Click();
  // RadioButton8 to RadioButton12, with the rate of the one selected.
  void RateButtonClick(int rate);
  void ComboBox1Select(int index);

 private:
  void BuildControls();
  void ConnectHandlers();

  QGroupBox GroupBox1;  // "Sampling frequency"
  TRateButtons RateButtons;
  QGroupBox GroupBox2;  // "Channels"
  QRadioButton RadioButton5;
  QRadioButton RadioButton6;
  QGroupBox GroupBox3;  // "Best model search"
  QComboBox ComboBox1;
};

}  // namespace cdx
