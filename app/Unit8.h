// Unit8, "Opus options": a view of the Opus settings (the bitrate, its
// mode and the complexity of the encoder, the channels of the chain).
// Every control takes effect the moment it changes.
#pragma once

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QSlider>

#include "app/OptionsWindow.h"
#include "extractor/formats/OpusFormat.h"

namespace cdx {

class TForm8 : public TOptionsWindow {
  Q_OBJECT
 public:
  explicit TForm8(TExtractor& extractor, QWidget* parent = nullptr);
  void ShowSettings() override;

 public slots:
  // The bitrate and complexity track bars, when released.
  void JvTrackBar1Changed();
  void JvTrackBar2Changed();
  // "Mono" and "Stereo".
  void RadioButton5Click();
  void RadioButton6Click();
  // "VBR", "Constrained VBR" or "CBR".
  void ComboBox1Select(int index);

 private:
  void BuildControls();
  void BuildTrackBar(QGroupBox& box, const char* boxName, const char* title, QSlider& bar,
                     const char* barName, int low, int high, QLabel& left, QLabel& right);
  void ConnectHandlers();
  void ShowBitrate();
  TOpusSettings& Opus() { return Settings<TOpusSettings>(); }

  QGroupBox GroupBox1;  // "Bitrate"
  QSlider JvTrackBar1;
  QLabel Label1;        // the lowest bitrate
  QLabel Label2;        // the bitrate set, "128 kbit/s"
  QGroupBox GroupBox2;  // "Channels"
  QRadioButton RadioButton5;
  QRadioButton RadioButton6;
  QGroupBox GroupBox3;  // "Bitrate mode"
  QComboBox ComboBox1;
  QGroupBox GroupBox4;  // "Complexity"
  QSlider JvTrackBar2;
  QLabel Label3;  // "fast"
  QLabel Label4;  // "best"
};

}  // namespace cdx
