// The local CDDB store: one file per disc, "%08x.cddb" directly in the folder of the
// setting LocalCDDBDir, holding a read answer's status line and the xmcd record. Files are
// written to a temporary name and renamed, so a failed write never leaves half a record.
#pragma once

#include <cstdint>
#include <string>

#include "albuminfo/AlbumRecord.h"

namespace quarrow {

class CEventLog;

// Local files larger than this are not records; they are refused unread.
inline constexpr std::size_t kMaxLocalCddbBytes = 4u * 1024 * 1024;

// folder + "/%08x.cddb"
std::string LocalCddbFilePath(const std::string& folder, uint32_t discId);

// Writes the status line and the xmcd text of record to path, creating or replacing the
// file. false with a reason naming the file when it cannot be written.
bool WriteLocalCddbFile(const std::string& path, const CAlbumRecord& record,
                        int protocolLevel = 5, std::string* error = nullptr);

// Loads the disc's local file into record. A missing folder or file, one that is not a
// regular file of at most kMaxLocalCddbBytes, or one that holds no valid record (no 210
// status line, or a record the parser rejects) logs why and gives false with the record
// unchanged.
bool LoadLocalCddb(const std::string& folder, uint32_t discId, CAlbumRecord& record,
                   CEventLog* log);

// Creates folder with its missing parents the way the store always has: at most ten
// creation attempts, walking back one level after each "no such parent" and forward one
// level after each success. true when the folder exists afterwards.
bool CreateLocalCddbFolder(const std::string& folder);

// Saves the inserted disc's file: creates the folder when needed, writes the file and logs
// "Local CDDB file saved.". A write that fails logs an error naming the file instead and
// gives false.
bool SaveLocalCddb(const std::string& folder, uint32_t discId, const CAlbumRecord& record,
                   int protocolLevel, CEventLog* log);

}  // namespace quarrow
