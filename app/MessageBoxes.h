// Every message box of the program goes through here, so that the GUI
// tests, which cannot click a modal box, can watch what would be shown.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace cdx {

enum class TMessageKind { Information, Error };

// Shows `text` in a modal box with an OK button and returns when it is
// closed.
void ShowMessage(QWidget* parent, const QString& text);
void ShowError(QWidget* parent, const QString& text);

// Asks `text` with Yes and No; true for Yes.
bool AskYesNo(QWidget* parent, const QString& text);

// Replaces the modal box (tests); an empty handler restores it.
using TMessageBoxHandler = std::function<void(TMessageKind, const QString& text)>;
void SetMessageBoxHandler(TMessageBoxHandler handler);
// Replaces the question box (tests); an empty handler restores it.
using TQuestionHandler = std::function<bool(const QString& text)>;
void SetQuestionHandler(TQuestionHandler handler);

// While one lives, information boxes are not shown: settings put back at
// start-up must not greet the user with the remarks their controls make.
class TQuietMessages {
 public:
  TQuietMessages();
  ~TQuietMessages();
  TQuietMessages(const TQuietMessages&) = delete;
  TQuietMessages& operator=(const TQuietMessages&) = delete;
};

}  // namespace cdx
