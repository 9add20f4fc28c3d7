#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <set>

#include "AtomicFile.h"
#include "Deck.h"
#include "DeckBackend.h"
#include "Failure.h"
#include "Heap.h"
#include "OleProbe.h"
#include "OpenXmlBackend.h"
#include "ReadAt.h"
#include "SourceFile.h"
#include "cfb/CompoundFile.h"
#include "ppt/LegacyDeck.h"
#include "trelwick/engine.h"

namespace trelwick::engine {

struct Presentation::Impl {
    std::unique_ptr<DeckBackend> deck;
    StampSettings settings;  // only elements set by the caller
    TextsGiven textsGiven;   // of those, the ones whose text or date kind the caller set
    std::optional<std::chrono::system_clock::time_point> now;
    std::filesystem::path source;  // empty for a deck opened from memory
    std::optional<FileVersion> sourceVersion;

    std::chrono::system_clock::time_point clock() const {
        return now ? *now : std::chrono::system_clock::now();
    }

    // The fields of a setting the caller set; the others are the deck's own.
    enum Field : unsigned { kText = 1, kVisible = 2, kUseFormat = 4, kFormat = 8, kAll = 15 };
    std::map<std::pair<MasterKind, Element>, unsigned> fieldsSet;

    HeaderFooter& setting(MasterKind kind, Element element, Field field) {
        if (!Presentation::hasElement(kind, element))
            throw std::invalid_argument("this master kind has no such header/footer element");
        fieldsSet[{kind, element}] |= field;
        return settings[{kind, element}];
    }

    // Fills the fields the caller left unset from the deck: all of them, or (for a stamp) those that
    // can matter: a number has no text. A date stamped as fixed text still has its format read: the
    // stamp writes the text over the field holding it, and a later save that makes the date automatic
    // again needs it. Reading a deck costs about as much as stamping it, and a caller that sets every
    // field needs none of it.
    void complete(bool all = false) {
        for (auto& [key, value] : settings) {
            unsigned& set = fieldsSet[key];
            const bool isDate = key.second == Element::DateAndTime;
            const bool needed =
                all ? set != kAll
                    : !(set & kVisible) || (!(set & kText) && key.second != Element::SlideNumber) ||
                          (isDate && (set & (kUseFormat | kFormat)) != (kUseFormat | kFormat));
            if (!needed) continue;
            const HeaderFooter read = deck->read(key.first, key.second, clock());
            if (!(set & kText)) value.text = read.text;
            if (!(set & kVisible)) value.visible = read.visible;
            if (!(set & kUseFormat)) value.useFormat = read.useFormat;
            if (!(set & kFormat)) value.format = read.format;
            set = kAll;
        }
    }
};

namespace {

// A compound file is a legacy .ppt when it holds PowerPoint streams; LegacyDeck refuses anything else.
std::unique_ptr<DeckBackend> openCompoundFile(std::string bytes, const std::string& label) {
    if (bytes.size() > CompoundFile::kMaxBytes)
        fail(ErrorCode::LimitExceeded, label, "", "the presentation is larger than 2 GB");
    return std::make_unique<ppt::LegacyDeck>(CompoundFile::parse(std::move(bytes), label), label);
}

}  // namespace

void keepLocalTimeZone() {
#ifndef _WIN32
    // A leading colon names the zone file; glibc reads a zone named in TZ once.
    ::setenv("TZ", ":/etc/localtime", 0);
#endif
}

Presentation::Presentation(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Presentation::Presentation(Presentation&&) noexcept = default;
Presentation& Presentation::operator=(Presentation&&) noexcept = default;
Presentation::~Presentation() = default;

Presentation Presentation::open(const std::filesystem::path& file, const Limits& limits) {
    readyHeapForDecks();
    SourceFile source = SourceFile::open(file);
    // A small file is read in one go; no entry in it is worth a copy by the kernel.
    if (source.size() < limits.readWholeBelow) {
        std::string bytes = source.read(0, source.size());
        if (bytes.size() != source.size())
            fail(ErrorCode::ReadFailed, source.label(), "", "the file cannot be read");
        Presentation deck = openBytes(std::move(bytes), source.label(), limits);
        deck.impl_->source = file;
        deck.impl_->sourceVersion = source.version();
        return deck;
    }
    auto impl = std::make_unique<Impl>();
    impl->source = file;
    impl->sourceVersion = source.version();
    if (OleProbe::hasMagic(source.read(0, 8))) {
        if (source.size() > CompoundFile::kMaxBytes)
            fail(ErrorCode::LimitExceeded, source.label(), "", "the presentation is larger than 2 GB");
        const std::uint64_t length =
            CompoundFile::bytesToRead(source.read(0, 512), source.size(), source.label());
        // Read as needed rather than whole: the pictures of a large deck are then read only when its
        // output is written.
        const std::string label = source.label();
        auto file = std::make_shared<const SourceFile>(std::move(source));
        impl->deck = std::make_unique<ppt::LegacyDeck>(
            CompoundFile::parse(
                [file](std::uint64_t offset, std::uint64_t count, char* to) {
                    return readAt(file->fd(), offset, count, to);
                },
                length, label,
                [file] { FileVersion::refuseIfWritten(file->fd(), file->version(), file->label()); }),
            label);
    } else {
        impl->deck = std::make_unique<OpenXmlBackend>(
            std::make_unique<Deck>(ZipPackage::openFile(std::move(source), limits)));
    }
    return Presentation(std::move(impl));
}

Presentation Presentation::openBytes(std::string bytes, const std::string& name, const Limits& limits) {
    readyHeapForDecks();
    auto impl = std::make_unique<Impl>();
    if (OleProbe::hasMagic(bytes.substr(0, 8))) {
        impl->deck = openCompoundFile(std::move(bytes), name);
    } else {
        impl->deck = std::make_unique<OpenXmlBackend>(
            std::make_unique<Deck>(ZipPackage::openBytes(std::move(bytes), name, limits)));
    }
    return Presentation(std::move(impl));
}

void Presentation::load() {
    impl_->deck->load();
}

void Presentation::preload() {
    impl_->deck->preload();
}

bool Presentation::sourceUnchanged() const {
    return impl_->sourceVersion && FileVersion::of(impl_->source) == impl_->sourceVersion;
}

bool Presentation::hasTitleMaster() const noexcept {
    return impl_->deck->hasTitleMaster();
}

std::size_t Presentation::slideCount() const {
    return impl_->deck->slideCount();
}
std::size_t Presentation::slideMasterCount() const {
    return impl_->deck->slideMasterCount();
}
bool Presentation::hasHandoutMaster() const {
    return impl_->deck->hasHandoutMaster();
}
bool Presentation::isSigned() const {
    return impl_->deck->isSigned();
}

bool Presentation::hasNotesMaster() const {
    if (impl_->deck->hasNotesMaster()) return true;
    for (const auto& [key, value] : impl_->settings)
        if (key.first == MasterKind::Notes && !(impl_->fieldsSet[key] & Impl::kVisible)) impl_->complete();
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
    if (auto it = impl_->settings.find({kind, element}); it != impl_->settings.end()) {
        impl_->complete(true);
        return it->second;
    }
    return impl_->deck->read(kind, element, impl_->clock());
}

void Presentation::setText(MasterKind kind, Element element, std::string_view text) {
    // Malformed bytes would be written into the deck's XML as they are, and no reader could parse it.
    if (!engine::isUtf8(text)) throw std::invalid_argument("the text is not well-formed UTF-8");
    impl_->setting(kind, element, Impl::kText).text = std::string(text);
    impl_->textsGiven.insert({kind, element});
}

void Presentation::setVisible(MasterKind kind, Element element, bool visible) {
    impl_->setting(kind, element, Impl::kVisible).visible = visible;
}

void Presentation::setUseFormat(MasterKind kind, Element element, bool useFormat) {
    impl_->setting(kind, element, Impl::kUseFormat).useFormat = useFormat;
    impl_->textsGiven.insert({kind, element});
}

void Presentation::setFormat(MasterKind kind, Element element, int format) {
    if (format < 1 || format > 13) throw std::invalid_argument("date format must be 1..13");
    impl_->setting(kind, element, Impl::kFormat).format = format;
    impl_->textsGiven.insert({kind, element});
}

void Presentation::setNow(std::chrono::system_clock::time_point now) {
    impl_->now = now;
}

PendingSave::PendingSave(std::unique_ptr<AtomicFile> file, std::unique_ptr<Presentation> deck,
                         std::filesystem::path target, SaveOutcome outcome)
    : file_(std::move(file)),
      deck_(std::move(deck)),
      target_(std::move(target)),
      outcome_(std::move(outcome)) {}
PendingSave::PendingSave(PendingSave&&) noexcept = default;
PendingSave& PendingSave::operator=(PendingSave&&) noexcept = default;
PendingSave::~PendingSave() = default;

void PendingSave::write() {
    if (file_ || !deck_) return;
    const std::unique_ptr<Presentation> deck = std::move(deck_);  // let go however the write ends
    file_ = deck->writeStamped(target_);
}

SaveOutcome PendingSave::commit(FolderSync folder) {
    write();
    if (!file_) fail(ErrorCode::WriteFailed, target_.string(), "", "the presentation was already saved");
    const std::unique_ptr<AtomicFile> file = std::move(file_);
    if (folder == FolderSync::Now)
        file->commit();
    else
        file->commitFile();
    return std::move(outcome_);
}

void syncFolder(const std::filesystem::path& folder) {
    AtomicFile::syncFolder(folder.empty() ? std::filesystem::path(".") : folder);
}

std::vector<PendingSave::Committed> PendingSave::commitAll(const std::vector<PendingSave*>& saves,
                                                           FolderSync folder) {
    std::vector<Committed> results(saves.size());
    for (std::size_t i = 0; i < saves.size(); ++i) {
        try {
            saves[i]->write();
        } catch (...) {
            results[i].failure = std::current_exception();
        }
    }
    // Writing back starts for every file before the first is waited for, so that the first fsync's
    // wait covers them all (and on a journalled file system its commit too): the later ones find
    // their data already on the disk. A file alone has nothing to share its wait with.
    if (saves.size() > 1)
        for (PendingSave* save : saves)
            if (save->file_) save->file_->startWriteback();
    std::set<std::filesystem::path> folders;
    for (std::size_t i = 0; i < saves.size(); ++i) {
        PendingSave& save = *saves[i];
        if (results[i].failure) continue;
        try {
            if (!save.file_)
                fail(ErrorCode::WriteFailed, save.target_.string(), "", "the presentation was already saved");
            const std::unique_ptr<AtomicFile> file = std::move(save.file_);
            file->commitFile();
            if (folder == FolderSync::Now) folders.insert(file->folder());
            results[i].outcome = std::move(save.outcome_);
        } catch (...) {
            results[i].failure = std::current_exception();
        }
    }
    if (folder == FolderSync::Now)
        for (const std::filesystem::path& f : folders) AtomicFile::syncFolder(f);
    return results;
}

SaveOutcome Presentation::saveAs(const std::filesystem::path& target, FolderSync folder) {
    return prepareSave(target).commit(folder);
}

PendingSave Presentation::prepareSave(const std::filesystem::path& target) {
    SaveOutcome outcome = stampForSave();
    return PendingSave(writeStamped(target), nullptr, target, std::move(outcome));
}

PendingSave Presentation::deferSave(const std::filesystem::path& target) && {
    SaveOutcome outcome = stampForSave();
    return PendingSave(nullptr, std::make_unique<Presentation>(std::move(*this)), target, std::move(outcome));
}

SaveOutcome Presentation::stampForSave() {
    DeckBackend& deck = *impl_->deck;
    impl_->complete();
    SaveOutcome outcome;
    outcome.warnings = deck.stamp(impl_->settings, impl_->textsGiven, impl_->clock());
    if (deck.isSigned() && !impl_->settings.empty()) {
        outcome.signatureInvalidated = true;
        // First: of all a save can say, this changes most what the file is.
        outcome.warnings.insert(outcome.warnings.begin(),
                                "the presentation was digitally signed; its signature no longer holds");
    }
    for (const auto& [key, value] : impl_->settings)
        if (key.first == MasterKind::Handout && !deck.hasHandoutMaster()) {
            outcome.warnings.push_back(
                "the presentation has no handout master; handout settings were not applied");
            break;
        }
    return outcome;
}

std::unique_ptr<AtomicFile> Presentation::writeStamped(const std::filesystem::path& target) {
    std::unique_ptr<AtomicFile> file;
    try {
        file = std::make_unique<AtomicFile>(target);
    } catch (const Error&) {
        // Looked at only now: a folder that is there is the common case and costs a lookup per deck.
        const std::filesystem::path folder = target.parent_path().empty() ? "." : target.parent_path();
        std::error_code ec;
        if (!std::filesystem::is_directory(folder, ec))
            fail(ErrorCode::WriteFailed, target.string(), "", "the output folder does not exist");
        throw;
    }
    impl_->deck->write(file->fd(), target.string());
    return file;
}

}  // namespace trelwick::engine
