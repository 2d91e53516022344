#include "app/AppWindows.h"

namespace cdx {

TAppWindows::TAppWindows()
    : Form1(std::make_unique<TForm1>()),
      Form2(std::make_unique<TForm2>(Form1->Extractor())),
      Form3(std::make_unique<TForm3>()),
      Form4(std::make_unique<TForm4>()),
      Form5(std::make_unique<TForm5>()),
      Form6(std::make_unique<TForm6>(Form1->Extractor())),
      Form7(std::make_unique<TForm7>()) {
  Form1->SetOptionsDialogs({Form2.get(), Form3.get(), Form4.get(), Form5.get(), Form6.get()});
}

}  // namespace cdx
