// Unit7, "Mp3 tag settings": a view of the tag dialog's part of the MP3
// settings: the one set of tag texts for the MP3 files, and two rules that
// vary them from file to file. The fields reach the files only through
// "Close" and the options dialog's "Use tags".
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

#include "app/OptionsWindow.h"
#include "app/TitleStrip.h"

namespace cdx {

class TForm7 : public TOptionsWindow {
  Q_OBJECT
 public:
  explicit TForm7(TExtractor& extractor, QWidget* parent = nullptr);
  void ShowSettings() override;
  // The fields as they are now, unchanged.
  const TMP3Tags& Fields() const { return Extractor().Mp3Settings.TagFields; }

 public slots:
  // "Close": hides the dialog and hands the fields over.
  void JvXPButton1Click();

 protected:
  // The fields and the two boxes, which the files get only once handed
  // over.
  void SaveOwnState(QSettings& settings) const override;
  void RestoreOwnState(const QSettings& settings) override;

 private:
  void BuildControls();
  void BuildGenreList();
  void LayOut();
  void ConnectFields();
  // Each field with the tag text it edits.
  std::vector<std::pair<QLineEdit*, std::string TMP3Tags::*>> TextFields();

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
