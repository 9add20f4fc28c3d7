#include "PlainFrame.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionGroupBox>

namespace trelwick {

void PlainFrame::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QStyleOptionGroupBox option;
    initStyleOption(&option);
    const QRect caption =
        style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, this);
    const bool hasCaption = !option.text.isEmpty();
    // The border runs through the middle of the caption, which sits on the background colour.
    const int top = hasCaption ? caption.center().y() : 0;
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(rect().adjusted(0, top, -1, -1));
    if (hasCaption) {
        painter.fillRect(caption.adjusted(-2, 0, 2, 0), palette().window());
        painter.setPen(
            palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
        painter.drawText(caption, Qt::AlignCenter | Qt::TextShowMnemonic, option.text);
    }
}

}  // namespace trelwick
