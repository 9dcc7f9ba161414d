// The target field catalogue: what a source field can be assigned to.
//
// Contract: pure functions of the contact table's fields (in table order),
// the marks, and the labels read from the chosen database's row of
// DATABASE.DB and the first row of SETTINGS.DB.  Field names are compared
// exactly; label lookups in the two rows ignore letter case, as the table
// engine's lookup does.
//
// An entry's text is label + a run of spaces + field name or code; the name
// or code is read back as the text after the last space.  Contact fields use
// 37 spaces and their name cut to 30 characters; "(Not used)" 37 spaces; the
// other combined fields 30 spaces.
#pragma once

#include <array>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/fieldtypes.h"

namespace vesper {

// A combined-field code: lower-case "x" first.  Codes "x1notused" to "x8addr1&2".
inline bool iscombinedcode(std::string_view entry) { return !entry.empty() && entry[0] == 'x'; }

// The combined fields by number.  On disk (the .IMP file) and in the
// assignment entries each is spelt by its code, "x1notused" to "x8addr1&2".
enum class Combined { None = 0, NotUsed, FirstLast, LastFirst, CityState, CityStateZip, MiddleInitial, ZipSuffix, Addr1And2 };

struct CombinedField {
  Combined field;
  int digit;
  const char* code;
  const char* label;
  const char* anchor;  // the contact field it is listed after ("" for the first entry)
};
// The eight combined fields, indexed by digit - 1.
const std::array<CombinedField, 8>& combinedfields();
// The combined field an entry spells exactly; None for anything else (an
// entry of "x" and a digit that is not spelt so expands to nothing).
Combined combinedof(std::string_view entry);
// The label of a code, by its second character; empty when it names none.
std::string codelabel(std::string_view code);

// Fields the import fills itself or never offers.
bool issystemfield(std::string_view name);
// User1-User10, Date1-Date10, Num1-Num5, Money1-Money5, Category.
bool isrenamablefield(std::string_view name);

// Text values of one table row by field name (lookup ignores letter case).
class RowValues {
 public:
  void set(const std::string& field, const std::string& value);
  std::optional<std::string> get(std::string_view field) const;

 private:
  std::map<std::string, std::string> values_;  // key: field name in upper case
};

struct CatalogueLabels {
  RowValues database;  // the chosen database's row of DATABASE.DB
  RowValues settings;  // the first row of SETTINGS.DB
};

std::string fieldlabel(std::string_view name, const CatalogueLabels& labels);

struct CatalogueEntry {
  std::string text;  // as listed: label, spaces, name or code
  std::string name;  // the field name or code read back from the text
};

// The catalogue from the current marks (entries 0..201 by field position,
// 200 + digit for the combined fields).
std::vector<CatalogueEntry> loadfieldlist(const std::vector<FieldDef>& fields,
                                          const std::array<int, 211>& marks,
                                          const CatalogueLabels& labels);

// The text after the last space of an entry.
std::string entryname(std::string_view text);

}  // namespace vesper
