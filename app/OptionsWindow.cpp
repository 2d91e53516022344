#include "app/OptionsWindow.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>
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

// A dialog's controls that keep a setting: those with a name of their own
// (a list's inner text box has none).
template <class Control>
QList<Control*> NamedControls(const QWidget& dialog) {
  QList<Control*> named;
  for (Control* control : dialog.findChildren<Control*>())
    if (!control->objectName().isEmpty()) named << control;
  return named;
}

QString Key(const QWidget& dialog, const QObject& control) {
  return dialog.objectName() + "/" + control.objectName();
}

}  // namespace

void TOptionsWindow::SaveControls(QSettings& settings) const {
  for (QComboBox* list : NamedControls<QComboBox>(*this))
    if (list->currentIndex() >= 0) settings.setValue(Key(*this, *list), list->currentIndex());
  for (QAbstractButton* button : NamedControls<QAbstractButton>(*this))
    if (button->isCheckable()) settings.setValue(Key(*this, *button), button->isChecked());
  for (QAbstractSlider* slider : NamedControls<QAbstractSlider>(*this))
    settings.setValue(Key(*this, *slider), slider->value());
  for (QSpinBox* number : NamedControls<QSpinBox>(*this))
    settings.setValue(Key(*this, *number), number->value());
  for (QLineEdit* text : NamedControls<QLineEdit>(*this))
    settings.setValue(Key(*this, *text), text->text());
  SaveOwnState(settings);
}

void TOptionsWindow::RestoreControls(const QSettings& settings) {
  TQuietMessages quiet;
  auto saved = [&](const QObject& control) { return settings.value(Key(*this, control)); };
  for (QComboBox* list : NamedControls<QComboBox>(*this)) {
    const int index = saved(*list).toInt();
    if (!saved(*list).isValid() || index == list->currentIndex() || index >= list->count())
      continue;
    list->setCurrentIndex(index);
    emit list->activated(index);
  }
  for (QAbstractButton* button : NamedControls<QAbstractButton>(*this)) {
    const QVariant on = saved(*button);
    if (!button->isCheckable() || !on.isValid() || on.toBool() == button->isChecked()) continue;
    // A radio button is put off by its neighbour being put on.
    if (on.toBool() || !button->autoExclusive()) button->click();
  }
  for (QAbstractSlider* slider : NamedControls<QAbstractSlider>(*this))
    if (saved(*slider).isValid()) slider->setValue(saved(*slider).toInt());
  for (QSpinBox* number : NamedControls<QSpinBox>(*this))
    if (saved(*number).isValid()) number->setValue(saved(*number).toInt());
  for (QLineEdit* text : NamedControls<QLineEdit>(*this)) {
    if (!saved(*text).isValid() || saved(*text).toString() == text->text()) continue;
    text->setText(saved(*text).toString());
    emit text->editingFinished();
  }
  RestoreOwnState(settings);
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

void TOptionsWindow::ShowNonModal() {
  show();
  raise();
  activateWindow();
}

}  // namespace cdx
