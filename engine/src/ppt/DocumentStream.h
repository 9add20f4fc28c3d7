#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "Record.h"

namespace trelwick::engine::ppt {

// The "PowerPoint Document" stream seen through its newest user edit: the persist objects that are live
// (the newest edit's entry for an id wins) and the document container. Writes the stream back as one
// compact edit holding only live objects, with the "Current User" stream pointing at it.
class DocumentStream {
  public:
    // Parses both streams. Throws Error: PasswordProtected for encrypted decks, DamagedPackage for a
    // broken Current User atom, a looping or out-of-range edit chain or a persist object outside the stream.
    DocumentStream(std::string currentUser, std::string document, const std::string& label);

    std::size_t editCount() const { return editCount_; }
    std::uint32_t documentId() const { return documentId_; }
    // Live persist ids with their offsets in the stream as read.
    const std::map<std::uint32_t, std::uint32_t>& offsets() const { return offsets_; }
    bool has(std::uint32_t id) const { return offsets_.count(id) != 0; }
    // Record type of a live object (0 when id is not live).
    std::uint16_t typeOf(std::uint32_t id) const;
    // The whole record of a live object as read (header included); empty when id is not live.
    std::string_view object(std::uint32_t id) const;

    // Replaces the bytes of a live object for the next write.
    void replace(std::uint32_t id, std::string record);
    // The compacted document stream and the Current User stream that points at its edit.
    std::pair<std::string, std::string> write() const;

  private:
    [[noreturn]] void damaged(const std::string& what) const;
    std::string label_;
    std::string currentUser_;
    std::string document_;
    std::map<std::uint32_t, std::uint32_t> offsets_;
    std::map<std::uint32_t, std::string> replaced_;
    std::uint32_t editOffset_ = 0;
    std::uint32_t editLength_ = 0;
    std::uint32_t documentId_ = 0;
    std::size_t editCount_ = 0;
};

}  // namespace trelwick::engine::ppt
