#include "StampLookup.h"

#include "Failure.h"
#include "Namespaces.h"

namespace trelwick::engine {

const Prefixes& StampLookup::prefixes(const XmlPart& part) {
    auto it = prefixes_.find(&part);
    if (it == prefixes_.end()) {
        bool dmlOnRoot = false;
        const Prefixes& px = prefixesFor(part.prefixOf(ns::kPml, ns::kPmlStrict),
                                         part.prefixOf(ns::kDml, ns::kDmlStrict, &dmlOnRoot), owned_);
        if (!part.namespacesChecked()) {
            // Without DrawingML on the root, the stamp declares it there before writing, under the
            // prefix ensurePrefix will pick.
            const std::string declared = dmlOnRoot ? px.a : part.freePrefix("a");
            refuseRebound(part, reboundAbove(part, px, declared));
            part.markNamespacesChecked();
        }
        it = prefixes_.emplace(&part, &px).first;
    }
    return *it->second;
}

const Prefixes& StampLookup::writablePrefixes(XmlPart& part, bool strict) {
    std::string dml = part.ensurePrefix(ns::kDml, ns::kDmlStrict, strict, "a");
    const Prefixes& known = prefixes(part);
    if (known.a == dml) return known;
    const Prefixes*& entry = prefixes_.at(&part);
    entry = &prefixesFor(part.prefixOf(ns::kPml, ns::kPmlStrict), std::move(dml), owned_);
    return *entry;
}

const std::vector<Placeholder>& StampLookup::inheritedPlaceholders(const XmlPart& part) {
    auto it = placeholders_.find(&part);
    if (it == placeholders_.end())
        it = placeholders_.emplace(&part, placeholderRecords(part, prefixes(part), "")).first;
    return it->second;
}

void StampLookup::refuseRebound(const XmlPart& part, const std::string& rebound) const {
    if (!rebound.empty())
        fail(ErrorCode::DamagedXml, fileLabel_, part.name(),
             "the page declares a namespace of its shapes again below its root (" + rebound +
                 "), which the stamp cannot follow");
}

}  // namespace trelwick::engine
