// Base of the option dialogs: a top-level window created hidden at start,
// shown non-modally, hidden again when closed. Closing it never ends the
// program; only the main window does. A dialog is a view of its format's
// settings record: its controls write the record the moment they change,
// and show what the record holds.
#pragma once

#include <QAbstractButton>
#include <QDialog>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QToolButton>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "extractor/Extractor.h"

namespace cdx {

class TOptionsWindow : public QDialog {
  Q_OBJECT
 public:
  // `format` is the command-line name of the format whose settings record
  // the dialog edits ("wav"); the main window's "Options" finds the dialog
  // by it.
  TOptionsWindow(const QString& objectName, const QString& title, TExtractor& extractor,
                 std::string format, QWidget* parent = nullptr);

  const std::string& EditedFormat() const { return format_; }
  // Shows the window, or brings it to the front when it is already shown.
  void ShowNonModal();

  // Keeps every setting of the format by its declared name, and what the
  // dialog keeps besides.
  void SaveSettings(QSettings& settings) const;
  // Takes back the saved settings the declaration still accepts (any other
  // is left at its value) and shows them.
  void RestoreSettings(const QSettings& settings);
  // Makes the controls show the settings record as it is now.
  virtual void ShowSettings() = 0;
  // Puts a "Close" button under the dialog's controls: without a window
  // manager's title bar, it is the only way the mouse can close it.
  void AddCloseButton();

 protected:
  TExtractor& Extractor() { return extractor_; }
  const TExtractor& Extractor() const { return extractor_; }
  // The record this dialog edits.
  template <class Record>
  Record& Settings() {
    return extractor_.Settings.Of<Record>(format_);
  }
  // What a dialog keeps besides its format's settings (the tag dialog's
  // fields), saved and put back after them.
  virtual void SaveOwnState(QSettings&) const {}
  virtual void RestoreOwnState(const QSettings&) {}
  // Where this dialog keeps the state called `name`.
  QString SettingKey(const QString& name) const { return objectName() + "/" + name; }

 private:
  TExtractor& extractor_;
  const std::string format_;
  QPushButton closeButton_;
};

// Runs `handler` when `button` becomes selected (not when it is clicked
// while already selected, nor when it is deselected).
template <class Handler>
void OnSelected(QRadioButton& button, QObject* context, Handler handler) {
  QObject::connect(&button, &QRadioButton::toggled, context, [handler](bool on) {
    if (on) handler();
  });
}

// One radio button of a group: its name, caption and initial state.
struct TRadioChoice {
  QRadioButton& button;
  const char* name;
  const char* caption;
  bool on;
};

// Titles `box`, and names, captions, sets and lays out its buttons in order.
void SetUpRadioGroup(QGroupBox& box, const char* title,
                     std::initializer_list<TRadioChoice> choices);

// The "Sampling frequency" group of a chain: a radio button per rate of
// `rates` (kChainRates or a part of it), named RadioButton7 to
// RadioButton12 by the rate's place in kChainRates. The button of
// `selected` starts selected; `chosen` runs with the rate of a button when
// it becomes selected.
class TRateButtons {
 public:
  TRateButtons(QGroupBox& box, int selected, std::function<void(int rate)> chosen,
               std::span<const TChainRate> rates = kChainRates);
  // Shows `rate` selected, as the settings have it, without choosing it.
  void Show(int rate);

 private:
  std::vector<std::unique_ptr<QRadioButton>> buttons_;
};

// The "Channels" group: RadioButton5 "Mono" and RadioButton6 "Stereo"
// (selected), laid out in `box`.
void SetUpChannelButtons(QGroupBox& box, QRadioButton& mono, QRadioButton& stereo);

// Selects or checks `button` as a view does: its handlers do not run.
void ShowChecked(QAbstractButton& button, bool on);

// A spin button: an up arrow above a down arrow, in a widget called
// `name`; the arrows are called `name`Up and `name`Down.
class TSpinButton : public QWidget {
 public:
  explicit TSpinButton(const QString& name);
  QToolButton Up;
  QToolButton Down;
};

// Background shared by the main window and the dialogs.
inline constexpr const char* kWindowColour = "#E2E2E7";

}  // namespace cdx
