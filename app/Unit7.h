// "Mp3 tag settings": the one set of tag texts for the MP3 files, and two
// rules that vary them from file to file. The fields reach MP3Out1 only
// through "Close" and the options dialog's "Use tags".
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

#include "app/OptionsWindow.h"
#include "app/TitleStrip.h"

namespace cdx {

class TForm3;

class TForm7 : public TOptionsWindow {
  Q_OBJECT
 public:
  explicit TForm7(TExtractor& extractor, QWidget* parent = nullptr);

  // The dialog whose "Use tags" decides what "Close" does.
  void SetOptionsDialog(TForm3* dialog) { optionsDialog_ = dialog; }
  // The fields as they are now, unchanged.
  TMP3Tags Fields() const;
  // "Filename as title" and "Increment track", from the typed track number
  // (1 when it starts with none).
  TMp3TagRules Rules() const;

 public slots:
  void JvXPButton1Click();

 protected:
  // The genre text, which may be typed; and the tags as the fields now are
  // go to MP3Out1 when "Use tags" is checked.
  void SaveOwnState(QSettings& settings) const override;
  void RestoreOwnState(const QSettings& settings) override;

 private:
  void BuildControls();
  void BuildGenreList();
  void LayOut();

  TForm3* optionsDialog_ = nullptr;

  TTitleStrip JvGradientCaption1{nullptr, "", "Mp3 tag settings"};
  QGroupBox GroupBox1;  // "Album"
  QLineEdit Edit1;
  QGroupBox GroupBox2;  // "Artist"
  QLineEdit Edit2;
  QGroupBox GroupBox3;  // "Title"
  QLineEdit Edit3;
  QCheckBox CheckBox2;
  QGroupBox GroupBox4;  // "Track"
  QLineEdit Edit4;
  QCheckBox CheckBox1;
  QGroupBox GroupBox5;  // "Year"
  QLineEdit Edit5;
  QGroupBox GroupBox6;  // "Comment"
  QLineEdit Edit7;
  QGroupBox GroupBox7;  // "Genre"
  QComboBox ComboBox1;
  QPushButton JvXPButton1;
};

}  // namespace cdx
