// trelwick_cfb_rewrite: the compound-file writer as a command, for checks by other readers.
//   trelwick_cfb_rewrite IN OUT [STREAM CONTENT_FILE]   rewrites IN, optionally replacing one stream
//   trelwick_cfb_rewrite --build MAJOR OUT               writes a sample container made by the test builder
// Exit status: 0 done, 2 the engine refused the input, 1 wrong use or I/O failure.
#include <fstream>
#include <iostream>
#include <sstream>

#include "TestCompoundFile.h"
#include "cfb/CompoundFile.h"
#include "trelwick/engine.h"

namespace {

using namespace trelwick::engine;

std::string slurp(const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error(std::string("cannot read ") + path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void spill(const char* path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) throw std::runtime_error(std::string("cannot write ") + path);
}

std::string sample(int major) {
    std::vector<test::CfbStream> streams{{"Current User", std::string(60, 'u')},
                                         {"PowerPoint Document", std::string(20000, 'p')},
                                         {"\x05SummaryInformation", std::string(400, 's')},
                                         {"Macros/VBA/dir", std::string(5000, 'd')}};
    for (int i = 0; i < 40; ++i)
        streams.push_back({"Macros/VBA/Module" + std::to_string(i), std::string(90 * i, 'm')});
    return test::buildCompoundFile(major, streams);
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const std::string first = argc > 1 ? argv[1] : "";
        if (argc == 4 && first == "--build") {
            spill(argv[3], sample(std::stoi(argv[2])));
            return 0;
        }
        if (argc != 3 && argc != 5) {
            std::cerr << "usage: trelwick_cfb_rewrite IN OUT [STREAM CONTENT_FILE] | --build MAJOR OUT\n";
            return 1;
        }
        CompoundFile file = CompoundFile::parse(slurp(argv[1]), argv[1]);
        if (argc == 5) file.replaceStream(argv[3], slurp(argv[4]));
        spill(argv[2], file.serialize());
        return 0;
    } catch (const Error& e) {
        std::cerr << e.what() << "\n";
        return 2;
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
}
