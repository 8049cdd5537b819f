// The demo disc's album record, built into the program so the demo shows real titles
// without a network; make-demo-disc puts it into the home folder's local CDDB folder.
#pragma once

#include <string>

namespace quarrow::cli {

const char* DemoDiscRecord();

// Writes the record as "%08x.cddb" into the local CDDB folder of the home folder's
// settings, unless a record of that disc is already there. Returns the file's path, or
// empty with error set.
std::string InstallDemoRecord(const std::string& home, std::string& error);

}  // namespace quarrow::cli
