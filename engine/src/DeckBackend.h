#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "trelwick/engine.h"

namespace trelwick::engine {

// What the caller asked for: only elements set at least once.
using StampSettings = std::map<std::pair<MasterKind, Element>, HeaderFooter>;
// The elements whose text or date kind the caller gave; the others keep the text the deck has for them
// (only shown or hidden).
using TextsGiven = std::set<std::pair<MasterKind, Element>>;

// One open deck in its own file format (the .pptx family or legacy .ppt) as Presentation uses it.
class DeckBackend {
  public:
    virtual ~DeckBackend() = default;

    virtual bool hasTitleMaster() const = 0;
    virtual std::size_t slideCount() const = 0;
    virtual std::size_t slideMasterCount() const = 0;
    virtual bool hasNotesMaster() const = 0;  // as read
    virtual bool hasHandoutMaster() const = 0;
    virtual bool isSigned() const = 0;

    // The element's state as the deck holds it. Throws Error for a damaged deck.
    virtual HeaderFooter read(MasterKind kind, Element element,
                              std::chrono::system_clock::time_point now) = 0;
    // Parses ahead what read and stamp will look at; what cannot be read is left for them to report.
    virtual void preload() {}
    // Reads now what read and stamp cannot do without; throws the first Error they would meet.
    virtual void load() {}
    // Applies the settings to the deck in memory; returns what the user should know, one sentence each.
    virtual std::vector<std::string> stamp(const StampSettings& settings, const TextsGiven& given,
                                           std::chrono::system_clock::time_point now) = 0;
    // Writes the whole deck into fd, an open empty file (an AtomicFile's); target names the destination
    // in messages. Throws Error.
    virtual void write(int fd, const std::string& target) = 0;
};

}  // namespace trelwick::engine
