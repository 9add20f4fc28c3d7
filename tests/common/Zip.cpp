#include "common/Zip.h"

#include <zip.h>

#include <stdexcept>

namespace trelwick::testing {
namespace {

zip_t* openZip(const std::filesystem::path& file) {
    int error = 0;
    zip_t* zip = zip_open(file.c_str(), ZIP_RDONLY, &error);
    if (!zip) throw std::runtime_error("cannot open zip " + file.string());
    return zip;
}

}  // namespace

void writeZip(const std::filesystem::path& file, const Entries& entries, bool store) {
    std::filesystem::remove(file);
    int error = 0;
    zip_t* zip = zip_open(file.c_str(), ZIP_CREATE | ZIP_EXCL, &error);
    if (!zip) throw std::runtime_error("cannot create test zip " + file.string());
    for (const auto& [name, content] : entries) {
        zip_source_t* src = zip_source_buffer(zip, content.data(), content.size(), 0);
        const zip_int64_t idx = src ? zip_file_add(zip, name.c_str(), src, ZIP_FL_ENC_UTF_8) : -1;
        if (idx < 0) {
            if (src) zip_source_free(src);
            zip_discard(zip);
            throw std::runtime_error("cannot add " + name + " to " + file.string());
        }
        zip_set_file_compression(zip, static_cast<zip_uint64_t>(idx), store ? ZIP_CM_STORE : ZIP_CM_DEFLATE,
                                 9);
        zip_file_set_mtime(zip, static_cast<zip_uint64_t>(idx), 1700000000, 0);
    }
    if (zip_close(zip) != 0) {
        zip_discard(zip);
        throw std::runtime_error("cannot write test zip " + file.string());
    }
}

std::string readEntry(const std::filesystem::path& file, const std::string& name) {
    zip_t* zip = openZip(file);
    zip_file_t* f = zip_fopen(zip, name.c_str(), 0);
    if (!f) {
        zip_discard(zip);
        throw std::runtime_error("no entry " + name + " in " + file.string());
    }
    std::string out;
    char buffer[8192];
    zip_int64_t n;
    while ((n = zip_fread(f, buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<std::size_t>(n));
    zip_fclose(f);
    zip_discard(zip);
    return out;
}

bool hasEntry(const std::filesystem::path& file, const std::string& name) {
    zip_t* zip = openZip(file);
    const bool found = zip_name_locate(zip, name.c_str(), 0) >= 0;
    zip_discard(zip);
    return found;
}

std::vector<std::string> entryNames(const std::filesystem::path& file) {
    zip_t* zip = openZip(file);
    std::vector<std::string> names;
    for (zip_int64_t i = 0; i < zip_get_num_entries(zip, 0); ++i)
        names.emplace_back(zip_get_name(zip, static_cast<zip_uint64_t>(i), 0));
    zip_discard(zip);
    return names;
}

RawEntry rawEntry(const std::filesystem::path& file, const std::string& name) {
    zip_t* zip = openZip(file);
    RawEntry raw;
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat(zip, name.c_str(), 0, &st) != 0) {
        zip_discard(zip);
        throw std::runtime_error("no entry " + name + " in " + file.string());
    }
    raw.method = st.comp_method;
    raw.crc = st.crc;
    zip_file_t* f = zip_fopen(zip, name.c_str(), ZIP_FL_COMPRESSED);
    if (!f) {
        zip_discard(zip);
        throw std::runtime_error("cannot read entry " + name + " of " + file.string());
    }
    char buffer[8192];
    zip_int64_t n;
    while ((n = zip_fread(f, buffer, sizeof buffer)) > 0)
        raw.bytes.append(buffer, static_cast<std::size_t>(n));
    zip_fclose(f);
    zip_discard(zip);
    return raw;
}

}  // namespace trelwick::testing
