// Base of the option dialogs: a top-level window created hidden at start,
// shown non-modally, hidden again when closed. Closing it never ends the
// program; only the main window does.
#pragma once

#include <QDialog>
#include <QGroupBox>
#include <QRadioButton>
#include <string>

#include "extractor/Extractor.h"

namespace cdx {

class TOptionsWindow : public QDialog {
  Q_OBJECT
 public:
  // `format` is the command-line name of the format whose options the
  // dialog edits ("wav"), empty for a dialog of no format; the main window's
  // "Options" finds the dialog by it.
  TOptionsWindow(const QString& objectName, const QString& title, TExtractor& extractor,
                 std::string format, QWidget* parent = nullptr);

  const std::string& EditedFormat() const { return format_; }
  // Shows the window, or brings it to the front when it is already shown.
  void ShowNonModal();

 protected:
  TExtractor& Extractor() { return extractor_; }

 private:
  TExtractor& extractor_;
  const std::string format_;
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

// The "Sampling frequency" group that several dialogs share: RadioButton7
// to RadioButton12 for 88200, 44100 (selected), 32000, 22050, 11025 and
// 8000 Hz, named, captioned and laid out in `box`.
void SetUpRateButtons(QGroupBox& box, QRadioButton& b88200, QRadioButton& b44100,
                      QRadioButton& b32000, QRadioButton& b22050, QRadioButton& b11025,
                      QRadioButton& b8000);
// The "Channels" group: RadioButton5 "Mono" and RadioButton6 "Stereo"
// (selected), laid out in `box`.
void SetUpChannelButtons(QGroupBox& box, QRadioButton& mono, QRadioButton& stereo);

// Background shared by the main window and the dialogs.
inline constexpr const char* kWindowColour = "#E2E2E7";

}  // namespace cdx
