#pragma once

#include <QRect>
#include <QtMath>

namespace trelwick {

// Layout positions are given in twips; at 96 dots per inch 15 twips make one (logical) pixel,
// and Qt scales logical pixels by the screen's device pixel ratio.
inline int twipsToPixels(int twips) {
    return qRound(twips / 15.0);
}

// A rectangle given in twips (left, top, width, height), in logical pixels.
inline QRect twipsRect(int left, int top, int width, int height) {
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height));
}

}  // namespace trelwick
