#include "OpenXmlBackend.h"

#include "HeaderFooterStamper.h"
#include "PackageWriter.h"

namespace trelwick::engine {

HeaderFooter OpenXmlBackend::read(MasterKind kind, Element element,
                                  std::chrono::system_clock::time_point now) {
    if (!reader_) reader_ = std::make_unique<HeaderFooterStamper>(*deck_, now);  // reading uses no clock
    return reader_->read(kind, element);
}

std::vector<std::string> OpenXmlBackend::stamp(const StampSettings& settings, const TextsGiven& given,
                                               std::chrono::system_clock::time_point now) {
    reader_.reset();
    HeaderFooterStamper stamper(*deck_, now);
    for (MasterKind kind : {MasterKind::Slide, MasterKind::Notes, MasterKind::Handout}) {
        std::map<Element, HeaderFooter> forKind;
        for (const auto& [key, value] : settings)
            if (key.first == kind) forKind.emplace(key.second, value);
        std::set<Element> givenForKind;
        for (const auto& [k, element] : given)
            if (k == kind) givenForKind.insert(element);
        stamper.apply(kind, forKind, givenForKind);
    }
    return stamper.warnings();
}

void OpenXmlBackend::write(int fd, const std::string& target) {
    PackageWriter::write(*deck_, fd, target);
}

}  // namespace trelwick::engine
