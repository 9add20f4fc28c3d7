#include "StampOneInput.h"

#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

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

// A deck the engine wrote itself must open again; anything else means the save produced damage.
void saveAndReopen(Presentation& deck, const std::filesystem::path& target) {
    deck.saveAs(target);
    try {
        Presentation again = Presentation::open(target);
        (void)again.slideCount();
    } catch (const engine::Error& e) {
        std::fprintf(stderr, "saved deck does not open again: %s\n", e.what());
        std::abort();
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
        if (part && zip_file_add(zip, name.c_str(), part, ZIP_FL_ENC_UTF_8) < 0) zip_source_free(part);
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

}  // namespace

std::string stampOneInput(const std::uint8_t* data, std::size_t size) {
    const std::filesystem::path target = scratchFolder() / "out.pptx";
    std::string refusal;
    try {
        std::string bytes(reinterpret_cast<const char*>(data), size);
        if (std::string_view(bytes).substr(0, kPartListMagic.size()) == kPartListMagic)
            bytes = zipPartList(std::string_view(bytes).substr(kPartListMagic.size()));
        Presentation deck = Presentation::openBytes(std::move(bytes), "input.pptx");
        deck.setNow(std::chrono::system_clock::time_point(std::chrono::seconds(1796601600)));
        (void)deck.slideCount();
        (void)deck.element(MasterKind::Notes, Element::Header);
        setAll(deck, true);
        saveAndReopen(deck, target);
        setAll(deck, false);
        saveAndReopen(deck, target);
    } catch (const engine::Error& e) {
        // A refused input is the expected outcome for most bytes.
        refusal = e.what();
    }
    std::error_code ec;
    std::filesystem::remove(target, ec);
    return refusal;
}

}  // namespace trelwick::fuzz
