#pragma once

#include <QString>

namespace trelwick {

// Finds the optional files that ship with the program (drag.ico, the Samples folder).
class ProgramResources {
  public:
    // The first existing of: beside the program, the data folder relative to an installed program
    // (../share/trelwick), the data folder the build was configured to install into. When none
    // exists, the path beside the program.
    static QString locate(const QString& name);
};

}  // namespace trelwick
