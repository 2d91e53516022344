#include "app/AppWindows.h"

namespace cdx {

TAppWindows::TAppWindows()
    : Form1(std::make_unique<TForm1>()),
      Form2(std::make_unique<TForm2>(Form1->Extractor())),
      Form3(std::make_unique<TForm3>(Form1->Extractor())),
      Form4(std::make_unique<TForm4>(Form1->Extractor())),
      Form5(std::make_unique<TForm5>(Form1->Extractor())),
      Form6(std::make_unique<TForm6>(Form1->Extractor())),
      Form7(std::make_unique<TForm7>(Form1->Extractor())),
      Form8(std::make_unique<TForm8>(Form1->Extractor())) {
  // Both edit the MP3 settings; "Edit tags" only shows the tag dialog.
  QObject::connect(Form3.get(), &TForm3::EditTagsRequested, Form7.get(),
                   &TOptionsWindow::ShowNonModal);
  // "Options" picks among them by the format each one edits.
  Form1->SetOptionsDialogs(Dialogs());
  for (TOptionsWindow* dialog : Dialogs()) dialog->AddCloseButton();
  DiscWatcher = std::make_unique<TDiscWatcher>(*Form1->Extractor().CDIn1,
                                               [this] { return Form1->JobRunning(); });
  QObject::connect(DiscWatcher.get(), &TDiscWatcher::DrivesChanged, Form1.get(),
                   &TForm1::DrivesChanged);
  RestoreSettings();
}

TAppWindows::~TAppWindows() {
  SaveSettings();
}

namespace {

// In the user's configuration folder: ~/.config/cd-extractor/cd-extractor.conf.
std::unique_ptr<QSettings> OpenSettings() {
  return std::make_unique<QSettings>("cd-extractor", "cd-extractor");
}

}  // namespace

void TAppWindows::SaveSettings() const {
  auto settings = OpenSettings();
  Form1->SaveState(*settings);
  for (TOptionsWindow* dialog : Dialogs()) dialog->SaveSettings(*settings);
}

void TAppWindows::RestoreSettings() {
  auto settings = OpenSettings();
  Form1->RestoreState(*settings);
  for (TOptionsWindow* dialog : Dialogs()) dialog->RestoreSettings(*settings);
}

std::vector<TOptionsWindow*> TAppWindows::Dialogs() const {
  return {Form2.get(), Form3.get(), Form4.get(), Form5.get(),
          Form6.get(), Form8.get(), Form7.get()};
}

}  // namespace cdx
