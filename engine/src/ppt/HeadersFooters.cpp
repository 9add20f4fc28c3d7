#include "HeadersFooters.h"

#include "Bytes.h"
#include "RecordTypes.h"

namespace trelwick::engine::ppt {
namespace {

constexpr std::uint16_t kUserDateInstance = 0;
constexpr std::uint16_t kHeaderInstance = 1;
constexpr std::uint16_t kFooterInstance = 2;

// PowerPoint keeps line breaks inside a text as vertical tab (0x0B); CR and LF would start paragraphs.
// Other controls (C0 but tab, DEL, C1) are dropped, as a .pptx drops the C0 ones: the record's text may
// hold none of them, and a NUL would end it there.
std::string toStored(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        if (c == '\n' || c == '\r' || c == 0x0B) {
            out += '\x0B';
        } else if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
            ++i;  // U+0080 to U+009F
        } else if ((c >= 0x20 && c != 0x7F) || c == '\t') {
            out += text[i];
        }
    }
    return utf16le(out);
}

std::string fromStored(const std::string& bytes) {
    std::string text = utf8(bytes);
    for (char& c : text)
        if (c == '\x0B' || c == '\r') c = '\n';
    return text;
}

std::uint16_t flagOf(Element element) {
    switch (element) {
        case Element::DateAndTime:
            return HeadersFooters::kHasDate;
        case Element::Footer:
            return HeadersFooters::kHasFooter;
        case Element::Header:
            return HeadersFooters::kHasHeader;
        case Element::SlideNumber:
            return HeadersFooters::kHasSlideNumber;
    }
    return 0;
}

}  // namespace

HeadersFooters HeadersFooters::read(const Record& container) {
    HeadersFooters hf;
    for (const Record& c : container.children()) {
        if (c.type() == rt::HeadersFootersAtom && c.body().size() >= 4) {
            hf.formatId = static_cast<std::int16_t>(get16(c.body(), 0));
            hf.flags = get16(c.body(), 2);
        } else if (c.type() == rt::CString) {
            std::optional<std::string>* slot = c.instance() == kUserDateInstance ? &hf.userDate
                                               : c.instance() == kHeaderInstance ? &hf.header
                                               : c.instance() == kFooterInstance ? &hf.footer
                                                                                 : nullptr;
            if (slot && !*slot) *slot = fromStored(c.body());
        }
    }
    return hf;
}

Record HeadersFooters::toRecord(std::uint16_t instance, const Record* old) const {
    // LibreOffice draws an automatic date on notes pages even when it is hidden, unless its format id is
    // 13 (which PowerPoint writes too, and which reads as the first format): a hidden one is stored so.
    const bool hiddenAutomatic = (flags & kHasTodayDate) && !(flags & (kHasDate | kHasUserDate));
    const bool drawnAnyway =
        instance == rt::kNotesInstance && hiddenAutomatic && formatId >= 0 && formatId <= 12;
    std::string atom;
    append16(atom, static_cast<std::uint16_t>(drawnAnyway ? 13 : formatId));
    append16(atom, flags);
    std::vector<Record> children{Record::atom(rt::HeadersFootersAtom, 0, atom)};
    // An empty text is left out rather than written as an empty string, as PowerPoint does.
    auto text = [&](const std::optional<std::string>& value, std::uint16_t textInstance) {
        if (!value) return;
        std::string stored = toStored(*value);
        if (!stored.empty()) children.push_back(Record::atom(rt::CString, textInstance, std::move(stored)));
    };
    text(userDate, kUserDateInstance);
    text(header, kHeaderInstance);
    text(footer, kFooterInstance);
    if (old)
        for (const Record& c : old->children())
            if (c.type() != rt::HeadersFootersAtom && c.type() != rt::CString) children.push_back(c);
    return Record::container(rt::HeadersFooters, instance, std::move(children));
}

HeaderFooter HeadersFooters::element(Element element) const {
    HeaderFooter value;
    value.visible = (flags & flagOf(element)) != 0;
    switch (element) {
        case Element::DateAndTime:
            value.text = userDate.value_or("");
            value.useFormat = (flags & kHasTodayDate) && !(flags & kHasUserDate);
            // formatId indexes the 13 date formats in the order of PowerPoint's ppDateTime constants
            // (inferred from the en-US lists; the file does not say).
            value.format = formatId >= 0 && formatId <= 12 ? formatId + 1 : 1;
            break;
        case Element::Footer:
            value.text = footer.value_or("");
            break;
        case Element::Header:
            value.text = header.value_or("");
            break;
        case Element::SlideNumber:
            break;
    }
    return value;
}

void HeadersFooters::set(Element element, const HeaderFooter& value) {
    const std::uint16_t flag = flagOf(element);
    flags = static_cast<std::uint16_t>(value.visible ? flags | flag : flags & ~flag);
    switch (element) {
        case Element::DateAndTime:
            if (value.useFormat) {
                flags = static_cast<std::uint16_t>((flags | kHasTodayDate) & ~kHasUserDate);
                // A formatId outside the 13 formats (PowerPoint writes 13) reads as format 1. A hidden
                // date keeps it (written back as 0 it made LibreOffice draw today's date on notes pages);
                // a shown one gets a real format, since LibreOffice draws no date for 13.
                const bool storedIsAFormat = formatId >= 0 && formatId <= 12;
                if (value.format != HeadersFooters::element(Element::DateAndTime).format ||
                    (value.visible && !storedIsAFormat))
                    formatId = static_cast<std::int16_t>(value.format - 1);
            } else {
                flags = static_cast<std::uint16_t>((flags | kHasUserDate) & ~kHasTodayDate);
            }
            userDate = value.text;
            break;
        case Element::Footer:
            footer = value.text;
            break;
        case Element::Header:
            header = value.text;
            break;
        case Element::SlideNumber:
            break;
    }
}

}  // namespace trelwick::engine::ppt
