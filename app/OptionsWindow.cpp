#include "app/OptionsWindow.h"

#include <QVBoxLayout>

#include "app/QtOwnership.h"

namespace cdx {

TOptionsWindow::TOptionsWindow(const QString& objectName, const QString& title,
                               TExtractor& extractor, std::string format, QWidget* parent)
    : QDialog(parent), extractor_(extractor), format_(std::move(format)) {
  setObjectName(objectName);
  setWindowTitle(title);
  setModal(false);
  setAttribute(Qt::WA_QuitOnClose, false);
  setAutoFillBackground(true);
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, QColor(kWindowColour));
  setPalette(palette);
}

void SetUpRadioGroup(QGroupBox& box, const char* title,
                     std::initializer_list<TRadioChoice> choices) {
  box.setTitle(title);
  auto& layout = InstallLayout<QVBoxLayout>(box);
  for (const TRadioChoice& c : choices) {
    c.button.setObjectName(c.name);
    c.button.setText(c.caption);
    c.button.setChecked(c.on);
    layout.addWidget(&c.button);
  }
  layout.addStretch(1);
}

void SetUpRateButtons(QGroupBox& box, QRadioButton& b88200, QRadioButton& b44100,
                      QRadioButton& b32000, QRadioButton& b22050, QRadioButton& b11025,
                      QRadioButton& b8000) {
  SetUpRadioGroup(box, "Sampling frequency",
                  {{b88200, "RadioButton7", "88200 (not recommended)", false},
                   {b44100, "RadioButton8", "44100", true},
                   {b32000, "RadioButton9", "32000", false},
                   {b22050, "RadioButton10", "22050", false},
                   {b11025, "RadioButton11", "11025", false},
                   {b8000, "RadioButton12", "8000", false}});
}

void SetUpChannelButtons(QGroupBox& box, QRadioButton& mono, QRadioButton& stereo) {
  SetUpRadioGroup(
      box, "Channels",
      {{mono, "RadioButton5", "Mono", false}, {stereo, "RadioButton6", "Stereo", true}});
}

void TOptionsWindow::ShowNonModal() {
  show();
  raise();
  activateWindow();
}

}  // namespace cdx
