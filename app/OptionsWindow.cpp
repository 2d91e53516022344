#include "app/OptionsWindow.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QComboBox>
#include <QGridLayout>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <algorithm>

#include "app/MessageBoxes.h"
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

namespace {

QString SettingsGroup(const std::string& format) {
  return "Formats/" + QString::fromStdString(format) + "/";
}

}  // namespace

void TOptionsWindow::SaveSettings(QSettings& settings) const {
  if (const TFormat* format = FindFormat(format_)) {
    const TFormatSettings& record = extractor_.Settings.For(*format);
    for (const TSetting& setting : format->Settings) {
      if (!setting.InDialog) continue;
      // One value each (a flag that is off has none, and no key).
      const std::vector<std::string> values = setting.Get(record);
      const QString key = SettingsGroup(format_) + QString::fromStdString(setting.Name);
      if (values.empty())
        settings.remove(key);
      else
        settings.setValue(key, QString::fromStdString(values.front()));
    }
  }
  SaveOwnState(settings);
}

void TOptionsWindow::RestoreSettings(const QSettings& settings) {
  if (const TFormat* format = FindFormat(format_)) {
    TFormatSettings& record = extractor_.Settings.For(*format);
    for (const TSetting& setting : format->Settings) {
      if (!setting.InDialog) continue;
      const QString key = SettingsGroup(format_) + QString::fromStdString(setting.Name);
      // A flag kept off has no key: the record, of defaults at start, has it
      // off already.
      if (settings.contains(key))
        SetSetting(setting, record, {settings.value(key).toString().toStdString()});
    }
  }
  RestoreOwnState(settings);
  ShowSettings();
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

void TRateButtons::Show(int rate) {
  for (const auto& button : buttons_) {
    const auto place =
        std::find_if(kChainRates.begin(), kChainRates.end(),
                     [&](const TChainRate& r) { return button->text() == r.Caption; });
    if (place != kChainRates.end() && place->Hz == rate) ShowChecked(*button, true);
  }
}

void ShowChecked(QAbstractButton& button, bool on) {
  const QSignalBlocker quiet(button);
  button.setChecked(on);
}

void SetUpChannelButtons(QGroupBox& box, QRadioButton& mono, QRadioButton& stereo) {
  SetUpRadioGroup(
      box, "Channels",
      {{mono, "RadioButton5", "Mono", false}, {stereo, "RadioButton6", "Stereo", true}});
}

TSpinButton::TSpinButton(const QString& name) {
  setObjectName(name);
  Up.setObjectName(name + "Up");
  Up.setArrowType(Qt::UpArrow);
  Down.setObjectName(name + "Down");
  Down.setArrowType(Qt::DownArrow);
  auto& arrows = InstallLayout<QVBoxLayout>(*this);
  arrows.setContentsMargins(0, 0, 0, 0);
  arrows.setSpacing(0);
  for (QToolButton* arrow : {&Up, &Down}) {
    arrow->setFixedSize(18, 12);
    arrows.addWidget(arrow);
  }
}

void TOptionsWindow::AddCloseButton() {
  closeButton_.setObjectName("CloseButton");
  closeButton_.setText("Close");
  // Settings apply as they change: closing only hides the dialog.
  connect(&closeButton_, &QPushButton::clicked, this, &QWidget::close);
  auto row = std::make_unique<QHBoxLayout>();
  row->addStretch(1);
  row->addWidget(&closeButton_);
  if (auto* box = qobject_cast<QBoxLayout*>(layout()))
    box->addLayout(row.release());
  else if (auto* grid = qobject_cast<QGridLayout*>(layout()))
    grid->addLayout(row.release(), grid->rowCount(), 0, 1, grid->columnCount());
  // The dialogs are of a fixed size: make room for the button.
  setFixedSize(sizeHint());
}

void TOptionsWindow::ShowNonModal() {
  show();
  raise();
  activateWindow();
}

}  // namespace cdx
