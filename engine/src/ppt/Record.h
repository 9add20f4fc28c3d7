#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace trelwick::engine::ppt {

// The 8-byte header in front of every record: recVer (low 4 bits) and recInstance share the first u16.
struct RecordHeader {
    std::uint16_t verInst = 0;
    std::uint16_t type = 0;
    std::uint32_t length = 0;  // body bytes, header excluded

    // The header at offset, or nullopt when it or its body would pass the end of data.
    static std::optional<RecordHeader> at(std::string_view data, std::size_t offset);
    std::uint16_t version() const { return verInst & 0x0F; }
    std::uint16_t instance() const { return verInst >> 4; }
};

// One record of the PowerPoint Document stream: a container with child records, or an atom (or a
// container whose body does not split into records) held as raw body bytes. Writing back an unchanged
// record gives its original bytes.
class Record {
  public:
    // Parses one whole record (data holds exactly its header and body). Containers are split into
    // children down to a fixed depth; deeper or malformed ones stay raw.
    static Record parse(std::string_view data);
    // An atom with that body; version is 0 for PowerPoint atoms, set for drawing atoms (FSp 2, FOPT 3).
    static Record atom(std::uint16_t type, std::uint16_t instance, std::string body,
                       std::uint16_t version = 0);
    static Record container(std::uint16_t type, std::uint16_t instance, std::vector<Record> children);

    std::uint16_t type() const { return type_; }
    std::uint16_t instance() const { return verInst_ >> 4; }
    std::uint16_t version() const { return verInst_ & 0x0F; }
    bool hasChildren() const { return split_; }
    const std::string& body() const { return body_; }  // empty for split containers
    std::string& body() { return body_; }
    const std::vector<Record>& children() const { return children_; }
    std::vector<Record>& children() { return children_; }

    // The first child of that type (and instance, unless negative), or nullptr.
    const Record* child(std::uint16_t type, int instance = -1) const;
    Record* child(std::uint16_t type, int instance = -1);
    // Visits this record and every record below it, depth first.
    template <typename F>
    void forEach(F&& visit) const {
        visit(*this);
        for (const Record& c : children_) c.forEach(visit);
    }

    std::size_t size() const;  // header included
    std::string bytes() const;
    void appendTo(std::string& out) const;

  private:
    static Record parseAt(std::string_view data, int depth);
    std::uint16_t verInst_ = 0;
    std::uint16_t type_ = 0;
    bool split_ = false;
    std::string body_;
    std::vector<Record> children_;
};

}  // namespace trelwick::engine::ppt
