// Base of the option dialogs: a top-level window created hidden at start,
// shown non-modally, hidden again when closed. Closing it never ends the
// program; only the main window does.
#pragma once

#include <QDialog>

namespace cdx {

class TOptionsWindow : public QDialog {
  Q_OBJECT
 public:
  TOptionsWindow(const QString& objectName, const QString& title, QWidget* parent = nullptr);

  // Shows the window, or brings it to the front when it is already shown.
  void ShowNonModal();
};

// Background shared by the main window and the dialogs.
inline constexpr const char* kWindowColour = "#E2E2E7";

}  // namespace cdx
