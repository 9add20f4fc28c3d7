#include "PackageWriter.h"

#include <zip.h>

#include <list>

#include "Failure.h"

namespace trelwick::engine {

void PackageWriter::write(const Deck& deck, const std::filesystem::path& file,
                          const std::string& errorLabel) {
    int code = 0;
    zip_t* out = zip_open(file.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (!out) fail(ErrorCode::WriteFailed, errorLabel, "", "cannot create the output file");
    std::list<std::string> buffers;  // must outlive zip_close
    auto bail = [&](ErrorCode errorCode, const std::string& part, const std::string& what) {
        const std::string why = zip_strerror(out);
        zip_discard(out);
        fail(errorCode, errorLabel, part, what + " (" + why + ")");
    };
    auto addBuffer = [&](const std::string& name, std::string bytes, time_t mtime) {
        buffers.push_back(std::move(bytes));
        zip_source_t* src = zip_source_buffer(out, buffers.back().data(), buffers.back().size(), 0);
        if (!src) bail(ErrorCode::WriteFailed, name, "cannot stage the part");
        const zip_int64_t idx = zip_file_add(out, name.c_str(), src, ZIP_FL_ENC_GUESS);
        if (idx < 0) {
            zip_source_free(src);
            bail(ErrorCode::DamagedPackage, name, "cannot add the part");
        }
        zip_set_file_compression(out, static_cast<zip_uint64_t>(idx), ZIP_CM_DEFLATE, 6);
        if (mtime != 0) zip_file_set_mtime(out, static_cast<zip_uint64_t>(idx), mtime, 0);
    };

    const ZipPackage& zip = deck.zip();
    const auto& parts = deck.parsedParts();
    for (std::uint64_t i = 0; i < zip.entryCount(); ++i) {
        const std::string& name = zip.entryName(i);
        auto it = parts.find(name);
        if (it != parts.end() && it->second->dirty()) {
            zip_stat_t st;
            zip_stat_init(&st);
            const time_t mtime =
                zip_stat_index(zip.archive(), i, 0, &st) == 0 && (st.valid & ZIP_STAT_MTIME) ? st.mtime : 0;
            addBuffer(name, it->second->serialize(), mtime);
            continue;
        }
        // A whole-entry zip source hands libzip the compressed bytes, which it copies without inflating.
        zip_source_t* src = zip_source_zip(out, zip.archive(), i, 0, 0, 0);
        if (!src) bail(ErrorCode::DamagedPackage, name, "cannot copy the entry");
        const zip_int64_t idx = zip_file_add(out, name.c_str(), src, ZIP_FL_ENC_GUESS);
        if (idx < 0) {
            zip_source_free(src);
            bail(ErrorCode::DamagedPackage, name, "cannot copy the entry");
        }
        // Asking for the entry's own method is what keeps libzip from recompressing (it would deflate a
        // stored entry by default).
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(zip.archive(), i, 0, &st) == 0 && (st.valid & ZIP_STAT_COMP_METHOD))
            zip_set_file_compression(out, static_cast<zip_uint64_t>(idx), st.comp_method, 0);
    }
    for (const std::string& name : deck.newParts()) {
        if (auto raw = deck.rawNewParts().find(name); raw != deck.rawNewParts().end()) {
            addBuffer(name, raw->second, 0);
        } else {
            addBuffer(name, parts.at(name)->serialize(), 0);
        }
    }
    if (zip_close(out) != 0) bail(ErrorCode::WriteFailed, "", "cannot write the output file");
}

}  // namespace trelwick::engine
