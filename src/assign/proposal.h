// The assignment proposed from a header line: what a person would assign
// each source field to, seeing the column names and the first values.
//
// Contract: `proposeassignment` is a pure function of the column names, the
// sample records and the contact table's fields (with their labels).  Each
// column gets a contact field, a combined-field code or "x1notused"; no
// contact field is proposed twice except Memo, and only fields the
// catalogue would offer (no system fields, combined fields only where their
// anchor field exists and their parts are free).  The rules:
//  - names: given, family, prefix and suffix columns to FirstName, LastName,
//    Salut and Honor, a middle name to "(Middle Initial)"; a whole-name
//    column to "(First & Last)" only when no first or last name column is
//    there;
//  - address: one set of columns fills Addr1, Addr2, City, State, Zip and
//    Country: the business address when it has values in the samples, else
//    the home address, else an address of no stated kind, else the other
//    address; a street to "(Address 1 & 2)" unless a second street line of
//    the same address is there (then Addr1 and Addr2);
//  - phones fill Phone1 to Phone4 by kind (business, mobile, home, other,
//    then the rarer ones), those with sample values first when there are
//    more phones than fields; the first fax goes to Fax;
//  - the first e-mail column with values to Email; notes to Memo;
//  - a birthday or anniversary to a date field labelled so, else to the
//    first free date field, with the date layout guessed from the samples;
//  - a column named like a field's label ("Spouse" for a field labelled
//    "Spouse") to that field.
// `applyproposal` writes it into the import state exactly as the
// assignment dialog would have: FieldAssignments, DateFormats and the marks.
#pragma once

#include <string>
#include <vector>

#include "assign/assignstate.h"
#include "assign/catalogue.h"
#include "store/fieldtypes.h"

namespace vesper {

class SampleSource;

inline constexpr const char* kNotUsedCode = "x1notused";

struct ProposedField {
  std::string target = kNotUsedCode;  // contact field name or combined-field code
  int dateformat = -1;                // layout code of a date field, else -1

  bool operator==(const ProposedField&) const = default;
};

// `names[i]` is the header cell of source field i + 1; `samples` are the
// first records, `samples[r][i]` the value of field i + 1 (a record may be
// shorter).  One entry per name.
std::vector<ProposedField> proposeassignment(const std::vector<std::string>& names,
                                             const std::vector<std::vector<std::string>>& samples,
                                             const std::vector<FieldDef>& fields,
                                             const CatalogueLabels& labels = {});

// The first `records` records of fields 1..fieldcount, as read for the
// assignment dialog's sample boxes.
std::vector<std::vector<std::string>> samplerecords(SampleSource& source, int fieldcount,
                                                    int records = 50);

// Assigns source field i + 1 to proposal[i] for every entry (at most 210),
// with its date layout and the marks the dialog sets.
void applyproposal(AssignState& state, const std::vector<FieldDef>& fields,
                   const std::vector<ProposedField>& proposal);

// The date layout code (see assign/dates.h) the sample values are written
// in: year first gives 2 (yyyymmdd), day and month by the values that only
// fit one order, else by the separator ('/' month first, '.' and '-' day
// first); two-digit years and month names their own codes.  2 when the
// values say nothing.
int guessdateformat(const std::vector<std::string>& values);

}  // namespace vesper
