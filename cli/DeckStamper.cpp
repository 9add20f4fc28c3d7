#include "DeckStamper.h"

#include <optional>
#include <string>

namespace trelwick::cli {

namespace {

using engine::Element;
using engine::MasterKind;
using engine::Presentation;

// An option left out hides its element and keeps the deck's text for it. The window differs on
// purpose: its boxes each have a text field, so it writes the text even of a hidden element (the
// user typed it) and always addresses the notes master, as its numbered steps do.
void applyText(Presentation& deck, MasterKind kind, Element element, const std::optional<std::string>& text) {
    if (text) {
        deck.setText(kind, element, *text);
        // A date given on the command line is shown as typed, never as an updating field. A typed date
        // has no format; giving it one spares the engine reading the deck's.
        if (element == Element::DateAndTime) {
            deck.setUseFormat(kind, element, false);
            deck.setFormat(kind, element, 1);
        }
        deck.setVisible(kind, element, true);
    } else {
        deck.setVisible(kind, element, false);
    }
}

void applyNotes(Presentation& deck, MasterKind kind, const StampSettings& s) {
    applyText(deck, kind, Element::DateAndTime, s.notesDate);
    applyText(deck, kind, Element::Header, s.notesHeader);
    applyText(deck, kind, Element::Footer, s.notesFooter);
    deck.setVisible(kind, Element::SlideNumber, s.notesPageNumber);
}

}  // namespace

DeckStamper::DeckStamper(StampSettings settings) : settings_(std::move(settings)) {}

engine::PendingSave DeckStamper::stamp(const std::filesystem::path& source,
                                       const std::filesystem::path& target) const {
    Presentation deck = Presentation::open(source);

    applyText(deck, MasterKind::Slide, Element::DateAndTime, settings_.date);
    applyText(deck, MasterKind::Slide, Element::Footer, settings_.footer);
    deck.setVisible(MasterKind::Slide, Element::SlideNumber, settings_.slideNumber);

    // Hiding notes elements of a deck that has no notes master has nothing to hide; showing them
    // makes the engine add one.
    if (deck.hasNotesMaster() || settings_.anyNotesVisible()) applyNotes(deck, MasterKind::Notes, settings_);
    if (deck.hasHandoutMaster()) applyNotes(deck, MasterKind::Handout, settings_);

    return deck.prepareSave(target);
}

}  // namespace trelwick::cli
