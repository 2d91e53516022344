#include "app/AppWindows.h"

namespace cdx {

TAppWindows::TAppWindows()
    : Form1(std::make_unique<TForm1>()),
      Form2(std::make_unique<TForm2>(Form1->Extractor())),
      Form3(std::make_unique<TForm3>(Form1->Extractor())),
      Form4(std::make_unique<TForm4>(Form1->Extractor())),
      Form5(std::make_unique<TForm5>(Form1->Extractor())),
      Form6(std::make_unique<TForm6>(Form1->Extractor())),
      Form7(std::make_unique<TForm7>(Form1->Extractor())) {
  // "Options" picks among them by the format each one edits.
  Form1->SetOptionsDialogs(
      {Form2.get(), Form3.get(), Form4.get(), Form5.get(), Form6.get(), Form7.get()});
}

}  // namespace cdx
