#include "DocumentStream.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <set>

#include "../Failure.h"
#include "../Heap.h"
#include "Bytes.h"
#include "RecordTypes.h"

namespace trelwick::engine::ppt {
namespace {

constexpr std::uint32_t kPlainToken = 0xE391C05F;
constexpr std::uint32_t kEncryptedToken = 0xF3D1C4DF;
constexpr std::uint32_t kMinEditLength = 0x1C;
constexpr std::uint32_t kMaxRun = 0xFFF;  // cPersist is 12 bits wide

// Offsets inside a UserEditAtom record (header included).
constexpr std::size_t kOffsetLastEdit = 16;
constexpr std::size_t kOffsetPersistDirectory = 20;
constexpr std::size_t kDocPersistIdRef = 24;
constexpr std::size_t kPersistIdSeed = 28;
constexpr std::size_t kEncryptSessionPersistIdRef = 36;

}  // namespace

void DocumentStream::damaged(const std::string& what) const {
    failDamaged(label_, "PowerPoint Document", what);
}

DocumentStream::DocumentStream(std::string currentUser, std::string document, const std::string& label)
    : label_(label), currentUser_(std::move(currentUser)), document_(std::move(document)) {
    const auto user = RecordHeader::at(currentUser_, 0);
    if (!user || user->type != rt::CurrentUserAtom || user->length < 20)
        failDamaged(label_, "Current User", "the current user record is damaged");
    const std::uint32_t token = get32(currentUser_, 12);
    // Some protected files keep a plain token here; the edit's own encryption marker is checked below.
    if (token == kEncryptedToken)
        fail(ErrorCode::PasswordProtected, label_, "", "the presentation is protected by a password");
    if (token != kPlainToken) failDamaged(label_, "Current User", "the current user record is damaged");

    // Newest edit first; an older edit's entry never replaces a newer one. A chain that comes back to an
    // offset already seen would loop forever, so it is refused rather than repaired.
    std::set<std::uint32_t> seen;
    // Each edit's persist directory is its own: many edits naming one large directory made the walk
    // below take hours over a few hostile megabytes, and no save writes such a chain.
    std::map<std::size_t, std::size_t> directories;  // start -> end in the stream
    std::uint32_t offset = get32(currentUser_, 16);
    bool newest = true;
    while (true) {
        if (!seen.insert(offset).second) damaged("the chain of saved edits loops");
        const auto edit = RecordHeader::at(document_, offset);
        if (!edit || edit->type != rt::UserEditAtom || edit->length < kMinEditLength)
            damaged("a saved edit lies outside the stream or is damaged");
        ++editCount_;
        if (newest) {
            editOffset_ = offset;
            editLength_ = 8 + edit->length;
            documentId_ = get32(document_, offset + kDocPersistIdRef);
            if (edit->length >= 0x20 && get32(document_, offset + kEncryptSessionPersistIdRef) != 0)
                fail(ErrorCode::PasswordProtected, label_, "", "the presentation is protected by a password");
            newest = false;
        }
        const std::uint32_t directoryOffset = get32(document_, offset + kOffsetPersistDirectory);
        const auto directory = RecordHeader::at(document_, directoryOffset);
        if (!directory ||
            (directory->type != rt::PersistDirectoryAtom && directory->type != rt::PersistDirectoryAtomOld))
            damaged("the persist directory of a saved edit lies outside the stream or is damaged");
        std::size_t at = directoryOffset + 8;
        const std::size_t end = at + directory->length;
        const auto after = directories.lower_bound(directoryOffset);
        if ((after != directories.end() && after->first < end) ||
            (after != directories.begin() && std::prev(after)->second > directoryOffset))
            damaged("two saved edits share a persist directory");
        directories.emplace(directoryOffset, end);
        while (at + 4 <= end) {
            const std::uint32_t entry = get32(document_, at);
            const std::uint32_t first = entry & 0xFFFFF;
            const std::uint32_t count = entry >> 20;
            at += 4;
            if (count > (end - at) / 4) damaged("a persist directory entry runs past its record");
            // Ids are twenty bits wide; one past them could not be written back as itself.
            if (count > 0 && first + count - 1 > 0xFFFFF)
                damaged("a persist directory entry runs past the last id");
            for (std::uint32_t k = 0; k < count; ++k, at += 4)
                offsets_.emplace(first + k, get32(document_, at));
        }
        const std::uint32_t previous = get32(document_, offset + kOffsetLastEdit);
        if (previous == 0) break;
        offset = previous;
    }

    for (const auto& [id, at] : offsets_) {
        const auto h = RecordHeader::at(document_, at);
        if (!h) damaged("persist object " + std::to_string(id) + " lies outside the stream");
        if (h->type == rt::DocumentEncryptionAtom)
            fail(ErrorCode::PasswordProtected, label_, "", "the presentation is protected by a password");
    }
    // Persist objects lie one after another. One inside another is copied whole with it on saving:
    // nested ones turned a few hostile kilobytes into a save of gigabytes.
    std::map<std::uint32_t, std::size_t> spans;
    for (const auto& [id, at] : offsets_) spans.emplace(at, std::size_t{at} + 8 + get32(document_, at + 4));
    std::size_t reached = 0;
    for (const auto& [at, end] : spans) {
        if (at < reached) damaged("persist object records overlap");
        reached = end;
    }
    if (typeOf(documentId_) != rt::Document) damaged("the document record is missing");
}

std::uint16_t DocumentStream::typeOf(std::uint32_t id) const {
    auto it = offsets_.find(id);
    return it == offsets_.end() ? 0 : get16(document_, it->second + 2);
}

std::string_view DocumentStream::object(std::uint32_t id) const {
    auto it = offsets_.find(id);
    if (it == offsets_.end()) return {};
    return std::string_view(document_).substr(it->second, 8 + get32(document_, it->second + 4));
}

void DocumentStream::replace(std::uint32_t id, std::string record) {
    replaced_[id] = std::move(record);
}

std::pair<std::string, std::string> DocumentStream::write() const {
    // Objects keep their relative order, so a second identical run writes the same bytes; ids that
    // shared one record keep sharing it.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> byOffset;
    for (const auto& [id, at] : offsets_) byOffset.emplace_back(at, id);
    std::sort(byOffset.begin(), byOffset.end());

    // A record is replaced for every id that names it: a slide named by two ids is stamped once, and
    // the second id must not keep the old record (the deck then opened with a slide more).
    std::map<std::uint32_t, const std::string*> replacedAt;  // original offset -> new record
    for (const auto& [id, record] : replaced_)
        if (auto it = offsets_.find(id); it != offsets_.end()) replacedAt[it->second] = &record;

    // Room for exactly what is written: the live objects, the persist directory (at most two words an
    // id) and the edit. A stream saved fast many times holds far more than that in stale copies, and
    // memory made ready for them would never be written.
    std::size_t bytes = 8 + 8 * byOffset.size() + editLength_;
    for (std::size_t k = 0; k < byOffset.size(); ++k) {
        const std::uint32_t at = byOffset[k].first;
        if (k > 0 && byOffset[k - 1].first == at) continue;
        const auto changed = replacedAt.find(at);
        bytes += changed == replacedAt.end() ? object(byOffset[k].second).size() : changed->second->size();
    }
    std::string out;
    reservePopulated(out, bytes);
    std::map<std::uint32_t, std::uint32_t> written;
    std::map<std::uint32_t, std::uint32_t> placedFrom;  // original offset of an object -> new
    for (const auto& [at, id] : byOffset) {
        if (auto same = placedFrom.find(at); same != placedFrom.end()) {
            written[id] = same->second;
            continue;
        }
        placedFrom[at] = static_cast<std::uint32_t>(out.size());
        written[id] = static_cast<std::uint32_t>(out.size());
        const auto changed = replacedAt.find(at);
        if (changed == replacedAt.end())
            out += object(id);
        else
            out += *changed->second;
    }

    std::string entries;
    for (auto it = written.begin(); it != written.end();) {
        const std::uint32_t first = it->first;
        std::vector<std::uint32_t> run;
        while (it != written.end() && it->first == first + run.size() && run.size() < kMaxRun) {
            run.push_back(it->second);
            ++it;
        }
        append32(entries, first | static_cast<std::uint32_t>(run.size()) << 20);
        for (std::uint32_t at : run) append32(entries, at);
    }
    const auto directoryOffset = static_cast<std::uint32_t>(out.size());
    append16(out, 0);
    append16(out, rt::PersistDirectoryAtom);
    append32(out, static_cast<std::uint32_t>(entries.size()));
    out += entries;

    const auto editOffset = static_cast<std::uint32_t>(out.size());
    std::string edit = document_.substr(editOffset_, editLength_);
    put32(edit, kOffsetLastEdit, 0);
    put32(edit, kOffsetPersistDirectory, directoryOffset);
    if (!written.empty() && get32(edit, kPersistIdSeed) < written.rbegin()->first)
        put32(edit, kPersistIdSeed, written.rbegin()->first);
    out += edit;

    std::string user = currentUser_;
    put32(user, 16, editOffset);
    return {std::move(out), std::move(user)};
}

}  // namespace trelwick::engine::ppt
