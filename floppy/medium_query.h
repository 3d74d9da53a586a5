// What medium is in a floppy drive, with its geometry and capacity.
#ifndef DISKARNO_FLOPPY_MEDIUM_QUERY_H
#define DISKARNO_FLOPPY_MEDIUM_QUERY_H

#include <windows.h>

#include <cstdint>
#include <string>

#include "media.h"

constexpr DWORD kDeviceParamsSize = 98;

// True when a geometry was found and its media type can be written (1 to
// 10, 13); mediumPresent says whether a medium is in the drive. capacity is
// set only on true. No device channel stays open afterwards.
bool QueryMedium(char letter, std::string &volumeLabel, int64_t &capacity, bool &mediumPresent,
                 TDiskGeometry &geometry);

// INT 21h 440Dh, get device parameters, into the 98-byte block (the FAT32
// form when the system has FAT32 services, else the standard form widened).
bool VwinGetDeviceParams(BYTE dosDrive, BYTE *block);

#endif
