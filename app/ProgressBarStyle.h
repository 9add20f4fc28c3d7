#pragma once

#include <QProxyStyle>

namespace trelwick {

// The plain look of a progress bar whose text is centred, drawn without measuring the text to place
// it: the base style measures it six times a paint to place the groove, the contents and the label,
// none of which a centred text moves, and a run repaints the bar with a new file name for every deck.
class ProgressBarStyle : public QProxyStyle {
  public:
    explicit ProgressBarStyle(QStyle* base);  // takes base

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override;
    QRect subElementRect(SubElement element, const QStyleOption* option,
                         const QWidget* widget) const override;
};

}  // namespace trelwick
