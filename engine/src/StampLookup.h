#pragma once

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "PageXml.h"

namespace trelwick::engine {

// What stamping looks up again and again, kept per part: the namespace prefixes, and the placeholders
// of the masters and layouts that pages inherit from (stamping never adds or removes shapes there).
class StampLookup {
  public:
    explicit StampLookup(std::string fileLabel) : fileLabel_(std::move(fileLabel)) {}

    // The part's prefixes; the first time, throws Error DamagedXml when the part declares them again
    // below its root where the stamp looks.
    const Prefixes& prefixes(const XmlPart& part);
    // The same, after declaring DrawingML on the part when it lacks it.
    const Prefixes& writablePrefixes(XmlPart& part, bool strict);
    // Every placeholder of a master or layout.
    const std::vector<Placeholder>& inheritedPlaceholders(const XmlPart& part);
    // Throws Error DamagedXml naming rebound (what reboundOn and its kin found) unless it is empty.
    void refuseRebound(const XmlPart& part, const std::string& rebound) const;

  private:
    std::string fileLabel_;
    std::map<const XmlPart*, const Prefixes*> prefixes_;
    std::deque<Prefixes> owned_;
    std::map<const XmlPart*, std::vector<Placeholder>> placeholders_;
};

}  // namespace trelwick::engine
