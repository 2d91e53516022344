// Unit3, "Mp3 options": a view of the MP3 settings (the encoder's, and
// whether the files get the tag dialog's texts). Every control takes effect
// the moment it changes; the value labels of the spin buttons show the
// settings' values.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include "app/OptionsWindow.h"

namespace cdx {

class TForm3 : public TOptionsWindow {
  Q_OBJECT
 public:
  explicit TForm3(TExtractor& extractor, QWidget* parent = nullptr);
  void ShowSettings() override;
  bool UseTags() const { return CheckBox7.isChecked(); }

 signals:
  // "Edit tags": the tag dialog is to be shown.
  void EditTagsRequested();

 public slots:
  // The bitrate list.
  void ComboBox2Select(int index);
  // "Copyright", "CRC", "Enable VBR", "Original", "Write VBR header".
  void CheckBox2Click();
  void CheckBox3Click();
  void CheckBox4Click();
  void CheckBox5Click();
  void CheckBox6Click();
  // The sample rate list.
  void ComboBox3Select(int index);
  // "Stereo" and "Mono" ("Keep as it is" sets nothing).
  void RadioButton17Click();
  void RadioButton18Click();
  // The arrows of the quality (1, 2) and the VBR limits (3 Min, 4 Max).
  void SpinButton1UpClick();
  void SpinButton1DownClick();
  void SpinButton2UpClick();
  void SpinButton2DownClick();
  void SpinButton3UpClick();
  void SpinButton3DownClick();
  void SpinButton4UpClick();
  void SpinButton4DownClick();
  // "Use tags", and "Edit tags".
  void CheckBox7Click();
  void JvXPButton1Click();

 protected:
  // "Use tags", which is no setting of the files.
  void SaveOwnState(QSettings& settings) const override;
  void RestoreOwnState(const QSettings& settings) override;

 private:
  void BuildControls();
  void BuildBitrateAndRate();
  void BuildMisc();
  void BuildChannels();
  // A caption, its value label and its spin button.
  struct TSpinRow {
    QLabel& caption;
    const char* captionName;
    const char* captionText;
    QLabel& value;
    const char* valueName;
    TSpinButton& spin;
  };
  void BuildSpinGroup(QGroupBox& box, const char* name, const char* title,
                      std::initializer_list<TSpinRow> rows);
  void BuildTags();
  void LayOut();
  void ConnectHandlers();
  TMp3Settings& Mp3() { return Settings<TMp3Settings>(); }
  // Moves a quality label one step within its setting's domain.
  void StepQuality(QLabel& label, int step, const char* setting, int TMp3Settings::*field);

  QGroupBox GroupBox1;  // "Bitrate"
  QComboBox ComboBox2;
  QGroupBox GroupBox2;  // "Misc"
  QCheckBox CheckBox2;
  QCheckBox CheckBox3;
  QCheckBox CheckBox4;
  QCheckBox CheckBox5;
  QCheckBox CheckBox6;
  QGroupBox GroupBox3;  // "Sample rate"
  QComboBox ComboBox3;
  QGroupBox GroupBox4;  // "Channels"
  QRadioButton RadioButton16;
  QRadioButton RadioButton17;
  QRadioButton RadioButton18;
  QGroupBox GroupBox5;  // "VBR birates"
  QLabel Label3;        // "Min"
  QLabel Label7;
  TSpinButton SpinButton3{"SpinButton3"};
  QLabel Label4;  // "Max"
  QLabel Label8;
  TSpinButton SpinButton4{"SpinButton4"};
  QGroupBox GroupBox6;  // "Mp3 tags"
  QCheckBox CheckBox7;
  QPushButton JvXPButton1;
  QGroupBox GroupBox7;  // "Quality"
  QLabel Label1;        // "Normal"
  QLabel Label5;
  TSpinButton SpinButton1{"SpinButton1"};
  QLabel Label2;  // "VBR"
  QLabel Label6;
  TSpinButton SpinButton2{"SpinButton2"};
};

}  // namespace cdx
