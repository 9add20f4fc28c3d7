#pragma once

#include <QGroupBox>

namespace trelwick {

// A frame with an optional caption whose inside shows exactly its background colour (styles
// otherwise tint a group box): a one-pixel border in the palette's mid colour and the caption.
class PlainFrame : public QGroupBox {
    Q_OBJECT
  public:
    using QGroupBox::QGroupBox;

  protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace trelwick
