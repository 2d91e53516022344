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

// Replaces the modal box (tests); an empty handler restores it.
using TMessageBoxHandler = std::function<void(TMessageKind, const QString& text)>;
void SetMessageBoxHandler(TMessageBoxHandler handler);

}  // namespace cdx
