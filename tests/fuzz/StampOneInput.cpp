#include "StampOneInput.h"

#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>

#include "XmlPart.h"
#include "cfb/CompoundFile.h"
#include "trelwick/engine.h"

namespace trelwick::fuzz {
namespace {

using engine::Element;
using engine::MasterKind;
using engine::Presentation;

// One folder per process, made once (a folder per input would dominate the run time) and removed at exit.
struct ScratchFolder {
    std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("trelwick-fuzz-" + std::to_string(::getpid()));
    ScratchFolder() { std::filesystem::create_directories(path); }
    ~ScratchFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

const std::filesystem::path& scratchFolder() {
    static const ScratchFolder folder;
    return folder.path;
}

void setAll(Presentation& deck, bool visible) {
    for (MasterKind kind : {MasterKind::Slide, MasterKind::Notes, MasterKind::Handout})
        for (Element element :
             {Element::DateAndTime, Element::Footer, Element::Header, Element::SlideNumber}) {
            if (!Presentation::hasElement(kind, element)) continue;
            deck.setText(kind, element, visible ? "Fuzz & <co> \xC3\xA9" : "");
            deck.setUseFormat(kind, element, element == Element::DateAndTime && visible);
            deck.setFormat(kind, element, 13);
            deck.setVisible(kind, element, visible);
        }
}

// The names of the entries of a zip that do not inflate to their recorded size and checksum; nothing
// when it is no zip.
std::set<std::string> damagedEntries(zip_t* zip) {
    std::set<std::string> damaged;
    char buffer[65536];
    for (zip_int64_t i = 0; i < zip_get_num_entries(zip, 0); ++i) {
        zip_file_t* entry = zip_fopen_index(zip, static_cast<zip_uint64_t>(i), 0);
        zip_int64_t n = entry ? 1 : -1;
        while (n > 0) n = zip_fread(entry, buffer, sizeof buffer);
        if ((entry && zip_fclose(entry) != 0) || n < 0) {
            const char* name = zip_get_name(zip, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
            damaged.insert(name ? name : "");
        }
    }
    return damaged;
}

std::set<std::string> damagedEntries(const std::string& bytes) {
    zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, nullptr);
    zip_t* zip = source ? zip_open_from_source(source, ZIP_RDONLY, nullptr) : nullptr;
    if (!zip) {
        if (source) zip_source_free(source);
        return {};
    }
    std::set<std::string> damaged = damagedEntries(zip);
    zip_discard(zip);
    return damaged;
}

// Every entry of a package the engine wrote inflates to its recorded size and checksum, but for those
// copied as they were from damaged entries of the input (media is copied, never inflated).
void checkEveryEntry(const std::filesystem::path& file, const std::set<std::string>& damagedInInput) {
    int code = 0;
    zip_t* zip = zip_open(file.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &code);
    if (!zip) {
        std::fprintf(stderr, "saved package does not open as a zip (libzip error %d)\n", code);
        std::abort();
    }
    for (const std::string& name : damagedEntries(zip)) {
        if (damagedInInput.count(name) > 0) continue;
        std::fprintf(stderr, "saved entry %s is damaged\n", name.c_str());
        std::abort();
    }
    zip_discard(zip);
}

// A deck the engine wrote itself must open again; anything else means the save produced damage.
void saveAndReopen(Presentation& deck, const std::filesystem::path& target,
                   const std::set<std::string>& damagedInInput) {
    deck.saveAs(target);
    try {
        Presentation again = Presentation::open(target);
        (void)again.slideCount();
    } catch (const engine::Error& e) {
        std::fprintf(stderr, "saved deck does not open again: %s\n", e.what());
        std::abort();
    }
    char magic[2] = {};
    if (std::FILE* f = std::fopen(target.c_str(), "rb")) {
        const std::size_t got = std::fread(magic, 1, sizeof magic, f);
        std::fclose(f);
        if (got == sizeof magic && magic[0] == 'P' && magic[1] == 'K')  // not a .ppt
            checkEveryEntry(target, damagedInInput);
    }
}

// Inputs starting with "TRWZ\n" list parts as text ("@@name\n" then the content) and are zipped here
// with correct checksums, so that mutations reach the XML and the stamping rather than dying on a CRC.
constexpr std::string_view kPartListMagic = "TRWZ\n";

std::string zipPartList(std::string_view text) {
    zip_source_t* memory = zip_source_buffer_create(nullptr, 0, 0, nullptr);
    zip_t* zip = memory ? zip_open_from_source(memory, ZIP_TRUNCATE, nullptr) : nullptr;
    if (!zip) {
        if (memory) zip_source_free(memory);
        return {};
    }
    zip_source_keep(memory);
    std::size_t at = text.find("@@");
    while (at != std::string_view::npos) {
        const std::size_t nameEnd = std::min(text.find('\n', at), text.size());
        const std::string name(text.substr(at + 2, nameEnd - at - 2));
        const std::size_t next = text.find("\n@@", nameEnd);
        const std::size_t contentStart = std::min(nameEnd + 1, text.size());
        const std::string_view content =
            text.substr(contentStart, (next == std::string_view::npos ? text.size() : next) - contentStart);
        zip_source_t* part = zip_source_buffer(zip, content.data(), content.size(), 0);
        // Duplicate or empty names are refused by libzip here; the raw mode covers them.
        const zip_int64_t index = part ? zip_file_add(zip, name.c_str(), part, ZIP_FL_ENC_UTF_8) : -1;
        if (part && index < 0) zip_source_free(part);
        // Stored, not deflated: zlib's per-entry set-up was a fifth of each run, and raw inputs still
        // reach the inflating reader.
        if (index >= 0) zip_set_file_compression(zip, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
        at = next == std::string_view::npos ? next : next + 1;
    }
    std::string bytes;
    if (zip_close(zip) != 0) {
        zip_discard(zip);
    } else if (zip_source_open(memory) == 0) {
        char buffer[65536];
        zip_int64_t n;
        while ((n = zip_source_read(memory, buffer, sizeof buffer)) > 0)
            bytes.append(buffer, static_cast<std::size_t>(n));
        zip_source_close(memory);
    }
    zip_source_free(memory);
    return bytes;
}

// Inputs starting with "TRWP\n" hold the two streams of a legacy .ppt: a little-endian u32 length, the
// Current User stream, then the PowerPoint Document stream. They are placed in a compound file here, so
// that mutations reach the PowerPoint records rather than the container's sector tables.
constexpr std::string_view kLegacyStreamsMagic = "TRWP\n";

// A version 3 compound file whose root holds two empty streams, "Current User" and "PowerPoint Document".
std::string emptyLegacyContainer() {
    auto put16 = [](std::string& s, std::size_t at, std::uint16_t v) {
        s[at] = static_cast<char>(v & 0xFF);
        s[at + 1] = static_cast<char>(v >> 8);
    };
    auto put32 = [&](std::string& s, std::size_t at, std::uint32_t v) {
        put16(s, at, static_cast<std::uint16_t>(v & 0xFFFF));
        put16(s, at + 2, static_cast<std::uint16_t>(v >> 16));
    };
    std::string header(512, '\0');
    header.replace(0, 8, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1");
    put16(header, 0x18, 0x3E);
    put16(header, 0x1A, 3);
    put16(header, 0x1C, 0xFFFE);
    put16(header, 0x1E, 9);
    put16(header, 0x20, 6);
    put32(header, 0x2C, 1);  // one FAT sector, sector 0
    put32(header, 0x30, 1);  // the directory in sector 1
    put32(header, 0x38, 4096);
    put32(header, 0x3C, 0xFFFFFFFE);
    put32(header, 0x44, 0xFFFFFFFE);
    for (std::size_t i = 0; i < 109; ++i) put32(header, 0x4C + 4 * i, 0xFFFFFFFF);
    put32(header, 0x4C, 0);
    std::string fat(512, '\xFF');
    put32(fat, 0, 0xFFFFFFFD);
    put32(fat, 4, 0xFFFFFFFE);
    std::string directory(512, '\0');
    const char* names[] = {"Root Entry", "Current User", "PowerPoint Document"};
    for (std::size_t e = 0; e < 4; ++e) {
        const std::size_t at = 128 * e;
        put32(directory, at + 0x44, 0xFFFFFFFF);
        put32(directory, at + 0x48, 0xFFFFFFFF);
        put32(directory, at + 0x4C, 0xFFFFFFFF);
        if (e == 3) continue;
        const std::string name = names[e];
        for (std::size_t c = 0; c < name.size(); ++c) directory[at + 2 * c] = name[c];
        put16(directory, at + 0x40, static_cast<std::uint16_t>(2 * (name.size() + 1)));
        directory[at + 0x42] = e == 0 ? 5 : 2;
        directory[at + 0x43] = 1;  // black
        put32(directory, at + 0x74, 0xFFFFFFFE);
    }
    put32(directory, 0x4C, 1);        // the root's child: "Current User"
    put32(directory, 128 + 0x48, 2);  // its right sibling: "PowerPoint Document" (longer names sort later)
    return header + fat + directory;
}

std::string legacyDeck(std::string_view streams) {
    if (streams.size() < 4) return {};
    std::uint32_t userLength = 0;
    for (int i = 3; i >= 0; --i) userLength = userLength << 8 | static_cast<std::uint8_t>(streams[i]);
    streams.remove_prefix(4);
    userLength = std::min<std::uint32_t>(userLength, static_cast<std::uint32_t>(streams.size()));
    engine::CompoundFile file = engine::CompoundFile::parse(emptyLegacyContainer(), "template");
    file.replaceStream("Current User", std::string(streams.substr(0, userLength)));
    file.replaceStream("PowerPoint Document", std::string(streams.substr(userLength)));
    return file.serialize();
}

std::filesystem::path writeInput(const std::string& bytes) {
    const std::filesystem::path file = scratchFolder() / "input.pptx";
    std::FILE* out = std::fopen(file.c_str(), "wb");
    if (!out || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size() || std::fclose(out) != 0) {
        std::perror("cannot write the fuzz input");
        std::abort();
    }
    return file;
}

}  // namespace

std::string stampOneInput(const std::uint8_t* data, std::size_t size) {
    // Pages copying their unedited shapes are checked against printing them whole; a difference throws
    // std::logic_error, which nothing here catches.
    static const bool checked = (engine::XmlPart::checkKeptShapes(true), true);
    (void)checked;
    const std::filesystem::path target = scratchFolder() / "out.pptx";
    std::string refusal;
    try {
        std::string bytes(reinterpret_cast<const char*>(data), size);
        if (std::string_view(bytes).substr(0, kPartListMagic.size()) == kPartListMagic)
            bytes = zipPartList(std::string_view(bytes).substr(kPartListMagic.size()));
        else if (std::string_view(bytes).substr(0, kLegacyStreamsMagic.size()) == kLegacyStreamsMagic)
            bytes = legacyDeck(std::string_view(bytes).substr(kLegacyStreamsMagic.size()));
        const std::set<std::string> damagedInInput = damagedEntries(bytes);
        // Mostly from a file, as the programs open decks: a small file is read whole, and a quarter of
        // inputs are read part by part as large files are (positioned reads, file to file copies); a
        // quarter go through the in-memory opening.
        engine::Limits partByPart;
        partByPart.readWholeBelow = 0;
        Presentation deck = size % 4 == 3   ? Presentation::openBytes(std::move(bytes), "input.pptx")
                            : size % 4 == 2 ? Presentation::open(writeInput(bytes), partByPart)
                                            : Presentation::open(writeInput(bytes));
        // Half are parsed ahead first, as the window does; that may never fail, only leave failures
        // to the calls that need the part.
        if (size % 2 == 1) {
            try {
                deck.preload();
            } catch (const engine::Error& e) {
                std::fprintf(stderr, "parsing ahead failed: %s\n", e.what());
                std::abort();
            }
        }
        // As the window opens decks: what fails here is refused like a deck that cannot be opened.
        if (size % 3 == 0) deck.load();
        deck.setNow(std::chrono::system_clock::time_point(std::chrono::seconds(1796601600)));
        (void)deck.slideCount();
        // The setters below set every field, so the save reads nothing of the deck: the reading is
        // asked for here, for every element, on the input as it came.
        for (MasterKind kind : {MasterKind::Slide, MasterKind::Notes, MasterKind::Handout})
            for (Element element :
                 {Element::DateAndTime, Element::Footer, Element::Header, Element::SlideNumber})
                if (Presentation::hasElement(kind, element)) (void)deck.element(kind, element);
        setAll(deck, true);
        saveAndReopen(deck, target, damagedInInput);
        setAll(deck, false);
        saveAndReopen(deck, target, damagedInInput);
    } catch (const engine::Error& e) {
        // A refused input is the expected outcome for most bytes.
        refusal = e.what();
    }
    std::error_code ec;
    std::filesystem::remove(target, ec);
    return refusal;
}

}  // namespace trelwick::fuzz
