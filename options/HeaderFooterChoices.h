#pragma once

#include <QString>

namespace trelwick {

// What the options panel says at one moment: the texts (read whether or not their box is on) and
// whether each element shows. An element is on only when its box's state is exactly 1.
struct HeaderFooterChoices {
    QString slideDate;
    bool slideDateOn = false;
    QString slideFooter;
    bool slideFooterOn = false;
    bool slideNumberOn = false;
    QString notesDate;
    bool notesDateOn = false;
    QString notesHeader;
    bool notesHeaderOn = false;
    QString notesFooter;
    bool notesFooterOn = false;
    // Shows the page number on notes pages and handouts.
    bool pageNumberOn = false;
};

}  // namespace trelwick
