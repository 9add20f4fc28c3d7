#pragma once

#include <QString>

namespace trelwick {

// The leading decimal number of text, read leniently: blanks, tabs and line feeds are ignored
// wherever they stand, reading stops at the first character that cannot continue the number,
// and a text that does not start with a number gives 0 ("1.0" and " 1" give 1, "2x" gives 2).
double lenientNumber(const QString& text);

// The check-box state a stored check key stands for: 1 when its number is exactly 1, else 0.
int checkStateFromText(const QString& text);

// The text a check box's state is stored as: "1" for state 1, "0" for any other state.
QString textFromCheckState(int state);

}  // namespace trelwick
