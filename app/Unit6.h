// Unit6, "Mac options": a view of the Monkey's Audio settings (the rate
// and channels of the chain, the compression level). Every control takes
// effect the moment it changes.
#pragma once

#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QToolButton>

#include "app/OptionsWindow.h"

namespace cdx {

class TForm6 : public TOptionsWindow {
  Q_OBJECT
 public:
  explicit TForm6(TExtractor& extractor, QWidget* parent = nullptr);
  void ShowSettings() override;

 public slots:
  // "Mono" and "Stereo".
  void RadioButton5Click();
  void RadioButton6Click();
  // RadioButton7 to RadioButton12, with the rate of the one selected.
  void RateButtonClick(int rate);
  // The level box, and its arrows that step it on the ladder.
  void Edit1Change();
  void SpinButton1UpClick();
  void SpinButton1DownClick();

 private:
  void BuildControls();
  void ConnectHandlers();
  TApeSettings& Ape() { return Settings<TApeSettings>(); }

  QGroupBox GroupBox1;  // "Sampling frequency"
  TRateButtons RateButtons;
  QGroupBox GroupBox2;  // "Channels"
  QRadioButton RadioButton5;
  QRadioButton RadioButton6;
  QGroupBox GroupBox3;  // "Compression level"
  QLineEdit Edit1;
  QWidget SpinButton1;
  QToolButton SpinButton1Up;
  QToolButton SpinButton1Down;
};

}  // namespace cdx
