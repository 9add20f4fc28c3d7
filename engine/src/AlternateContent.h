#pragma once

#include <pugixml.hpp>
#include <string_view>
#include <vector>

namespace trelwick::engine {

class XmlPart;
struct Prefixes;

// PowerPoint wraps a shape in mc:AlternateContent when it uses what older readers lack (an equation in
// a footer, say): a choice for newer readers, a fallback for the rest (a picture of the equation). A
// placeholder of one of the types (or the group holding it) is taken out of the wrapper as the first
// choice that holds it gives it, with that branch's namespaces, and out of every branch: left wrapped
// it would show beside the stamped one, or stay shown when hidden. The fallback serves only when no
// choice holds it. Other shapes in the wrapper stay wrapped as they were. tree is a shape tree or group.
void unwrapStampedAlternates(XmlPart& part, pugi::xml_node tree, const Prefixes& px,
                             const std::vector<std::string_view>& types);

}  // namespace trelwick::engine
