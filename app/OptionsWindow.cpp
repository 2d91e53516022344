#include "app/OptionsWindow.h"

#include <QVBoxLayout>
#include <algorithm>

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

TRateButtons::TRateButtons(QGroupBox& box, int selected, std::function<void(int rate)> chosen,
                           std::span<const TChainRate> rates) {
  // The buttons keep the names they have had since the first dialog, which
  // offered every rate.
  constexpr int kFirstButtonNumber = 7;
  box.setTitle("Sampling frequency");
  auto& layout = InstallLayout<QVBoxLayout>(box);
  for (const TChainRate& rate : rates) {
    const auto place = std::find_if(kChainRates.begin(), kChainRates.end(),
                                    [&](const TChainRate& r) { return r.Hz == rate.Hz; }) -
                       kChainRates.begin();
    auto& button = *buttons_.emplace_back(std::make_unique<QRadioButton>(rate.Caption));
    button.setObjectName(QString("RadioButton%1").arg(kFirstButtonNumber + place));
    button.setChecked(rate.Hz == selected);
    layout.addWidget(&button);
    OnSelected(button, &button, [chosen, hz = rate.Hz] { chosen(hz); });
  }
  layout.addStretch(1);
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
