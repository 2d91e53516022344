// The program's windows, created in their fixed order: the main window,
// the five first format dialogs, the tag dialog and the Opus dialog. Only
// the main window is shown; the dialogs stay hidden until "Options" opens
// them.
#pragma once

#include <memory>
#include <vector>

#include "app/DiscWatcher.h"
#include "app/Unit1.h"
#include "app/Unit2.h"
#include "app/Unit3.h"
#include "app/Unit4.h"
#include "app/Unit5.h"
#include "app/Unit6.h"
#include "app/Unit7.h"
#include "app/Unit8.h"

namespace cdx {

class TAppWindows {
 public:
  // Puts back what the last run of the program kept (see SaveSettings).
  TAppWindows();
  // Keeps the main window's place, folder and format and every dialog's
  // controls for the next run.
  ~TAppWindows();
  TAppWindows(const TAppWindows&) = delete;
  TAppWindows& operator=(const TAppWindows&) = delete;

  void SaveSettings() const;
  void RestoreSettings();

  // The options dialogs, the tag dialog last.
  std::vector<TOptionsWindow*> Dialogs() const;

  // Destroyed in reverse order, the main window (and its components) last.
  std::unique_ptr<TForm1> Form1;
  std::unique_ptr<TForm2> Form2;
  std::unique_ptr<TForm3> Form3;
  std::unique_ptr<TForm4> Form4;
  std::unique_ptr<TForm5> Form5;
  std::unique_ptr<TForm6> Form6;
  std::unique_ptr<TForm7> Form7;
  std::unique_ptr<TForm8> Form8;
  // Keeps the main window's drives in step with the discs; goes first.
  std::unique_ptr<TDiscWatcher> DiscWatcher;
};

}  // namespace cdx
