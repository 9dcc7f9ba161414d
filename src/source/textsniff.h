// Recognising how a delimited text file is written, from its first records:
// the separator, a header line (and the note lines before it) and whether a
// quoted value runs over a line end.
//
// Contract.  At most kSniffRecords records or kSniffBytes bytes are read, each
// separator (comma, semicolon, tab, vertical bar; only the chosen one when the
// choice names one) in turn.  A header is the first of the first kHeaderSearch
// records whose cells the judge takes for column names (with the choice "yes"
// and no such record, the first record); with a header the separator is the
// one whose header has the most cells.  Otherwise the separator is the one that
// splits the records into the same number of fields, more than one, for at
// least four in five of them; ties go to the earlier one, the comma first.
// Under a header, when at least four in five of the records after it share
// one width narrower than the header's, that width is the layout's minfields.
// The standard reading is chosen when there is a header, the separator is not
// a comma, a quoted value of a well-formed record runs over a line end, or the
// choice asks for it; the choice "classic" keeps the classic reading.
//
// Lines are counted here as records of the standard reading (a quoted note
// that runs over a line end is one), which is how the reader passes them over.
#pragma once

#include "source/textlayout.h"

namespace vesper {

struct SourceDescription;

constexpr int kSniffRecords = 50;
constexpr int kSniffBytes = 64 * 1024;
constexpr int kHeaderSearch = 10;

struct SniffedLayout {
  TextLayout layout;
  int fieldcount = 0;  // the header's cells, else the first record's fields
};

// Reads the start of the source file (rewinding it) and recognises its layout
// under `source.SourceLayoutChoice`.
SniffedLayout RecogniseTextLayout(SourceDescription& source, const HeaderJudge& judge);

}  // namespace vesper
