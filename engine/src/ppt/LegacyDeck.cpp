#include "LegacyDeck.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <set>

#include "../Failure.h"
#include "../ReadAt.h"
#include "Bytes.h"
#include "PlaceholderScan.h"
#include "PlaceholderText.h"
#include "RecordTypes.h"

namespace trelwick::engine::ppt {
namespace {

constexpr const char* kDocumentStream = "PowerPoint Document";
constexpr const char* kCurrentUserStream = "Current User";
constexpr std::int32_t kTitleSlideLayout = 0;  // SL_TitleSlide
// The shortest Current User stream of PowerPoint 97 or later.
constexpr std::size_t kMinCurrentUser = 28;

std::string nameOf(Element element, bool notesPage) {
    switch (element) {
        case Element::DateAndTime:
            return "date";
        case Element::Footer:
            return "footer";
        case Element::Header:
            return "header";
        case Element::SlideNumber:
            return notesPage ? "page number" : "slide number";
    }
    return "";
}

std::uint8_t placementOf(Element element) {
    switch (element) {
        case Element::DateAndTime:
            return rt::kMasterDate;
        case Element::Footer:
            return rt::kMasterFooter;
        case Element::Header:
            return rt::kMasterHeader;
        case Element::SlideNumber:
            return rt::kMasterSlideNumber;
    }
    return 0;
}

// The placement id of a PowerPoint 2007+ per-page copy of a placeholder (RoundTripHFPlaceholder12Atom), or 0.
std::uint8_t roundTripOfShape(const Record& shape) {
    const Record* data = shape.child(rt::OfficeArtClientData);
    const Record* atom = data ? data->child(rt::RoundTripHFPlaceholder12Atom) : nullptr;
    return atom && !atom->body().empty() ? static_cast<std::uint8_t>(atom->body()[0]) : 0;
}

// Calls visit(shape) for every shape of the page's drawing, groups included.
template <typename F>
void forEachShape(Record& record, F&& visit) {
    for (Record& c : record.children()) {
        if (c.type() == rt::OfficeArtSpContainer) visit(c);
        if (c.hasChildren()) forEachShape(c, visit);
    }
}

// Removes the shapes for which drop(shape) holds from the page's drawing and keeps the drawing's shape
// count (OfficeArtFDG.csp) in step. Returns how many went.
template <typename F>
int removeShapes(Record& page, F&& drop) {
    Record* drawing = page.child(rt::Drawing);
    Record* group = drawing ? drawing->child(0xF002) : nullptr;
    if (!group) return 0;
    int removed = 0;
    auto prune = [&](auto& self, Record& container) -> void {
        auto& kids = container.children();
        for (auto it = kids.begin(); it != kids.end();) {
            if (it->type() == rt::OfficeArtSpContainer && drop(*it)) {
                it = kids.erase(it);
                ++removed;
            } else {
                if (it->hasChildren()) self(self, *it);
                ++it;
            }
        }
    };
    prune(prune, *group);
    if (Record* fdg = group->child(0xF008); fdg && fdg->body().size() >= 4 && removed > 0)
        put32(fdg->body(), 0,
              get32(fdg->body(), 0) - std::min<std::uint32_t>(get32(fdg->body(), 0), removed));
    return removed;
}

bool sameSetting(const HeaderFooter& a, const HeaderFooter& b) {
    return a.visible == b.visible && a.text == b.text && a.useFormat == b.useFormat &&
           (!a.useFormat || a.format == b.format);
}

std::string count(int n, const std::string& one, const std::string& many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// The elements a master's or page's own text gives way for: those with a text given, the number (no
// text of its own), and, for the per-page copies, hidden ones.
std::map<Element, HeaderFooter> textsReplaced(const std::map<Element, HeaderFooter>& settings,
                                              const std::set<Element>& given, bool hiddenToo) {
    std::map<Element, HeaderFooter> out;
    for (const auto& [element, value] : settings)
        if (given.count(element) || element == Element::SlideNumber || (hiddenToo && !value.visible))
            out.emplace(element, value);
    return out;
}

}  // namespace

LegacyDeck::LegacyDeck(CompoundFile file, const std::string& label) : label_(label) {
    file_ = std::make_unique<CompoundFile>(std::move(file));
    const CompoundFile& f = *file_;
    if (f.hasStream("EncryptedPackage"))
        fail(ErrorCode::PasswordProtected, label_, "", "the presentation is protected by a password");
    if (f.hasStorage("PP97_DUALSTORAGE"))
        fail(ErrorCode::LegacyFormat, label_, "",
             "the presentation holds both a PowerPoint 95 and a PowerPoint 97-2003 copy, and stamping one "
             "would leave the other unchanged");
    const bool powerPoint95 = f.hasStream("PP40") || f.hasStream("Header") ||
                              f.hasStream("PersistentStorage Directory") || f.hasStream("Text_Content");
    if (powerPoint95)
        fail(ErrorCode::LegacyFormat, label_, "",
             "PowerPoint 95 and older presentations cannot be stamped; save it as .ppt or .pptx first");
    if (!f.hasStream(kDocumentStream))
        fail(ErrorCode::NotAPresentation, label_, "", "the file is an OLE compound file, not a presentation");
    if (!f.hasStream(kCurrentUserStream))
        failDamaged(label_, kCurrentUserStream, "the current user stream is missing");
    std::string user = f.readStream(kCurrentUserStream);
    if (user.size() < kMinCurrentUser)
        failDamaged(label_, kCurrentUserStream, "the current user stream is too short");
    stream_ = std::make_unique<DocumentStream>(std::move(user), f.readStream(kDocumentStream), label_);
    signed_ = f.hasStorage("_signatures") || f.hasStorage("_xmlsignatures") || f.hasStream("_signatures");

    document_ = Record::parse(stream_->object(stream_->documentId()));
    const Record* atom = document_.child(rt::DocumentAtom);
    if (!document_.hasChildren() || !atom || atom->body().size() < 40)
        failDamaged(label_, kDocumentStream, "the document record is damaged");
    const std::uint32_t notesMasterId = get32(atom->body(), 24);
    const std::uint32_t handoutMasterId = get32(atom->body(), 28);
    omitTitlePlace_ = atom->body()[37] != 0;
    slideWidth_ = static_cast<std::int32_t>(get32(atom->body(), 0));
    slideHeight_ = static_cast<std::int32_t>(get32(atom->body(), 4));
    notesWidth_ = static_cast<std::int32_t>(get32(atom->body(), 8));
    notesHeight_ = static_cast<std::int32_t>(get32(atom->body(), 12));

    // An entry whose object is missing or of another kind has nothing to stamp; PowerPoint files with
    // dangling notes entries exist (POI bug 41246), so such entries are passed over, not refused. So is
    // an entry whose record was loaded already (listed twice, or under a second id): one record is one
    // page, and a hostile list naming one slide 100,000 times had each copy parsed, gigabytes of them.
    std::set<const char*> loaded;
    auto fresh = [&](std::uint32_t id) { return loaded.insert(stream_->object(id).data()).second; };
    for (const auto& [id, slideId] : listEntries(rt::kMasterList))
        if ((stream_->typeOf(id) == rt::MainMaster || stream_->typeOf(id) == rt::Slide) && fresh(id))
            masters_.push_back(loadPage(id, slideId, "a slide master"));
    for (const auto& [id, slideId] : listEntries(rt::kSlideList))
        if (stream_->typeOf(id) == rt::Slide && fresh(id))
            slides_.push_back(loadPage(id, slideId, "a slide"));
    for (const auto& [id, slideId] : listEntries(rt::kNotesList))
        if (stream_->typeOf(id) == rt::Notes && fresh(id))
            notes_.push_back(loadPage(id, slideId, "a notes page"));
    if (notesMasterId != 0 && stream_->typeOf(notesMasterId) == rt::Notes && fresh(notesMasterId))
        notesMaster_ = loadPage(notesMasterId, 0, "the notes master");
    if (handoutMasterId != 0 && stream_->typeOf(handoutMasterId) == rt::HandoutContainer &&
        fresh(handoutMasterId))
        handoutMaster_ = loadPage(handoutMasterId, 0, "the handout master");
}

LegacyDeck::Page LegacyDeck::loadPage(std::uint32_t persistId, std::uint32_t slideId,
                                      const std::string& what) {
    Page page;
    page.persistId = persistId;
    page.slideId = slideId;
    page.record = Record::parse(stream_->object(persistId));
    if (!page.record.hasChildren()) failDamaged(label_, kDocumentStream, what + " is damaged");
    if (const Record* atom = page.record.child(rt::SlideAtom); atom && atom->body().size() >= 16) {
        page.layout = static_cast<std::int32_t>(get32(atom->body(), 0));
        page.masterId = get32(atom->body(), 12);
        if (atom->body().size() >= 22) page.masterObjects = (get16(atom->body(), 20) & 1) != 0;
    }
    return page;
}

std::vector<std::pair<std::uint32_t, std::uint32_t>> LegacyDeck::listEntries(std::uint16_t instance) const {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> entries;
    const Record* list = document_.child(rt::SlideListWithText, instance);
    if (!list) return entries;
    for (const Record& c : list->children())
        if (c.type() == rt::SlidePersistAtom && c.body().size() >= 16)
            entries.emplace_back(get32(c.body(), 0), get32(c.body(), 12));
    return entries;
}

bool LegacyDeck::hasTitleMaster() const {
    return std::any_of(masters_.begin(), masters_.end(),
                       [](const Page& m) { return m.record.type() == rt::Slide; });
}

std::size_t LegacyDeck::slideMasterCount() const {
    return static_cast<std::size_t>(std::count_if(
        masters_.begin(), masters_.end(), [](const Page& m) { return m.record.type() == rt::MainMaster; }));
}

HeadersFooters LegacyDeck::documentSettings(std::uint16_t instance) const {
    const Record* hf = document_.child(rt::HeadersFooters, instance);
    return hf ? HeadersFooters::read(*hf) : HeadersFooters();
}

void LegacyDeck::setDocumentSettings(std::uint16_t instance, const HeadersFooters& hf) {
    documentChanged_ = true;
    std::vector<Record>& children = document_.children();
    for (Record& c : children)
        if (c.type() == rt::HeadersFooters && c.instance() == instance) {
            c = hf.toRecord(instance, &c);
            return;
        }
    // A missing container goes where the document container's schema order puts it.
    auto successor = [instance](const Record& c) {
        switch (c.type()) {
            case rt::HeadersFooters:
                return instance == rt::kSlideInstance && c.instance() == rt::kNotesInstance;
            case rt::SlideListWithText:
                return c.instance() == rt::kSlideList || c.instance() == rt::kNotesList;
            case rt::SlideShowDocInfoAtom:
            case rt::NamedShows:
            case rt::Summary:
            case rt::DocRoutingSlip:
            case rt::PrintOptionsAtom:
            case rt::RoundTripCustomTableStyles12Atom:
            case rt::EndDocument:
                return true;
            default:
                return false;
        }
    };
    children.insert(std::find_if(children.begin(), children.end(), successor), hf.toRecord(instance));
}

// The deck's own settings are the document's (what new slides get); one slide's own settings, which may
// differ from every other slide's, stand for the deck only where the document says nothing of the
// element (LibreOffice keeps the settings on the pages). Read first, a slide's own footer and fixed date
// replaced the deck's when the element was only hidden. Where every slide has settings of its own (as
// LibreOffice saves a deck), the document's show on no slide: LibreOffice writes them as a shown footer
// and fixed date with no text, and a field left unset turned every slide's date into an empty one.
HeaderFooter LegacyDeck::read(MasterKind kind, Element element, std::chrono::system_clock::time_point) {
    if (kind == MasterKind::Slide && !slides_.empty() &&
        std::all_of(slides_.begin(), slides_.end(),
                    [](const Page& slide) { return slide.record.child(rt::HeadersFooters) != nullptr; }))
        return HeadersFooters::read(*slides_.front().record.child(rt::HeadersFooters)).element(element);
    const HeaderFooter deck =
        documentSettings(kind == MasterKind::Slide ? rt::kSlideInstance : rt::kNotesInstance)
            .element(element);
    if (deck.visible || !deck.text.empty() || deck.useFormat) return deck;
    const std::vector<Page>& pages = kind == MasterKind::Slide ? slides_ : notes_;
    for (const Page& page : pages)
        if (const Record* hf = page.record.child(rt::HeadersFooters))
            return HeadersFooters::read(*hf).element(element);
    return deck;
}

void LegacyDeck::repairMasters(std::vector<Page*> masters, const std::map<Element, HeaderFooter>& settings) {
    // A master placeholder holding literal text (PowerPoint 2007+ and LibreOffice write these) shows that
    // text whatever the settings say; it gets the field PowerPoint 97-2003 writes, which shows the setting.
    for (Page* master : masters)
        for (const auto& [key, value] : settings) {
            if (!value.visible) continue;
            const Element element = key;  // a lambda may not capture a structured binding before clang 16
            forEachShape(master->record, [&](Record& shape) {
                if (placementOfShape(shape) != placementOf(element)) return;
                if (PlaceholderText::hasField(shape, rt::fieldOf(placementOf(element)))) return;
                if (PlaceholderText::setField(shape, rt::fieldOf(placementOf(element))))
                    master->changed = true;
            });
        }
}

void LegacyDeck::addPlaceholders(MasterKind kind, const std::map<Element, HeaderFooter>& settings,
                                 PlaceholderAdd& adder) {
    // A master without a placeholder for a shown element gets one, so that the element shows on the pages
    // that use the master. Masters no page shows the elements of are left as they are.
    auto addTo = [&](Page& master, PlaceholderAdd::PageKind pageKind, std::int32_t width,
                     std::int32_t height) {
        const PlaceholderScan scan = PlaceholderScan::of(master.record);
        // A master showing the field in a text box of its own would show the element twice; LibreOffice drew
        // both numbers side by side.
        for (const auto& [element, value] : settings) {
            if (!value.visible || scan.has(placementOf(element)) || scan.hasOwnBox(placementOf(element)))
                continue;
            if (adder.add(master.record, placementOf(element), pageKind, width, height))
                master.changed = true;
        }
    };
    if (kind == MasterKind::Notes) {
        if (notesMaster_ && !notes_.empty())
            addTo(*notesMaster_, PlaceholderAdd::PageKind::Notes, notesWidth_, notesHeight_);
        return;
    }
    for (Page& master : masters_) {
        const bool used = std::any_of(slides_.begin(), slides_.end(), [&](const Page& slide) {
            return slide.masterId == master.slideId &&
                   !(omitTitlePlace_ && slide.layout == kTitleSlideLayout);
        });
        if (used) addTo(master, PlaceholderAdd::PageKind::Slide, slideWidth_, slideHeight_);
    }
}

void LegacyDeck::removePageCopies(std::vector<Page*> pages, const std::map<Element, HeaderFooter>& settings) {
    // PowerPoint 2007+ keeps a copy of each shown placeholder on every page; older readers and LibreOffice
    // draw it as a plain text box with the old text. Without the copies the masters and the settings
    // decide, as in files PowerPoint 97-2003 writes.
    std::set<std::uint8_t> placements;
    for (const auto& [element, value] : settings) placements.insert(placementOf(element));
    for (Page* page : pages)
        if (removeShapes(page->record,
                         [&](const Record& shape) { return placements.count(roundTripOfShape(shape)); }) > 0)
            page->changed = true;
}

void LegacyDeck::stampPages(std::vector<Page*> pages, const std::map<Element, HeaderFooter>& settings,
                            const std::set<Element>& textGiven) {
    for (Page* page : pages) {
        Record* own = page->record.child(rt::HeadersFooters);
        if (!own) continue;
        HeadersFooters hf = HeadersFooters::read(*own);
        for (const auto& [element, value] : settings) {
            if (textGiven.count(element)) {
                hf.set(element, value);
                continue;
            }
            HeaderFooter kept = hf.element(element);
            kept.visible = value.visible;
            hf.set(element, kept);
        }
        *own = hf.toRecord(own->instance(), own);
        page->changed = true;
    }
}

std::vector<std::string> LegacyDeck::stamp(const StampSettings& settings, const TextsGiven& given,
                                           std::chrono::system_clock::time_point) {
    std::vector<std::string> warnings;
    // A text not given is the document's own (read), so the document's settings take it back as it was;
    // a page's own settings keep theirs. Handouts share the notes pages' settings.
    std::set<Element> slideGiven, notesGiven;
    for (const auto& [kind, element] : given)
        (kind == MasterKind::Slide ? slideGiven : notesGiven).insert(element);
    std::map<Element, HeaderFooter> slide, notes;
    for (const auto& [key, value] : settings)
        if (key.first == MasterKind::Slide)
            slide.emplace(key.second, value);
        else if (key.first == MasterKind::Notes)
            notes.emplace(key.second, value);
    // One container drives notes pages and handouts alike, so handout settings fill only what the notes
    // settings leave open.
    bool handoutLost = false;
    for (const auto& [key, value] : settings) {
        if (key.first != MasterKind::Handout) continue;
        auto [it, added] = notes.emplace(key.second, value);
        if (!added && !sameSetting(it->second, value)) handoutLost = true;
    }
    if (handoutLost)
        warnings.push_back(
            "handouts of a .ppt presentation share the notes pages' header and footer; the "
            "notes settings were applied to both");

    std::vector<const Record*> all;
    for (auto* pages : {&masters_, &slides_, &notes_})
        for (const Page& p : *pages) all.push_back(&p.record);
    for (auto* page : {&notesMaster_, &handoutMaster_})
        if (*page) all.push_back(&(*page)->record);
    PlaceholderAdd adder(document_, all);

    if (!slide.empty()) {
        HeadersFooters hf = documentSettings(rt::kSlideInstance);
        for (const auto& [element, value] : slide) hf.set(element, value);
        setDocumentSettings(rt::kSlideInstance, hf);
        std::vector<Page*> pages;
        for (Page& p : slides_) pages.push_back(&p);
        for (Page& p : masters_) pages.push_back(&p);
        stampPages(pages, slide, slideGiven);
        std::vector<Page*> masters;
        for (Page& p : masters_) masters.push_back(&p);
        repairMasters(masters, textsReplaced(slide, slideGiven, false));
        addPlaceholders(MasterKind::Slide, slide, adder);
        std::vector<Page*> slides;
        for (Page& p : slides_) slides.push_back(&p);
        removePageCopies(slides, textsReplaced(slide, slideGiven, true));
        reportSlides(slide, warnings);
    }
    if (!notes.empty()) {
        HeadersFooters hf = documentSettings(rt::kNotesInstance);
        for (const auto& [element, value] : notes) hf.set(element, value);
        setDocumentSettings(rt::kNotesInstance, hf);
        std::vector<Page*> pages;
        for (Page& p : notes_) pages.push_back(&p);
        if (notesMaster_) pages.push_back(&*notesMaster_);
        if (handoutMaster_) pages.push_back(&*handoutMaster_);
        stampPages(pages, notes, notesGiven);
        if (notesMaster_) repairMasters({&*notesMaster_}, textsReplaced(notes, notesGiven, false));
        addPlaceholders(MasterKind::Notes, notes, adder);
        std::vector<Page*> notesPages;
        for (Page& p : notes_) notesPages.push_back(&p);
        removePageCopies(notesPages, textsReplaced(notes, notesGiven, true));
        reportNotes(notes, warnings);
    }
    return warnings;
}

void LegacyDeck::reportSlides(const std::map<Element, HeaderFooter>& settings,
                              std::vector<std::string>& warnings) const {
    std::map<std::uint32_t, PlaceholderScan> scans;  // by master slide id
    std::map<std::uint32_t, bool> isTitle;
    for (const Page& m : masters_) {
        scans.emplace(m.slideId, PlaceholderScan::of(m.record, slideWidth_, slideHeight_));
        isTitle.emplace(m.slideId, m.record.type() == rt::Slide);
    }
    enum Reason { Missing, OwnBox, StillShown, OwnText, OffPage, Edge, Background, kReasons };
    for (const auto& [element, value] : settings) {
        const std::uint8_t placement = placementOf(element);
        int counts[kReasons][2] = {};
        int roundTrip = 0;
        for (const Page& slide : slides_) {
            if (PlaceholderScan::of(slide.record).roundTripCount(placement) > 0) ++roundTrip;
            // The deck's own "don't show on title slide" switch hides them there by design.
            if (omitTitlePlace_ && slide.layout == kTitleSlideLayout) continue;
            auto scan = scans.find(slide.masterId);
            const int title = scan != scans.end() && isTitle[slide.masterId] ? 1 : 0;
            const bool ownBox =
                scan != scans.end() && !scan->second.has(placement) && scan->second.hasOwnBox(placement);
            if (!value.visible) {
                if (ownBox && slide.masterObjects) ++counts[StillShown][title];
                continue;
            }
            if (ownBox)
                ++counts[OwnBox][title];
            else if (scan == scans.end() || !scan->second.has(placement))
                ++counts[Missing][title];
            else if (!scan->second.hasField(placement))
                ++counts[OwnText][title];
            else if (!scan->second.onPage(placement))
                ++counts[OffPage][title];
            else if (!scan->second.wholeOnPage(placement))
                ++counts[Edge][title];
            else if (!slide.masterObjects)
                ++counts[Background][title];
        }
        const std::string name = nameOf(element, false);
        const bool number = element == Element::SlideNumber;
        for (int title : {0, 1}) {
            const std::string master = title ? "the title master" : "the slide master";
            auto say = [&](int n, const std::string& what, const std::string& why) {
                if (n > 0)
                    warnings.push_back("the " + what + " on " + count(n, "slide", "slides") + ": " + why);
            };
            say(counts[Missing][title], name + " cannot show", master + " has no " + name + " placeholder");
            say(counts[OwnBox][title], name + " cannot show as set",
                master + " has no " + name +
                    " placeholder; a text box of its own shows it whatever the setting");
            say(counts[StillShown][title], name + " still shows",
                master + " shows it in a text box of its own, not in a placeholder");
            say(counts[OwnText][title], number ? name + " cannot show" : "stamped " + name + " cannot show",
                master + "'s " + name + " placeholder " +
                    (number ? "holds no number field" : "shows its own text"));
            say(counts[OffPage][title], name + " cannot show",
                master + "'s " + name + " placeholder lies outside the slide");
            say(counts[Edge][title], name + " may not show whole",
                master + "'s " + name + " placeholder reaches past the slide's edge");
            // PowerPoint is thought to keep header/footer placeholders when background graphics are hidden;
            // LibreOffice hides them with the rest of the master's objects.
            say(counts[Background][title], name + " does not show in LibreOffice",
                (counts[Background][title] == 1 ? "it hides " : "they hide ") + master +
                    "'s background graphics");
        }
        if (roundTrip > 0)
            warnings.push_back(count(roundTrip, "slide keeps its", "slides keep their") + " own " + name +
                               " text box saved by PowerPoint 2007 or later, which was not changed");
    }
}

void LegacyDeck::reportNotes(const std::map<Element, HeaderFooter>& settings,
                             std::vector<std::string>& warnings) const {
    if (notes_.empty()) return;
    const int pages = static_cast<int>(notes_.size());
    std::optional<PlaceholderScan> scan;
    if (notesMaster_) scan = PlaceholderScan::of(notesMaster_->record, notesWidth_, notesHeight_);
    for (const auto& [element, value] : settings) {
        const std::uint8_t placement = placementOf(element);
        const std::string name = nameOf(element, true);
        int roundTrip = 0, ownBoxes = 0;
        for (const Page& page : notes_) {
            const PlaceholderScan own = PlaceholderScan::of(page.record);
            if (own.roundTripCount(placement) > 0) ++roundTrip;
            // Decks saved by LibreOffice can carry the field in a notes page's own text box, which shows
            // the settings' text (kept while hidden) whatever the flags say.
            if (own.hasOwnBox(placement)) ++ownBoxes;
        }
        if (roundTrip > 0)
            warnings.push_back(count(roundTrip, "notes page keeps its", "notes pages keep their") + " own " +
                               name + " text box saved by PowerPoint 2007 or later, which was not changed");
        if (!value.visible && ownBoxes > 0)
            warnings.push_back("the " + name + " still shows on " +
                               count(ownBoxes, "notes page: it shows", "notes pages: they show") +
                               " it in a text box of its own, not in a placeholder");
        const std::string pageCount = count(pages, "notes page", "notes pages");
        const bool ownBox = scan && !scan->has(placement) && scan->hasOwnBox(placement);
        if (!value.visible) {
            if (ownBox)
                warnings.push_back(
                    "the " + name + " still shows on " + pageCount +
                    ": the notes master shows it in a text box of its own, not in a placeholder");
            continue;
        }
        const std::string where = " cannot show on " + pageCount + ": ";
        if (ownBox)
            warnings.push_back("the " + name + " cannot show as set on " + pageCount +
                               ": the notes master has no " + name +
                               " placeholder; a text box of its own shows it whatever the setting");
        else if (!scan)
            warnings.push_back("the " + name + where + "the presentation has no notes master");
        else if (!scan->has(placement))
            warnings.push_back("the " + name + where + "the notes master has no " + name + " placeholder");
        else if (!scan->hasField(placement))
            warnings.push_back("the stamped " + name + where + "the notes master's " + name +
                               " placeholder shows its own text");
        else if (!scan->onPage(placement))
            warnings.push_back("the " + name + where + "the notes master's " + name +
                               " placeholder lies outside the page");
        else if (!scan->wholeOnPage(placement))
            warnings.push_back("the " + name + " may not show whole on " + pageCount +
                               ": the notes master's " + name + " placeholder reaches past the page's edge");
    }
}

void LegacyDeck::replaceStreams() {
    if (documentChanged_) stream_->replace(stream_->documentId(), document_.bytes());
    for (auto* pages : {&masters_, &slides_, &notes_})
        for (const Page& p : *pages)
            if (p.changed) stream_->replace(p.persistId, p.record.bytes());
    for (auto* page : {&notesMaster_, &handoutMaster_})
        if (*page && (*page)->changed) stream_->replace((*page)->persistId, (*page)->record.bytes());
    auto [document, user] = stream_->write();
    file_->replaceStream(kDocumentStream, std::move(document));
    file_->replaceStream(kCurrentUserStream, std::move(user));
}

std::string LegacyDeck::bytes() {
    replaceStreams();
    return file_->serialize();
}

void LegacyDeck::write(int fd, const std::string& target) {
    // Written as laid out, a piece at a time: the other streams (pictures above all) are copied from
    // the source, never held whole.
    std::uint64_t written = 0;
    try {
        replaceStreams();
        file_->write([&](std::string_view piece) {
            while (!piece.empty()) {
                const ssize_t n = ::write(fd, piece.data(), piece.size());
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) {
                    const int saved = n < 0 ? errno : ENOSPC;
                    fail(ErrorCode::WriteFailed, target, "",
                         std::string("cannot write the output file (") + std::strerror(saved) + ")");
                }
                piece.remove_prefix(static_cast<std::size_t>(n));
                written += static_cast<std::uint64_t>(n);
            }
        });
    } catch (const Error& e) {
        // A source that can no longer be read is the source's failure, not the output's.
        if (e.code() == ErrorCode::LimitExceeded || e.code() == ErrorCode::WriteFailed ||
            e.code() == ErrorCode::ReadFailed)
            throw;
        fail(ErrorCode::WriteFailed, target, "",
             std::string("the stamped presentation cannot be built (") + e.what() + ")");
    }
    // The written deck must read back with every live object of the same type before it replaces
    // anything: it is read back from the file written.
    try {
        const LegacyDeck check(CompoundFile::parse([fd](std::uint64_t offset, std::uint64_t count,
                                                        char* to) { return readAt(fd, offset, count, to); },
                                                   written, target),
                               target);
        bool same = check.stream_->offsets().size() == stream_->offsets().size();
        for (const auto& [id, at] : stream_->offsets())
            same = same && check.stream_->typeOf(id) == stream_->typeOf(id);
        if (!same) fail(ErrorCode::WriteFailed, target, "", "the stamped presentation lost a record");
    } catch (const Error& e) {
        if (e.code() == ErrorCode::WriteFailed) throw;
        fail(ErrorCode::WriteFailed, target, "",
             std::string("the stamped presentation does not read back (") + e.what() + ")");
    }
}

}  // namespace trelwick::engine::ppt
