#pragma once

#include <string>
#include <string_view>

#include "PageXml.h"

// The text of the placeholders the stamp fills: what it reads from them and what it writes.
namespace trelwick::engine {

// What one placeholder paragraph shows: plain text, or a field with its cached text.
struct Content {
    std::string text;
    std::string field;  // empty for plain text
};

// The text sp shows, its paragraphs joined by line ends and its line breaks as vertical tabs.
std::string shapeText(pugi::xml_node sp, const Prefixes& px);
// The type of the first field sp shows ("datetime1", "slidenum", ...); "" when it shows none.
std::string fieldType(pugi::xml_node sp, const Prefixes& px);
// A GUID that depends only on where the field sits, so stamping twice writes the same bytes.
std::string stableGuid(const std::string& seed);
// Replaces the paragraphs of sp's text body by one paragraph showing content. Keeps the first paragraph's
// properties and the first run's formatting, so a restyled footer keeps its look. The paragraph always
// starts with a:pPr: LibreOffice turns a bare one-run footer into a page property that it draws only
// when the layout has that placeholder. A slide number shown with words beside it (showsNumberInText)
// only brings the number up to date, keeping the words.
void fillText(pugi::xml_node sp, const Prefixes& px, const Content& content, const std::string& guidSeed);
// Whether sp shows the slide-number field with words beside it ("Page ‹#›"), in its paragraph or another.
bool showsNumberInText(pugi::xml_node sp, const Prefixes& px);
// What of a (well-formed UTF-8) text an XML document can hold: controls other than tab are dropped, and
// so are U+FFFE and U+FFFF; a line break becomes a space (PowerPoint keeps line breaks inside a footer
// as vertical tabs, which XML 1.0 cannot carry).
std::string writableText(std::string_view text);

}  // namespace trelwick::engine
