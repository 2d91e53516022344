// "Ogg stettings": created hidden at start like every dialog; its controls come
// with the Ogg Vorbis writer.
#pragma once

#include <QLabel>
#include <QVBoxLayout>

#include "app/OptionsWindow.h"
#include "app/QtOwnership.h"

namespace cdx {

class TForm4 : public TOptionsWindow {
  Q_OBJECT
 public:
  explicit TForm4(TExtractor& extractor, QWidget* parent = nullptr)
      : TOptionsWindow("Form4", "Ogg stettings", extractor, "ogg", parent) {
    Label1.setObjectName("Label1");
    Label1.setText("The Ogg Vorbis options are not available in this version.");
    InstallLayout<QVBoxLayout>(*this).addWidget(&Label1);
  }

 private:
  QLabel Label1;
};

}  // namespace cdx
