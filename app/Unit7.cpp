#include "app/Unit7.h"

#include <QGridLayout>

#include "app/QtOwnership.h"
#include "app/Unit3.h"

namespace cdx {

namespace {

// The ID3v1 genres as far as the table went at "Dance Hall", number 125.
constexpr int kListedGenres = 126;

// The number `text` starts with, or `otherwise` when it starts with none.
int LeadingNumber(const QString& text, int otherwise) {
  const QString trimmed = text.trimmed();
  qsizetype digits = 0;
  while (digits < trimmed.size() && digits < 9 && trimmed[digits].isDigit()) ++digits;
  return digits > 0 ? trimmed.left(digits).toInt() : otherwise;
}

}  // namespace

TForm7::TForm7(TExtractor& extractor, QWidget* parent)
    : TOptionsWindow("Form7", "Mp3 tag settings", extractor, "", parent) {
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, QColor("#EAEAEE"));
  setPalette(palette);
  BuildControls();
  LayOut();
  connect(&JvXPButton1, &QPushButton::clicked, this, &TForm7::JvXPButton1Click);
}

void TForm7::BuildControls() {
  const struct {
    QGroupBox& box;
    const char* boxName;
    const char* title;
    QLineEdit& edit;
    const char* editName;
  } fields[] = {{GroupBox1, "GroupBox1", "Album", Edit1, "Edit1"},
                {GroupBox2, "GroupBox2", "Artist", Edit2, "Edit2"},
                {GroupBox3, "GroupBox3", "Title", Edit3, "Edit3"},
                {GroupBox4, "GroupBox4", "Track", Edit4, "Edit4"},
                {GroupBox5, "GroupBox5", "Year", Edit5, "Edit5"},
                {GroupBox6, "GroupBox6", "Comment", Edit7, "Edit7"}};
  for (const auto& f : fields) {
    f.box.setObjectName(f.boxName);
    f.box.setTitle(f.title);
    f.edit.setObjectName(f.editName);
    InstallLayout<QHBoxLayout>(f.box).addWidget(&f.edit);
  }
  Edit4.setFixedWidth(60);
  Edit5.setFixedWidth(60);
  Edit7.setMinimumWidth(300);
  CheckBox2.setObjectName("CheckBox2");
  CheckBox2.setText("Filename as title");
  CheckBox1.setObjectName("CheckBox1");
  CheckBox1.setText("Increment track");
  BuildGenreList();
  JvXPButton1.setObjectName("JvXPButton1");
  JvXPButton1.setText("Close");
}

void TForm7::BuildGenreList() {
  GroupBox7.setObjectName("GroupBox7");
  GroupBox7.setTitle("Genre");
  ComboBox1.setObjectName("ComboBox1");
  ComboBox1.setEditable(true);
  ComboBox1.setInsertPolicy(QComboBox::NoInsert);
  ComboBox1.setMaxVisibleItems(25);
  // The library's own names, so every one of them gets its number in the
  // file.
  ComboBox1.addItem(QString());
  const std::vector<std::string> genres = LameGenreNames();
  for (int number = 0; number < kListedGenres && number < static_cast<int>(genres.size()); ++number)
    ComboBox1.addItem(QString::fromStdString(genres[number]));
  ComboBox1.setCurrentIndex(0);
  InstallLayout<QHBoxLayout>(GroupBox7).addWidget(&ComboBox1);
}

void TForm7::LayOut() {
  auto& outer = InstallLayout<QVBoxLayout>(*this);
  outer.setContentsMargins(0, 0, 0, 6);
  outer.addWidget(&JvGradientCaption1);
  auto& grid = AddLayout<QGridLayout>(outer);
  grid.setContentsMargins(6, 0, 6, 0);
  grid.addWidget(&GroupBox1, 0, 0, 1, 2);
  grid.addWidget(&GroupBox2, 1, 0, 1, 2);
  grid.addWidget(&GroupBox3, 2, 0);
  grid.addWidget(&CheckBox2, 2, 1);
  grid.addWidget(&GroupBox4, 3, 0);
  grid.addWidget(&CheckBox1, 3, 1);
  grid.addWidget(&GroupBox5, 4, 0);
  grid.addWidget(&GroupBox7, 4, 1);
  grid.addWidget(&GroupBox6, 5, 0, 1, 2);
  grid.addWidget(&JvXPButton1, 6, 1, Qt::AlignRight);
  setFixedSize(sizeHint());
}

TMP3Tags TForm7::Fields() const {
  return {.Title = Edit3.text().toStdString(),
          .Artist = Edit2.text().toStdString(),
          .Album = Edit1.text().toStdString(),
          .Year = Edit5.text().toStdString(),
          .Track = Edit4.text().toStdString(),
          .Comment = Edit7.text().toStdString(),
          .Genre = ComboBox1.currentText().toStdString()};
}

TMp3TagRules TForm7::Rules() const {
  return {.FilenameAsTitle = CheckBox2.isChecked(),
          .IncrementTrack = CheckBox1.isChecked(),
          .FirstTrack = LeadingNumber(Edit4.text(), 1)};
}

void TForm7::SaveOwnState(QSettings& settings) const {
  settings.setValue(SettingKey("Genre"), ComboBox1.currentText());
}

void TForm7::RestoreOwnState(const QSettings& settings) {
  const QVariant genre = settings.value(SettingKey("Genre"));
  if (genre.isValid()) ComboBox1.setEditText(genre.toString());
  // This dialog's fields come back after "Use tags" (its dialog is restored
  // first), so the tags are handed over again now that they are complete.
  if (optionsDialog_) optionsDialog_->ApplyTagFields();
}

void TForm7::JvXPButton1Click() {
  hide();
  if (optionsDialog_) optionsDialog_->ApplyTagFields();
}

}  // namespace cdx
