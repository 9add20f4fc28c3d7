#pragma once

namespace trelwick::cli {

// Puts /dev/null in the place of standard input, output or error where it is closed (`2>&-`, a
// service started without them), so that no deck or temporary file opened later takes its number: a
// message printed to a closed stderr would otherwise be written into the deck being saved. Output and
// error are opened for reading only, so that writing to them still fails as on the closed stream (a
// summary that cannot be written still fails the run). Call first thing in main.
void keepStandardStreamsOpen();

}  // namespace trelwick::cli
