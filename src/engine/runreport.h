// The run report: a CSV file with one line for each record that was not
// imported as it stood (rejected, a bad line, a duplicate passed over, a
// value changed on its way in, a failure), made from the run's issues.
//
// Contract: a header line "Record,Line,What happened,Field", then the issues
// in the order they were met: the record number (empty for a line that is no
// record), the source line, the words of `reporttext` and the contact field
// concerned (empty when none).  Values holding a comma, a quote or a line
// break are quoted, quotes doubled; lines end with CR LF.
#pragma once

#include <string>

#include "engine/importissue.h"

namespace vesper {

const char* reporttext(IssueKind kind);
std::string reportcsv(const IssueLog& issues);
// True when the run met anything the report lists.
bool hasreport(const IssueLog& issues);
// Writes the report to `path`; false, with the system's reason in `why`,
// when the file cannot be written.
bool writereport(const IssueLog& issues, const std::string& path, std::string& why);

}  // namespace vesper
