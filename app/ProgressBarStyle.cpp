#include "ProgressBarStyle.h"

#include <QStyleOptionProgressBar>

namespace trelwick {

namespace {

const QStyleOptionProgressBar* centredText(const QStyleOption* option) {
    const auto* bar = qstyleoption_cast<const QStyleOptionProgressBar*>(option);
    return bar && bar->textVisible && (bar->textAlignment & Qt::AlignCenter) ? bar : nullptr;
}

}  // namespace

ProgressBarStyle::ProgressBarStyle(QStyle* base) : QProxyStyle(base) {}

void ProgressBarStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                                   const QWidget* widget) const {
    const QStyleOptionProgressBar* bar = element == CE_ProgressBar ? centredText(option) : nullptr;
    if (!bar) {
        QProxyStyle::drawControl(element, option, painter, widget);
        return;
    }
    // The parts in the base style's order, placed by this style.
    QStyleOptionProgressBar part(*bar);
    part.rect = subElementRect(SE_ProgressBarGroove, bar, widget);
    drawControl(CE_ProgressBarGroove, &part, painter, widget);
    part.rect = subElementRect(SE_ProgressBarContents, bar, widget);
    drawControl(CE_ProgressBarContents, &part, painter, widget);
    part.rect = subElementRect(SE_ProgressBarLabel, bar, widget);
    drawControl(CE_ProgressBarLabel, &part, painter, widget);
}

QRect ProgressBarStyle::subElementRect(SubElement element, const QStyleOption* option,
                                       const QWidget* widget) const {
    if (element == SE_ProgressBarGroove || element == SE_ProgressBarContents ||
        element == SE_ProgressBarLabel) {
        if (const QStyleOptionProgressBar* bar = centredText(option)) {
            // Without its text the base style places the parts of a centred bar where it would with it.
            QStyleOptionProgressBar unmeasured(*bar);
            unmeasured.textVisible = false;
            return QProxyStyle::subElementRect(element, &unmeasured, widget);
        }
    }
    return QProxyStyle::subElementRect(element, option, widget);
}

}  // namespace trelwick
