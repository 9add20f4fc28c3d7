#include "Record.h"

#include "../Heap.h"
#include "Bytes.h"

namespace trelwick::engine::ppt {
namespace {

// Deep enough for every real slide (group shapes nest a few levels); a hostile file gains nothing by
// nesting further because deeper containers are kept as raw bytes.
constexpr int kMaxDepth = 24;

}  // namespace

std::optional<RecordHeader> RecordHeader::at(std::string_view data, std::size_t offset) {
    if (offset > data.size() || data.size() - offset < 8) return std::nullopt;
    RecordHeader h{get16(data, offset), get16(data, offset + 2), get32(data, offset + 4)};
    if (h.length > data.size() - offset - 8) return std::nullopt;
    return h;
}

Record Record::parse(std::string_view data) {
    return parseAt(data, 0);
}

Record Record::parseAt(std::string_view data, int depth) {
    Record r;
    r.verInst_ = get16(data, 0);
    r.type_ = get16(data, 2);
    const std::string_view body = data.substr(8);
    if ((r.verInst_ & 0x0F) == 0x0F && depth < kMaxDepth) {
        std::vector<Record> children;
        std::size_t at = 0;
        bool whole = true;
        while (at < body.size()) {
            const auto h = RecordHeader::at(body, at);
            if (!h) {
                whole = false;
                break;
            }
            children.push_back(parseAt(body.substr(at, 8 + h->length), depth + 1));
            at += 8 + h->length;
        }
        if (whole) {
            r.split_ = true;
            r.children_ = std::move(children);
            return r;
        }
    }
    r.body_ = std::string(body);
    return r;
}

Record Record::atom(std::uint16_t type, std::uint16_t instance, std::string body, std::uint16_t version) {
    Record r;
    r.verInst_ = static_cast<std::uint16_t>(instance << 4 | (version & 0x0F));
    r.type_ = type;
    r.body_ = std::move(body);
    return r;
}

Record Record::container(std::uint16_t type, std::uint16_t instance, std::vector<Record> children) {
    Record r;
    r.verInst_ = static_cast<std::uint16_t>(instance << 4 | 0x0F);
    r.type_ = type;
    r.split_ = true;
    r.children_ = std::move(children);
    return r;
}

const Record* Record::child(std::uint16_t type, int instance) const {
    for (const Record& c : children_)
        if (c.type_ == type && (instance < 0 || c.instance() == instance)) return &c;
    return nullptr;
}

Record* Record::child(std::uint16_t type, int instance) {
    return const_cast<Record*>(static_cast<const Record*>(this)->child(type, instance));
}

std::size_t Record::size() const {
    std::size_t total = 8;
    if (!split_) return total + body_.size();
    for (const Record& c : children_) total += c.size();
    return total;
}

std::string Record::bytes() const {
    std::string out;
    reservePopulated(out, size());
    appendTo(out);
    return out;
}

void Record::appendTo(std::string& out) const {
    append16(out, verInst_);
    append16(out, type_);
    append32(out, static_cast<std::uint32_t>(size() - 8));
    if (!split_) {
        out += body_;
        return;
    }
    for (const Record& c : children_) c.appendTo(out);
}

}  // namespace trelwick::engine::ppt
