// The tool's outputs (-o of extract, read, pack): an existing target must be
// a file the user may write; it is replaced whole or left as it was. The
// platform halves: linux/output_file.cpp, windows/output_file.cpp.
#ifndef DISKARNO_TOOLS_DISKARNO_OUTPUTS_H
#define DISKARNO_TOOLS_DISKARNO_OUTPUTS_H

#include <string>
#include <vector>

#include "console.h"
#include "files.h"
#include "status.h"

// Whether path may take an output before any work starts: missing, or a
// regular file (a symbolic link is followed) that the user may write, in a
// folder that exists. A device, FIFO, socket or folder is refused; so is a
// file in use: one that another run holds locked, one a mounted loop device
// runs on, and (unless force) one any loop device runs on.
TStatus CheckOutputTarget(const std::string &path, bool force);

// Writes the pieces one after another into a temporary file beside the file
// path names and renames it over that file: a symbolic link stays and the
// file it names is replaced, keeping its mode, extended attributes and,
// where the system lets the tool set it, its owner. The replaced file is
// checked again and locked as write locks an image file until the rename.
// Stops caught meanwhile end the save with nothing written; no temporary
// file outlives the call.
TStatus SaveOutput(const std::string &path, const std::vector<TPiece> &pieces,
                   TToolConsole &console, bool force);

#endif
