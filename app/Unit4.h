// Unit4, "Ogg stettings": a view of the Ogg settings (the quality and the
// three bitrates of the encoder, the channels of the chain). Every control
// takes effect the moment it changes.
#pragma once

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QSlider>

#include "app/OptionsWindow.h"

namespace cdx {

class TForm4 : public TOptionsWindow {
  Q_OBJECT
 public:
  explicit TForm4(TExtractor& extractor, QWidget* parent = nullptr);
  void ShowSettings() override;

 public slots:
  // The quality track bar, when released.
  void JvTrackBar1Changed();
  // "Keep as it is", "Mono", "Stereo".
  void RadioButton19Click();
  void RadioButton20Click();
  void RadioButton21Click();
  // The bitrate lists: nominal, maximum and minimum.
  void ComboBox5Select(int index);
  void ComboBox4Select(int index);
  void ComboBox6Select(int index);

 private:
  void BuildControls();
  void BuildBitrateLists();
  void ConnectHandlers();
  // Hands the three lists' bitrates to the settings, nominal first, so
  // that they hold what the lists show wherever the writer's rules allow.
  void WriteBitrates();
  TOggSettings& Ogg() { return Settings<TOggSettings>(); }

  QGroupBox GroupBox1;  // "Compression modifier"
  QSlider JvTrackBar1;
  QLabel Label1;        // "size"
  QLabel Label2;        // "quality"
  QGroupBox GroupBox2;  // "Channels"
  QRadioButton RadioButton19;
  QRadioButton RadioButton20;
  QRadioButton RadioButton21;
  QGroupBox GroupBox3;  // "Bitrate"
  QGroupBox GroupBox4;  // "Desired nominal"
  QComboBox ComboBox5;
  QGroupBox GroupBox5;  // "Desired maximum"
  QComboBox ComboBox4;
  QGroupBox GroupBox6;  // "Minimum Bitrate"
  QComboBox ComboBox6;
};

}  // namespace cdx
