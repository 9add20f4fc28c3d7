#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace trelwick::cli {

// The whole of trelwick-cli: parses the arguments, finds the decks, stamps them on worker threads
// and reports. Failure lines, warnings and the progress bar go to err; help, version and the
// summary line to out.
class CliApp {
  public:
    // errIsTerminal: draw the progress bar on err.
    CliApp(std::ostream& out, std::ostream& err, bool errIsTerminal);

    // Runs one invocation; returns the exit status (see ExitCode.h).
    int run(const std::vector<std::string>& args);

  private:
    std::ostream& out_;
    std::ostream& err_;
    bool errIsTerminal_;
};

}  // namespace trelwick::cli
