// The import specification file (".IMP"): the kind of source, the assignment
// of every source field and its date layout, so that the same kind of source
// can be imported again without assigning its fields anew.
//
// Format: exactly 422 lines, each ended by CR LF: line 1 SourceType; lines 2
// to 211 FieldAssignments slots 1 to 210 (empty line for an empty slot);
// line 212 DateFormats[0], the two-digit-year pivot; lines 213 to 422
// DateFormats[1..210].
//
// After line 422 a file may hold lines of the form KEY=VALUE saying how a
// delimited text source is written, so that the next import of the same
// kind of export reads it the same way:
//   SEPARATOR=,   the field separator: "," ";" "|" or "TAB"
//   HEADER=YES    the file has a header line of column names (NO: it has none)
//   QUOTING=STANDARD   quoted values may hold line breaks and doubled quotes
//                      (CLASSIC: one line per record)
//   SHEET=NAME    the sheet of a workbook read, when one was named
// They are written only for a delimited source read other than the classic
// way (commas, no header line, one line per record), so the file of a
// classic source is the same 422 lines as ever, and for a workbook (HEADER
// always: whether its sheet has a header row, SHEET when one was named).  A
// reader that stops after line 422 never sees them.  Reading them, a key or value not known here
// is passed over, and what the file does not say stays recognised from the
// source.
//
// Reading is tolerant as before: a slot line longer than 20 characters is cut
// to 20 and the rest skipped; integers are read in free format (blanks and
// line ends before the number are skipped).  A file from disk is not trusted:
// a file that ends early or holds no number where one is expected ends the
// reading with an IoError naming the file and the line; a contact field that
// CONTACT.DB lacks ends it with the table engine's field-not-found error.  The
// values read before the error stay in the import state; no table is touched.
#pragma once

#include <string>
#include <vector>

#include "app/importstate.h"
#include "store/fieldtypes.h"

namespace vesper {

constexpr int kSpecFileLines = 422;

// Writes the file named SpecFileName ("IMPORT.IMP" in the current folder when
// empty).  Too little free space on the data folder's drive: the plain
// message "Disk space less then 5k. IMP file will not be saved." and nothing
// is written.  Creating the file fails: IoError.
void WriteSpecFile(ImportState& state, const std::string& datafolder);

// Reads `name` into the import state and does the marking bookkeeping of
// every non-empty slot against the contact table's fields; SourceFieldCount
// becomes the number of the last non-empty slot; SourceLayoutChoice becomes
// what the layout lines say (Auto for what they do not); SpecLoaded becomes
// true.
void ReadSpecFile(ImportState& state, const std::string& name,
                  const std::vector<FieldDef>& contactfields);

}  // namespace vesper
