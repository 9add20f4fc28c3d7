#include "TestPptDeck.h"

#include <gtest/gtest.h>

#include "Bytes.h"
#include "TestDeck.h"
#include "cfb/CompoundFile.h"
#include "ppt/DocumentStream.h"
#include "ppt/Record.h"
#include "ppt/RecordTypes.h"
#include "trelwick/engine.h"

namespace trelwick::engine::test {

std::string pptRecord(std::uint16_t verInst, std::uint16_t type, const std::string& body) {
    std::string r;
    append16(r, verInst);
    append16(r, type);
    append32(r, static_cast<std::uint32_t>(body.size()));
    return r + body;
}

std::string alteredPptDeck(const std::filesystem::path& path,
                           const std::function<void(std::string&, std::string&)>& edit) {
    CompoundFile cfb = CompoundFile::parse(readFile(path), "fixture");
    std::string user = cfb.readStream("Current User");
    std::string document = cfb.readStream("PowerPoint Document");
    edit(user, document);
    cfb.replaceStream("Current User", user);
    cfb.replaceStream("PowerPoint Document", document);
    return cfb.serialize();
}

std::uint32_t persistOffset(const std::string& document, std::uint32_t edit, std::uint32_t id) {
    for (int steps = 0; steps < 64; ++steps) {
        const std::uint32_t directory = get32(document, edit + 20), length = get32(document, directory + 4);
        for (std::size_t at = directory + 8; at < directory + 8 + length;) {
            const std::uint32_t first = get32(document, at) & 0xFFFFF, count = get32(document, at) >> 20;
            at += 4;
            for (std::uint32_t k = 0; k < count; ++k, at += 4)
                if (first + k == id) return get32(document, at);
        }
        edit = get32(document, edit + 16);
        if (edit == 0) break;
    }
    return kNoOffset;
}

void appendEdit(std::string& user, std::string& doc, const std::string& entries,
                std::uint32_t persistIdSeed) {
    const std::uint32_t edit = get32(user, 16);
    const auto directory = static_cast<std::uint32_t>(doc.size());
    doc += pptRecord(0, ppt::rt::PersistDirectoryAtom, entries);
    std::string newEdit = doc.substr(edit, 8 + get32(doc, edit + 4));
    put32(newEdit, 16, edit);
    put32(newEdit, 20, directory);
    if (persistIdSeed != 0) put32(newEdit, 28, persistIdSeed);
    put32(user, 16, static_cast<std::uint32_t>(doc.size()));
    doc += newEdit;
}

std::uint32_t aliasLastSlide(std::string& user, std::string& doc, std::uint32_t alias) {
    const std::uint32_t edit = get32(user, 16);
    const std::uint32_t documentId = get32(doc, edit + 24);
    const std::uint32_t documentAt = persistOffset(doc, edit, documentId);
    if (documentAt == kNoOffset) {
        ADD_FAILURE() << "no record for the document's persist id " << documentId;
        return 0;
    }
    ppt::Record document =
        ppt::Record::parse(std::string_view(doc).substr(documentAt, 8 + get32(doc, documentAt + 4)));
    ppt::Record* list = document.child(ppt::rt::SlideListWithText, ppt::rt::kSlideList);
    const ppt::Record* entry = nullptr;
    if (list)
        for (const ppt::Record& child : list->children())
            if (child.type() == ppt::rt::SlidePersistAtom) entry = &child;
    if (!entry) {
        ADD_FAILURE() << "the deck lists no slide";
        return 0;
    }
    const std::uint32_t slideId = get32(entry->body(), 0);
    const std::uint32_t slideAt = persistOffset(doc, edit, slideId);
    if (slideAt == kNoOffset) {
        ADD_FAILURE() << "no record for the slide's persist id " << slideId;
        return 0;
    }
    ppt::Record second = *entry;
    put32(second.body(), 0, alias);
    list->children().push_back(second);
    // The new edit: the grown document record, a directory naming it and the alias, then the edit itself.
    const auto newDocument = static_cast<std::uint32_t>(doc.size());
    doc += document.bytes();
    std::string entries;
    append32(entries, documentId | 1u << 20);
    append32(entries, newDocument);
    append32(entries, alias | 1u << 20);
    append32(entries, slideAt);
    appendEdit(user, doc, entries, alias);
    return slideId;
}

ppt::HeadersFooters documentSettings(const std::filesystem::path& deck, std::uint16_t instance) {
    const CompoundFile cfb = CompoundFile::parse(readFile(deck), "out");
    const ppt::DocumentStream stream(cfb.readStream("Current User"), cfb.readStream("PowerPoint Document"),
                                     "out");
    const ppt::Record document = ppt::Record::parse(stream.object(stream.documentId()));
    const ppt::Record* settings = document.child(ppt::rt::HeadersFooters, instance);
    if (!settings) {
        ADD_FAILURE() << "the document has no header and footer settings of instance " << instance;
        return {};
    }
    return ppt::HeadersFooters::read(*settings);
}

void expectSlidesOrDamaged(const std::string& bytes, std::size_t slides) {
    TempDir dir;
    writeFile(dir / "in.ppt", bytes);
    try {
        const Presentation deck = Presentation::open(dir / "in.ppt");
        EXPECT_EQ(deck.slideCount(), slides);
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), ErrorCode::DamagedPackage) << e.what();
    }
}

}  // namespace trelwick::engine::test
