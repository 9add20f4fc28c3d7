#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "Bytes.h"
#include "TestPptDeck.h"
#include "ppt/DocumentStream.h"
#include "ppt/Record.h"
#include "ppt/RecordTypes.h"
#include "trelwick/engine.h"

namespace trelwick::engine::ppt {
namespace {

constexpr std::uint32_t kPlainToken = 0xE391C05F;
constexpr std::uint32_t kEncryptedToken = 0xF3D1C4DF;

using test::pptRecord;

std::string documentRecord(const std::string& tag = "") {
    return pptRecord(0xF, rt::Document,
                     pptRecord(1, rt::DocumentAtom, std::string(40, '\0')) + pptRecord(0, rt::CString, tag));
}

// Writes a PowerPoint Document stream edit by edit, as PowerPoint's fast save does.
class StreamBuilder {
  public:
    void add(std::uint32_t id, const std::string& bytes) {
        pending_[id] = static_cast<std::uint32_t>(document_.size());
        document_ += bytes;
    }
    // Closes an edit: its persist directory, then its UserEditAtom pointing at the previous edit.
    std::uint32_t commit(std::uint32_t documentId = 1, std::uint32_t encryptSession = 0,
                         bool longEdit = false) {
        const auto directoryOffset = static_cast<std::uint32_t>(document_.size());
        std::string entries;
        for (const auto& [id, at] : pending_) {
            append32(entries, id | 1u << 20);
            append32(entries, at);
        }
        document_ += pptRecord(0, rt::PersistDirectoryAtom, entries);
        pending_.clear();
        std::string edit;
        append32(edit, 256);  // lastSlideIdRef
        append16(edit, 0);    // version
        edit += std::string("\x00\x03", 2);
        append32(edit, last_);  // offsetLastEdit
        append32(edit, directoryOffset);
        append32(edit, documentId);
        append32(edit, 10);  // persistIdSeed
        append32(edit, 1);   // lastView + unused
        if (longEdit || encryptSession) append32(edit, encryptSession);
        last_ = static_cast<std::uint32_t>(document_.size());
        document_ += pptRecord(0, rt::UserEditAtom, edit);
        return last_;
    }
    std::string& document() { return document_; }
    std::string currentUser(std::uint32_t token = kPlainToken) const { return currentUserAt(last_, token); }
    static std::string currentUserAt(std::uint32_t offset, std::uint32_t token = kPlainToken) {
        std::string body;
        append32(body, 0x14);
        append32(body, token);
        append32(body, offset);
        append16(body, 1);       // lenUserName
        append16(body, 0x03F4);  // docFileVersion
        body += std::string("\x03\x00\x00\x00", 4);
        body += "u";
        append32(body, 8);
        return pptRecord(0, rt::CurrentUserAtom, body);
    }

  private:
    std::string document_;
    std::map<std::uint32_t, std::uint32_t> pending_;
    std::uint32_t last_ = 0;
};

StreamBuilder twoEdits() {
    StreamBuilder b;
    b.add(1, documentRecord("old"));
    b.add(2, pptRecord(0xF, rt::Slide, pptRecord(0, rt::CString, "slide")));
    b.commit();
    b.add(1, documentRecord("new"));
    b.commit();
    return b;
}

TEST(PptDocumentStreamTest, TheNewestEditWinsAndEveryIdStaysLive) {
    StreamBuilder b = twoEdits();
    const DocumentStream stream(b.currentUser(), b.document(), "deck.ppt");
    EXPECT_EQ(stream.editCount(), 2u);
    EXPECT_EQ(stream.documentId(), 1u);
    ASSERT_EQ(stream.offsets().size(), 2u);
    EXPECT_EQ(stream.typeOf(1), rt::Document);
    EXPECT_EQ(stream.typeOf(2), rt::Slide);
    EXPECT_EQ(stream.typeOf(3), 0);
    EXPECT_NE(std::string(stream.object(1)).find("new"), std::string::npos);
    EXPECT_EQ(std::string(stream.object(1)).find("old"), std::string::npos);
}

TEST(PptDocumentStreamTest, CompactingLeavesOneEditWithOnlyLiveObjectsAndIsStable) {
    StreamBuilder b = twoEdits();
    const DocumentStream stream(b.currentUser(), b.document(), "deck.ppt");
    const auto [document, user] = stream.write();
    EXPECT_EQ(document.find("old"), std::string::npos);  // no stale copy left for text scanners
    EXPECT_LT(document.size(), b.document().size());
    EXPECT_EQ(user.size(), b.currentUser().size());

    const DocumentStream again(user, document, "out.ppt");
    EXPECT_EQ(again.editCount(), 1u);
    EXPECT_EQ(again.offsets().size(), 2u);
    EXPECT_EQ(again.typeOf(1), rt::Document);
    EXPECT_EQ(again.typeOf(2), rt::Slide);
    EXPECT_EQ(again.object(2), stream.object(2));
    EXPECT_EQ(again.write(), std::make_pair(document, user));
}

TEST(PptDocumentStreamTest, ReplacedObjectsAreWrittenInPlaceOfTheOld) {
    StreamBuilder b = twoEdits();
    DocumentStream stream(b.currentUser(), b.document(), "deck.ppt");
    const std::string slide = pptRecord(0xF, rt::Slide, pptRecord(0, rt::CString, "changed slide"));
    stream.replace(2, slide);
    const auto [document, user] = stream.write();
    const DocumentStream again(user, document, "out.ppt");
    EXPECT_EQ(std::string(again.object(2)), slide);
    EXPECT_EQ(again.object(1), stream.object(1));
}

TEST(PptDocumentStreamTest, LongRunsOfIdsAreSplitAtTheTwelveBitCount) {
    StreamBuilder b;
    b.add(1, documentRecord());
    for (std::uint32_t id = 2; id <= 5000; ++id) b.add(id, pptRecord(0, rt::CString, "x"));
    b.commit();
    const DocumentStream stream(b.currentUser(), b.document(), "deck.ppt");
    const auto [document, user] = stream.write();
    const DocumentStream again(user, document, "out.ppt");
    EXPECT_EQ(again.offsets().size(), 5000u);
    EXPECT_EQ(again.typeOf(5000), rt::CString);
    EXPECT_EQ(again.typeOf(4096), rt::CString);
}

// Bytes of the whole pages in [from, to) that are in memory.
std::size_t residentBytes(const char* from, const char* to) {
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(from) + page - 1) / page * page;
    const std::uintptr_t end = reinterpret_cast<std::uintptr_t>(to) / page * page;
    if (end <= begin) return 0;
    std::vector<unsigned char> in((end - begin) / page);
    if (::mincore(reinterpret_cast<void*>(begin), end - begin, in.data()) != 0) return 0;
    std::size_t resident = 0;
    for (unsigned char c : in) resident += (c & 1) ? page : 0;
    return resident;
}

// A deck saved fast many times carries stale copies of its objects, which compacting drops: the memory
// of the stream written is taken for what is written, not for all the stream read.
TEST(PptDocumentStreamTest, StaleCopiesTakeNoMemoryInTheStreamWritten) {
    StreamBuilder b;
    b.add(1, documentRecord(std::string(16u << 20, 'o')));
    b.commit();
    b.add(1, documentRecord("new"));
    b.commit();
    const DocumentStream stream(b.currentUser(), b.document(), "deck.ppt");
    const auto [document, user] = stream.write();
    EXPECT_LT(document.size(), 4096u);
    const std::size_t unused =
        residentBytes(document.data() + document.size(), document.data() + document.capacity());
    EXPECT_LT(unused, std::size_t{1} << 20) << "bytes in memory past the written stream";
    EXPECT_EQ(DocumentStream(user, document, "out.ppt").typeOf(1), rt::Document);
}

// Persist ids are twenty bits wide. A directory entry whose run passes the largest would be written
// back as a run starting past it, where the bits above twenty are the run's count.
TEST(PptDocumentStreamTest, PersistIdsPastTwentyBitsAreRefused) {
    StreamBuilder b;
    b.add(1, documentRecord());
    std::string& document = b.document();
    std::vector<std::uint32_t> offsets;
    for (int i = 0; i < 4096; ++i) {
        offsets.push_back(static_cast<std::uint32_t>(document.size()));
        document += pptRecord(0, rt::CString, "x");
    }
    const std::uint32_t edit = b.commit();
    // Ids 0xFF001 to 0xFFFFF in one entry, then 0xFFFFF and 0x100000 in another: 4096 ids in a row.
    std::string entries;
    append32(entries, 1 | 1u << 20);
    append32(entries, 0);
    append32(entries, 0xFF001 | 0xFFFu << 20);
    for (int i = 0; i < 4095; ++i) append32(entries, offsets[i]);
    append32(entries, 0xFFFFF | 2u << 20);
    append32(entries, offsets[4094]);
    append32(entries, offsets[4095]);
    put32(document, edit + 20, static_cast<std::uint32_t>(document.size()));
    document += pptRecord(0, rt::PersistDirectoryAtom, entries);
    const std::string editRecord = document.substr(edit, 8 + get32(document, edit + 4));
    const auto editAt = static_cast<std::uint32_t>(document.size());
    document += editRecord;
    try {
        const DocumentStream stream(StreamBuilder::currentUserAt(editAt), document, "deck.ppt");
        ADD_FAILURE() << "accepted";
        const auto [written, user] = stream.write();
        try {
            const DocumentStream again(user, written, "out.ppt");
            EXPECT_EQ(again.typeOf(0x100000), rt::CString) << "the last id was written as another";
            EXPECT_EQ(again.typeOf(0), 0) << "the last id was written as another";
        } catch (const Error& e) {
            ADD_FAILURE() << "and what it writes is damaged: " << e.what();
        }
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), ErrorCode::DamagedPackage) << e.what();
    }
}

TEST(PptDocumentStreamTest, RefusalTable) {
    struct Case {
        const char* name;
        std::function<std::pair<std::string, std::string>()> make;  // current user, document
        ErrorCode code;
    };
    const std::vector<Case> cases{
        {"encrypted token in Current User",
         [] {
             StreamBuilder b = twoEdits();
             return std::make_pair(b.currentUser(kEncryptedToken), b.document());
         },
         ErrorCode::PasswordProtected},
        {"encryption marker in the edit behind a plain token",
         [] {
             StreamBuilder b;
             b.add(1, documentRecord());
             b.add(2, pptRecord(0xF, rt::Slide, pptRecord(0, rt::CString, "key")));
             b.commit(1, 2);
             return std::make_pair(b.currentUser(), b.document());
         },
         ErrorCode::PasswordProtected},
        {"live DocumentEncryptionAtom behind a plain edit",
         [] {
             StreamBuilder b;
             b.add(1, documentRecord());
             b.add(2, pptRecord(0xF, 0x2F14, pptRecord(0, rt::CString, "key")));
             b.commit(1, 0, true);
             return std::make_pair(b.currentUser(), b.document());
         },
         ErrorCode::PasswordProtected},
        {"edit chain loops",
         [] {
             StreamBuilder b = twoEdits();
             const std::uint32_t newest = b.commit();
             put32(b.document(), newest + 16, newest);  // offsetLastEdit pointing at itself
             return std::make_pair(b.currentUser(), b.document());
         },
         ErrorCode::DamagedPackage},
        {"current edit past the end",
         [] {
             StreamBuilder b = twoEdits();
             return std::make_pair(StreamBuilder::currentUserAt(0x7FFFFFF0), b.document());
         },
         ErrorCode::DamagedPackage},
        {"current edit is not an edit",
         [] {
             StreamBuilder b = twoEdits();
             return std::make_pair(StreamBuilder::currentUserAt(0), b.document());
         },
         ErrorCode::DamagedPackage},
        {"previous edit out of range",
         [] {
             StreamBuilder b = twoEdits();
             put32(b.document(), b.commit() + 16, 0xFFFFFF00);
             return std::make_pair(b.currentUser(), b.document());
         },
         ErrorCode::DamagedPackage},
        {"persist directory out of range",
         [] {
             StreamBuilder b = twoEdits();
             put32(b.document(), b.commit() + 20, 0xFFFFFF00);
             return std::make_pair(b.currentUser(), b.document());
         },
         ErrorCode::DamagedPackage},
        {"persist object past the end",
         [] {
             StreamBuilder b;
             b.add(1, documentRecord());
             b.commit();
             std::string document = b.document();
             put32(document, 4, 0x10000);  // the document record claims more bytes than the stream has
             return std::make_pair(b.currentUser(), document);
         },
         ErrorCode::DamagedPackage},
        {"directory entry count runs past its record",
         [] {
             StreamBuilder b;
             b.add(1, documentRecord());
             const std::uint32_t edit = b.commit();
             const std::uint32_t directory = get32(b.document(), edit + 20);
             put32(b.document(), directory + 8, 1 | 0xFFFu << 20);
             return std::make_pair(b.currentUser(), b.document());
         },
         ErrorCode::DamagedPackage},
        {"no document record",
         [] {
             StreamBuilder b;
             b.add(1, pptRecord(0xF, rt::Slide, ""));
             b.commit();
             return std::make_pair(b.currentUser(), b.document());
         },
         ErrorCode::DamagedPackage},
        {"current user record of another type",
         [] {
             StreamBuilder b = twoEdits();
             std::string user = b.currentUser();
             put16(user, 2, rt::UserEditAtom);
             return std::make_pair(user, b.document());
         },
         ErrorCode::DamagedPackage},
        {"empty streams", [] { return std::make_pair(std::string(), std::string()); },
         ErrorCode::DamagedPackage},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto [user, document] = c.make();
        try {
            DocumentStream stream(user, document, "deck.ppt");
            ADD_FAILURE() << "accepted";
        } catch (const Error& e) {
            EXPECT_EQ(e.code(), c.code) << e.what();
            EXPECT_EQ(std::string(e.what()).rfind("deck.ppt", 0), 0u) << e.what();
        }
    }
}

}  // namespace
}  // namespace trelwick::engine::ppt
