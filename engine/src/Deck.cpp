#include "Deck.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "Failure.h"
#include "Namespaces.h"

namespace trelwick::engine {
namespace {

bool endsWith(std::string_view s, std::string_view tail) {
    return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

// Looked up for every relationship of every page, so it builds no string.
bool isType(std::string_view type, std::string_view name) {
    constexpr std::string_view folder = "/relationships/";
    return endsWith(type, name) && endsWith(type.substr(0, type.size() - name.size()), folder);
}

std::string percentDecode(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && std::isxdigit(static_cast<unsigned char>(s[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
            out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

std::int64_t attrInt(pugi::xml_node node, const char* name, std::int64_t fallback) {
    const pugi::xml_attribute a = node.attribute(name);
    return a ? a.as_llong(fallback) : fallback;
}

bool attrBool(pugi::xml_node node, const char* name, bool fallback) {
    const pugi::xml_attribute a = node.attribute(name);
    if (!a) return fallback;
    const std::string_view v = a.value();
    return v == "1" || v == "true" || v == "on";
}

}  // namespace

std::string relationshipsPartOf(const std::string& partName) {
    const auto slash = partName.rfind('/');
    if (slash == std::string::npos) return "_rels/" + partName + ".rels";
    return partName.substr(0, slash) + "/_rels/" + partName.substr(slash + 1) + ".rels";
}

Deck::Deck(std::unique_ptr<ZipPackage> zip) : zip_(std::move(zip)) {
    if (zip_->find("_rels/.rels").empty())
        fail(ErrorCode::NotAPresentation, label(), "",
             "the package has no relationships, so it is not a presentation");
    for (const Relationship& r : relationships("")) {
        if (r.external || !isType(r.type, ns::kOfficeDocument)) continue;
        strict_ = r.type.find("purl.oclc.org") != std::string::npos;
        presentationPart_ = resolve("", r.target);
        break;
    }
    if (presentationPart_.empty() || !exists(presentationPart_))
        fail(ErrorCode::NotAPresentation, label(), "", "the package holds no presentation part");
    XmlPart& p = presentation();
    const std::string_view rootLocal = localName(p.root().name());
    bool pml = false;
    p.prefixOf(ns::kPml, ns::kPmlStrict, &pml);
    if (rootLocal != "presentation" || !pml)
        fail(ErrorCode::NotAPresentation, label(), presentationPart_, "the main part is not a presentation");
    strict_ = std::string_view(
                  p.root().attribute(("xmlns:" + p.prefixOf(ns::kPml, ns::kPmlStrict)).c_str()).value()) ==
                  ns::kPmlStrict ||
              std::string_view(p.root().attribute("xmlns").value()) == ns::kPmlStrict;
    readPresentation();
}

void Deck::readPresentation() {
    XmlPart& p = presentation();
    const std::string pp = p.prefixOf(ns::kPml, ns::kPmlStrict);
    const std::string rp = p.prefixOf(ns::kRel, ns::kRelStrict);
    const pugi::xml_node root = p.root();
    const std::string rid = qualified(rp, "id");
    auto listOf = [&](const char* list, const char* item, const char* what) {
        std::vector<std::string> out;
        const std::string itemName = qualified(pp, item);  // the range keeps only a pointer to it
        for (pugi::xml_node n : root.child(qualified(pp, list).c_str()).children(itemName.c_str())) {
            const std::string t = targetById(presentationPart_, n.attribute(rid.c_str()).value());
            if (t.empty() || !exists(t))
                failDamaged(label(), presentationPart_,
                            std::string("a ") + what + " the presentation lists is missing (" + list + ")");
            out.push_back(t);
        }
        return out;
    };
    slideMasters = listOf("sldMasterIdLst", "sldMasterId", "slide master");
    const std::uint64_t listed =
        static_cast<std::uint64_t>(std::distance(root.child(qualified(pp, "sldIdLst").c_str()).begin(),
                                                 root.child(qualified(pp, "sldIdLst").c_str()).end()));
    if (listed > zip_->limits().maxSlides)
        fail(ErrorCode::LimitExceeded, label(), presentationPart_,
             "the presentation has more than " + std::to_string(zip_->limits().maxSlides) + " slides");
    slides = listOf("sldIdLst", "sldId", "slide");
    // Some writers link the notes or handout master from the presentation (and the notes slides to
    // theirs) without listing it: passed over, a notes master made beside it would leave the deck with two.
    auto masterOf = [&](const char* list, const char* item, const char* what, std::string_view type) {
        const auto listedMasters = listOf(list, item, what);
        if (!listedMasters.empty()) return listedMasters.front();
        const std::string linked = target(presentationPart_, type);
        return !linked.empty() && exists(linked) ? linked : std::string();
    };
    notesMaster = masterOf("notesMasterIdLst", "notesMasterId", "notes master", ns::kNotesMaster);
    handoutMaster = masterOf("handoutMasterIdLst", "handoutMasterId", "handout master", ns::kHandoutMaster);
    // Any int is valid here; a hostile one near the top would overflow when the slides are counted on.
    firstSlideNumber = static_cast<int>(
        std::clamp<std::int64_t>(attrInt(root, "firstSlideNum", 1), -1000000000, 1000000000));
    showOnTitleSlide = attrBool(root, "showSpecialPlsOnTitleSld", true);
    const pugi::xml_node sldSz = root.child(qualified(pp, "sldSz").c_str());
    slideWidth = std::clamp<std::int64_t>(attrInt(sldSz, "cx", 9144000), 914400, 51206400);
    slideHeight = std::clamp<std::int64_t>(attrInt(sldSz, "cy", 6858000), 914400, 51206400);
    const pugi::xml_node notesSz = root.child(qualified(pp, "notesSz").c_str());
    notesWidth = std::clamp<std::int64_t>(attrInt(notesSz, "cx", 6858000), 914400, 51206400);
    notesHeight = std::clamp<std::int64_t>(attrInt(notesSz, "cy", 9144000), 914400, 51206400);
}

bool Deck::isSigned() const {
    return zip_->hasPrefix("_xmlsignatures/");
}

bool Deck::exists(const std::string& name) const {
    return parts_.count(name) > 0 || copiedNewParts_.count(name) > 0 || !zip_->find(name).empty();
}

XmlPart& Deck::part(const std::string& name) {
    if (auto it = parts_.find(name); it != parts_.end()) return *it->second;
    const std::string entry = zip_->find(name);
    if (entry.empty()) fail(ErrorCode::DamagedPackage, label(), name, "the part is missing");
    if (auto it = parts_.find(entry); it != parts_.end()) return *it->second;
    auto part = std::make_unique<XmlPart>(entry, zip_->read(entry), label());
    return *parts_.emplace(entry, std::move(part)).first->second;
}

const std::vector<Relationship>& Deck::relationships(const std::string& source) {
    if (auto it = relationships_.find(source); it != relationships_.end()) return it->second;
    std::vector<Relationship>& out = relationships_[source];
    const std::string relsName = relationshipsPartOf(source);
    if (!exists(relsName)) return out;
    for (pugi::xml_node n : part(relsName).root().children()) {
        if (n.type() != pugi::node_element || localName(n.name()) != "Relationship") continue;
        Relationship r;
        r.id = n.attribute("Id").value();
        r.type = n.attribute("Type").value();
        r.target = n.attribute("Target").value();
        r.external = std::string_view(n.attribute("TargetMode").value()) == "External";
        out.push_back(std::move(r));
    }
    return out;
}

std::string Deck::resolve(const std::string& source, const std::string& target) const {
    // Followed for every page's relationships, so it builds the path in one string.
    const std::string_view plain = std::string_view(target).substr(0, target.find('#'));
    const std::string decoded =
        plain.find('%') == std::string_view::npos ? std::string(plain) : percentDecode(std::string(plain));
    std::string base;
    if (!decoded.empty() && decoded.front() == '/') {
        base = decoded.substr(1);
    } else {
        const auto slash = source.rfind('/');
        base = (slash == std::string::npos ? std::string() : source.substr(0, slash + 1)) + decoded;
    }
    std::string out;
    out.reserve(base.size());
    std::size_t start = 0;
    while (start <= base.size()) {
        const auto end = std::min(base.find('/', start), base.size());
        const std::string_view seg = std::string_view(base).substr(start, end - start);
        if (seg == "..") {
            if (out.empty())
                fail(ErrorCode::DamagedPackage, label(), relationshipsPartOf(source),
                     "a relationship points outside the package (" + target + ")");
            const auto last = out.rfind('/');
            out.resize(last == std::string::npos ? 0 : last);
        } else if (!seg.empty() && seg != ".") {
            if (!out.empty()) out += '/';
            out += seg;
        }
        start = end + 1;
    }
    return out;
}

std::string Deck::target(const std::string& source, std::string_view typeName) {
    for (const Relationship& r : relationships(source))
        if (!r.external && isType(r.type, typeName)) return resolve(source, r.target);
    return {};
}

std::string Deck::targetById(const std::string& source, const std::string& id) {
    // Indexed: the presentation part looks up every slide by id, and a scan per slide was quadratic.
    auto known = relationshipIds_.find(source);
    if (known == relationshipIds_.end()) {
        known = relationshipIds_.emplace(source, std::map<std::string, std::size_t>()).first;
        const std::vector<Relationship>& all = relationships(source);
        for (std::size_t i = 0; i < all.size(); ++i)
            if (!all[i].external) known->second.emplace(all[i].id, i);  // the first of an id counts
    }
    const auto it = known->second.find(id);
    return it == known->second.end() ? std::string()
                                     : resolve(source, relationships(source)[it->second].target);
}

std::string Deck::relationshipType(std::string_view typeName) const {
    return std::string(strict_ ? ns::kRelStrict : ns::kRel) + "/" + std::string(typeName);
}

std::string Deck::addRelationship(const std::string& source, std::string_view typeName,
                                  const std::string& targetPart) {
    const std::string relsName = relationshipsPartOf(source);
    if (!exists(relsName))
        addXmlPart(
            relsName,
            std::string(
                "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<Relationships xmlns=\"") +
                std::string(ns::kPackageRels) + "\"></Relationships>",
            ns::kRelsType);
    XmlPart& rels = part(relsName);
    // A set: a hostile part may hold every id the search tries first.
    std::unordered_set<std::string_view> ids;
    std::size_t listed = 0;
    for (pugi::xml_node n : rels.root().children()) {
        ids.insert(n.attribute("Id").value());
        ++listed;
    }
    std::string id;
    for (std::size_t k = listed + 1;; ++k) {
        id = "rId" + std::to_string(k);
        if (ids.count(id) == 0) break;
    }
    // Target relative to the source's folder, as PowerPoint writes it.
    auto split = [](const std::string& path) {
        std::vector<std::string> out;
        std::size_t start = 0;
        for (std::size_t end; (end = path.find('/', start)) != std::string::npos; start = end + 1)
            out.push_back(path.substr(start, end - start));
        out.push_back(path.substr(start));
        return out;
    };
    std::vector<std::string> from = split(source);
    from.pop_back();  // the source's own file name
    const std::vector<std::string> to = split(targetPart);
    std::size_t common = 0;
    while (common < from.size() && common + 1 < to.size() && from[common] == to[common]) ++common;
    std::string relative;
    for (std::size_t i = common; i < from.size(); ++i) relative += "../";
    for (std::size_t i = common; i < to.size(); ++i) relative += to[i] + (i + 1 < to.size() ? "/" : "");
    if (source.empty()) relative = targetPart;
    pugi::xml_node n = rels.root().append_child(
        qualified(rels.prefixOf(ns::kPackageRels, ns::kPackageRels), "Relationship").c_str());
    n.append_attribute("Id") = id.c_str();
    n.append_attribute("Type") = relationshipType(typeName).c_str();
    n.append_attribute("Target") = relative.c_str();
    rels.markDirty();
    relationships_.erase(source);
    relationshipIds_.erase(source);
    return id;
}

std::string Deck::unusedPartName(const std::string& folder, const std::string& stem) {
    int& next = nextPartNumber_.try_emplace(folder + "/" + stem, 1).first->second;
    for (;; ++next) {
        std::string name = folder + "/" + stem + std::to_string(next) + ".xml";
        // Relationships left behind by a part removed without them would be taken over by the new one.
        const std::string rels = relationshipsPartOf(name);
        if (!exists(name) && !exists(rels) && !zip_->holdsForAnyReader(name) &&
            !zip_->holdsForAnyReader(rels)) {
            ++next;
            return name;
        }
    }
}

void Deck::addContentType(const std::string& partName, std::string_view contentType) {
    XmlPart& types = part("[Content_Types].xml");
    const std::string wanted = "/" + partName;
    const std::string prefix = types.prefixOf(ns::kContentTypes, ns::kContentTypes);
    const std::string overrideName = qualified(prefix, "Override");
    const std::string defaultName = qualified(prefix, "Default");
    if (!overridden_) {
        overridden_.emplace();
        for (pugi::xml_node n : types.root().children(overrideName.c_str()))
            overridden_->insert(toLower(n.attribute("PartName").value()));
    }
    if (overridden_->count(toLower(wanted)) > 0) {
        // Left behind for a part no longer there: the new part's type replaces whatever it says.
        for (pugi::xml_node n : types.root().children(overrideName.c_str()))
            if (equalsIgnoringCase(n.attribute("PartName").value(), wanted)) {
                pugi::xml_attribute type = n.attribute("ContentType");
                if (!type) type = n.append_attribute("ContentType");
                if (std::string_view(type.value()) == contentType) continue;
                type.set_value(std::string(contentType).c_str());
                types.markDirty();
            }
        return;
    }
    // A rels part is normally covered by the Default for the extension.
    if (contentType == ns::kRelsType)
        for (pugi::xml_node n : types.root().children(defaultName.c_str()))
            if (equalsIgnoringCase(n.attribute("Extension").value(), "rels")) return;
    pugi::xml_node n = types.root().append_child(overrideName.c_str());
    n.append_attribute("PartName") = wanted.c_str();
    overridden_->insert(toLower(wanted));
    n.append_attribute("ContentType") = std::string(contentType).c_str();
    types.markDirty();
}

XmlPart& Deck::addXmlPart(const std::string& name, const std::string& text, std::string_view contentType) {
    zip_->chargeCreated(name, text.size());
    auto part = std::make_unique<XmlPart>(XmlPart::created(name, text));
    XmlPart& ref = *parts_.emplace(name, std::move(part)).first->second;
    newParts_.push_back(name);
    addContentType(name, contentType);
    return ref;
}

void Deck::addCopiedPart(const std::string& name, const std::string& entry, std::string_view contentType) {
    copiedNewParts_.emplace(name, entry);
    newParts_.push_back(name);
    addContentType(name, contentType);
}

}  // namespace trelwick::engine
