// The import specification file (".IMP"): the kind of source, the assignment
// of every source field and its date layout, so that the same kind of source
// can be imported again without assigning its fields anew.
//
// Format: exactly 422 lines, each ended by CR LF: line 1 SourceType; lines 2
// to 211 FieldAssignments slots 1 to 210 (empty line for an empty slot);
// line 212 DateFormats[0], the two-digit-year pivot; lines 213 to 422
// DateFormats[1..210].
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
// becomes the number of the last non-empty slot; SpecLoaded becomes true.
void ReadSpecFile(ImportState& state, const std::string& name,
                  const std::vector<FieldDef>& contactfields);

}  // namespace vesper
