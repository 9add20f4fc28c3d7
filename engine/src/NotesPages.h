#pragma once

#include <string>

#include "Deck.h"

namespace trelwick::engine {

struct Prefixes;

// Notes pages for a deck that lacks them: no renderer shows notes headers and footers without them.

// Adds a notes master laid out as PowerPoint's default one, with its own copy of the first design's
// theme, and lists it in the presentation; deck.notesMaster names it afterwards.
void addNotesMaster(Deck& deck);
// Adds an empty notes page for slide, its placeholders typed as the notes master's (read with
// masterPx), and returns its part name.
std::string addNotesSlide(Deck& deck, const Prefixes& masterPx, const std::string& slide);

}  // namespace trelwick::engine
