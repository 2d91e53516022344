// Qt deletes the layouts installed on a widget and the objects given a
// parent; these helpers make the hand-over explicit instead of leaving a
// bare `new` at every call.
#pragma once

#include <QBoxLayout>
#include <QWidget>
#include <memory>

namespace cdx {

template <class Layout>
Layout& InstallLayout(QWidget& widget) {
  auto layout = std::make_unique<Layout>();
  Layout& installed = *layout;
  widget.setLayout(layout.release());
  return installed;
}

template <class Layout>
Layout& AddLayout(QBoxLayout& parent) {
  auto layout = std::make_unique<Layout>();
  Layout& added = *layout;
  parent.addLayout(layout.release());
  return added;
}

}  // namespace cdx
