// The xmcd record text: the writer that turns a CAlbumRecord into xmcd lines (the body
// of a submission and of a local CDDB file) and the parser that reads a CDDB read answer
// or a local file back into a record. Bytes are kept as received: the text may be
// Latin-1, UTF-8 or any other 8-bit encoding, with CR LF or LF line ends.
#pragma once

#include <string>

#include "albuminfo/AlbumRecord.h"

namespace quarrow {

class CEventLog;

// The status line that opens a local CDDB file, as a server's read answer does.
inline constexpr const char* kXmcdStatusLine =
    "210 OK, CDDB database follows (until terminating marker)\r\n";

// Writes the value under key as one or more "KEY=piece\r\n" lines: escaped (backslash,
// line feed, tab), then cut so that no line exceeds 254 characters before its CR LF.
std::string XmcdKeyedLines(const std::string& key, const std::string& value);

// The xmcd text of a record without the status line. DYEAR and DGENRE are written only
// at protocol level 5 or more. Ends with "PLAYORDER=" and no line end.
std::string XmcdBody(const CAlbumRecord& record, int protocolLevel = 5);

// The whole local CDDB file text: the status line followed by the xmcd body.
std::string XmcdFileText(const CAlbumRecord& record, int protocolLevel = 5);

// text starts with the CDDB status line. A status outside 210-219 leaves the record as it
// was and succeeds. Failures are logged as error entries through log (when given).
bool ParseRecordBody(const std::string& text, CAlbumRecord& record, CEventLog* log);

// Parses the xmcd lines after the status line into record (replaced first).
bool ParseRecordBodyHelper(const std::string& textAfterStatusLine, CAlbumRecord& record,
                           CEventLog* log);

// Resolves the escapes of a keyed value: "\n" to line feed, "\t" to tab, "\\" to "\".
std::string XmcdUnescape(const std::string& value);
// The reverse, in the writer's order: backslash first, then line feed, then tab.
std::string XmcdEscape(const std::string& value);

}  // namespace quarrow
