// SafeFile: reading a file that may be hostile (a FIFO, a device, something huge)
// without blocking or eating memory, and writing a file through a temporary beside
// it so that a crash or a full disk never leaves half a file under the real name.
#pragma once

#include <cstddef>
#include <string>

namespace quarrow {

// Reads a whole regular file of at most maxBytes. False, with a message naming the file and the reason
// (missing, not a regular file, too large, unreadable: strerror), otherwise.
bool ReadRegularFile(const std::string& path, std::size_t maxBytes, std::string& contents, std::string& error);

// Writes contents to a temporary file beside path, flushes it and renames it over path.
// mode is the permission of the written file. False, with a message naming path and the
// reason, when any step fails; the temporary is then removed and path left as it was.
bool WriteFileAtomically(const std::string& path, const std::string& contents, unsigned mode,
                         std::string& error);

}  // namespace quarrow
