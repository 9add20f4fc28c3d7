#include <map>
#include <optional>
#include <set>

#include "AtomicFile.h"
#include "Deck.h"
#include "Failure.h"
#include "HeaderFooterStamper.h"
#include "PackageWriter.h"
#include "trelwick/engine.h"

namespace trelwick::engine {

struct Presentation::Impl {
    std::unique_ptr<Deck> deck;
    std::map<std::pair<MasterKind, Element>, HeaderFooter> settings;  // only elements set by the caller
    std::optional<std::chrono::system_clock::time_point> now;

    std::chrono::system_clock::time_point clock() const {
        return now ? *now : std::chrono::system_clock::now();
    }

    HeaderFooter& setting(MasterKind kind, Element element) {
        if (!Presentation::hasElement(kind, element))
            throw std::invalid_argument("this master kind has no such header/footer element");
        const auto key = std::make_pair(kind, element);
        auto it = settings.find(key);
        if (it == settings.end()) {
            HeaderFooterStamper stamper(*deck, clock());
            it = settings.emplace(key, stamper.read(kind, element)).first;
        }
        return it->second;
    }
};

Presentation::Presentation(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Presentation::Presentation(Presentation&&) noexcept = default;
Presentation& Presentation::operator=(Presentation&&) noexcept = default;
Presentation::~Presentation() = default;

Presentation Presentation::open(const std::filesystem::path& file, const Limits& limits) {
    auto impl = std::make_unique<Impl>();
    impl->deck = std::make_unique<Deck>(ZipPackage::openFile(file, limits));
    return Presentation(std::move(impl));
}

Presentation Presentation::openBytes(std::string bytes, const std::string& name, const Limits& limits) {
    auto impl = std::make_unique<Impl>();
    impl->deck = std::make_unique<Deck>(ZipPackage::openBytes(std::move(bytes), name, limits));
    return Presentation(std::move(impl));
}

std::size_t Presentation::slideCount() const {
    return impl_->deck->slides.size();
}
std::size_t Presentation::slideMasterCount() const {
    return impl_->deck->slideMasters.size();
}
bool Presentation::hasHandoutMaster() const {
    return !impl_->deck->handoutMaster.empty();
}
bool Presentation::isSigned() const {
    return impl_->deck->isSigned();
}

bool Presentation::hasNotesMaster() const {
    if (!impl_->deck->notesMaster.empty()) return true;
    for (const auto& [key, value] : impl_->settings)
        if (key.first == MasterKind::Notes && value.visible) return true;
    return false;
}

bool Presentation::hasElement(MasterKind kind, Element element) noexcept {
    return !(kind == MasterKind::Slide && element == Element::Header);
}

HeaderFooter Presentation::element(MasterKind kind, Element element) const {
    if (!hasElement(kind, element))
        throw std::invalid_argument("this master kind has no such header/footer element");
    if (auto it = impl_->settings.find({kind, element}); it != impl_->settings.end()) return it->second;
    HeaderFooterStamper stamper(*impl_->deck, impl_->clock());
    return stamper.read(kind, element);
}

void Presentation::setText(MasterKind kind, Element element, std::string_view text) {
    impl_->setting(kind, element).text = std::string(text);
}

void Presentation::setVisible(MasterKind kind, Element element, bool visible) {
    impl_->setting(kind, element).visible = visible;
}

void Presentation::setUseFormat(MasterKind kind, Element element, bool useFormat) {
    impl_->setting(kind, element).useFormat = useFormat;
}

void Presentation::setFormat(MasterKind kind, Element element, int format) {
    if (format < 1 || format > 13) throw std::invalid_argument("date format must be 1..13");
    impl_->setting(kind, element).format = format;
}

void Presentation::setNow(std::chrono::system_clock::time_point now) {
    impl_->now = now;
}

SaveOutcome Presentation::saveAs(const std::filesystem::path& target) {
    Deck& deck = *impl_->deck;
    HeaderFooterStamper stamper(deck, impl_->clock());
    for (MasterKind kind : {MasterKind::Slide, MasterKind::Notes, MasterKind::Handout}) {
        std::map<Element, HeaderFooter> forKind;
        for (const auto& [key, value] : impl_->settings)
            if (key.first == kind) forKind.emplace(key.second, value);
        stamper.apply(kind, forKind);
    }

    std::error_code ec;
    if (std::filesystem::is_directory(target, ec))
        fail(ErrorCode::WriteFailed, target.string(), "", "the target is a folder");
    const std::filesystem::path folder = target.parent_path().empty() ? "." : target.parent_path();
    if (!std::filesystem::is_directory(folder, ec))
        fail(ErrorCode::WriteFailed, target.string(), "", "the output folder does not exist");
    const std::vector<std::string> stampWarnings = stamper.warnings();
    AtomicFile file(target);
    PackageWriter::write(deck, file.temporaryPath(), target.string());
    file.commit();

    SaveOutcome outcome;
    outcome.warnings = stampWarnings;
    if (deck.isSigned() && !impl_->settings.empty()) {
        outcome.signatureInvalidated = true;
        outcome.warnings.push_back(target.string() +
                                   ": the presentation was digitally signed; its signature no longer holds");
    }
    for (const auto& [key, value] : impl_->settings)
        if (key.first == MasterKind::Handout && deck.handoutMaster.empty()) {
            outcome.warnings.push_back(
                target.string() +
                ": the presentation has no handout master; handout settings were not applied");
            break;
        }
    return outcome;
}

}  // namespace trelwick::engine
