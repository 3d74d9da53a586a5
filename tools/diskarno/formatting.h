// The work format and write --format share: the format settled (asked for,
// or the drive's own), the look at what the disk holds, every track laid
// out and read back.
#ifndef DISKARNO_TOOLS_DISKARNO_FORMATTING_H
#define DISKARNO_TOOLS_DISKARNO_FORMATTING_H

#include <memory>
#include <string>

#include "context.h"
#include "disk.h"
#include "status.h"

// The format of --capacity KB; Refused for a capacity no format has. An
// empty text leaves format as it was.
TStatus CapacityOption(const std::string &text, const TFloppyFormat *&format);

// Opens drive for a format. format is the one asked for, else fallback
// when format lays it out, else the drive's own; Refused (nothing changed) when the drive can't lay
// it out.
TStatus OpenForFormat(const std::string &drive, bool force, const TFloppyFormat *fallback,
                      std::unique_ptr<TDisk> &disk, const TFloppyFormat *&format);

// Whether the disk may be overwritten: it holds nothing a write would
// destroy, or --yes or a typed yes said so. A disk that can't be read
// counts as holding something. nothingDone ends a refusal ("nothing
// written").
TStatus MayDestroy(TDisk &disk, bool yes, const std::string &nothingDone, TToolContext &context);

// Lays out every track at the format's geometry, then reads each back; the
// disk is read and written at that geometry afterwards.
TStatus FormatWholeDisk(TDisk &disk, const TFloppyFormat &format, bool quiet,
                        TToolContext &context);

#endif
