#include "trelwick/engine.h"

namespace trelwick::engine {

namespace {

// A part's name comes from the file: a control character in it (compound files name streams
// "\x05DocumentSummaryInformation") would reach a message box or a log line as it is.
std::string printable(const std::string& part) {
    std::string out = part;
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return out;
}

std::string withPart(const std::string& part, const std::string& what) {
    return part.empty() ? what : "part " + printable(part) + ": " + what;
}

std::string message(const std::string& file, const std::string& part, const std::string& what) {
    return part.empty() ? file + ": " + what : file + " (part " + printable(part) + "): " + what;
}

}  // namespace

Error::Error(ErrorCode code, std::string file, std::string part, const std::string& what)
    : std::runtime_error(message(file, part, what)),
      code_(code),
      file_(std::move(file)),
      part_(std::move(part)),
      reason_(withPart(part_, what)) {}

}  // namespace trelwick::engine
