// Finding an existing contact that is likely the same person as a row about
// to be stored: the same name, letter case, accents and blanks ignored
// (parse/personkey.h), and the same e-mail address, or a phone number with
// the same digits, or the same postal code.
//
// Contract: the contacts of the target database already in the contact
// table are found first through the table's lookup by the folded last name
// (an index made on first use; see Table::rowswithfolded), on a connection
// of the finder's own, so that a batch's writer thread keeps the table's.
// That lookup folds the letter case of ASCII letters only and ignores
// blanks: a stored name that differs from the new one by an accent or a
// letter case beyond ASCII is found when the new name carries it the same
// way or folds to the stored one, or else when the e-mail addresses are the
// same (the lookup by e-mail address, lower-cased, is the second way in).
// Candidates are then compared by their fully folded names.
//
// Once the lookups have read as many rows as a sixteenth of the table (many
// contacts share a name, or the list is long), or when told a batch begins
// (startbatch), the finder reads the table
// through once, the compared fields of each contact of the database, and
// keeps their pairs and keys (pairindex.h); from then on a record is looked
// up in memory, and a contact with a pair of the record's is read again, by
// its row id, for the fields shown beside the record.  Contacts
// another program stores after that reading are not seen.  Memory: about 55
// bytes for each contact read, and about 60 for each row this run stores
// (remembered so that a list naming a person twice is caught before its
// first row is committed).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <limits>
#include <vector>

#include "engine/pairindex.h"
#include "store/dataplace.h"
#include "store/rowbuilder.h"
#include "store/table.h"

namespace vesper {

// The existing contact a row was found to duplicate, as its field names and
// values (those it holds), and its record key.
struct DuplicateMatch {
  std::string key;
  std::vector<std::pair<std::string, std::string>> fields;
};

class DuplicateFinder {
 public:
  // Opens CONTACT.DB of `place` for the lookups; `database` is the target
  // database's name (the DB field).  `readafter` is how many rows the
  // lookups read before the table is read through (see above): kChosen
  // for a sixteenth of it, 0 for at once, kNever for never.
  static constexpr long long kChosen = -1, kNever = std::numeric_limits<long long>::max();
  DuplicateFinder(const DataPlace& place, std::string database, long long readafter = kChosen);

  // Whether the row `row` holds (complete, not stored yet) is likely the same
  // person as an existing contact; `match` then describes that contact.
  bool find(const RowBuilder& row, DuplicateMatch& match);
  // The row find() looked at last was stored (or queued to be).
  void rememberchecked();
  // Many records are to come and none is shown (a batch): the table is
  // read through before the next lookup, unless it was already, and a
  // contact found is told by its key alone (no fields).
  void startbatch() {
    if (!read_) readafter_ = 0;
    choose_ = false;
    fields_ = false;
  }

 private:
  // What a contact is compared by.
  struct Facts {
    std::string person, email, zip, key;
    std::vector<std::string> phones;
    bool same(const Facts& other) const;
    void pairs(std::vector<std::uint64_t>& out) const;
  };
  Facts factsfrom(const std::function<std::string_view(int)>& text) const;  // a field's text by position
  bool samecontact(const std::vector<Cell>& cells, DuplicateMatch& match);
  bool findlookedup(const RowBuilder& row, DuplicateMatch& match);
  bool findknown(DuplicateMatch& match);
  void readtable();

  Facts checked_;  // of the row find() looked at last
  std::vector<std::uint64_t> pairs_;  // its pairs
  Table table_;
  std::string database_;
  // Field positions in the contact table, -1 where it has none.
  int first_, last_, email_, zip_, db_, recno_;
  std::vector<int> phones_;
  // Rows read by the lookups, how many before the table is read through,
  // and whether it was.
  long long rowsread_ = 0, readafter_;
  bool read_ = false, choose_, fields_ = true;
  KnownPairs known_;
  std::vector<long long> knownids_;  // each known contact's row id
  KeyList knownkeys_;
  // This run's stored rows: their pairs and record keys.
  RunPairs stored_;
  KeyList storedkeys_;
  std::vector<std::vector<Cell>> found_, byemail_;  // scratch of the lookups
  std::vector<Cell> cells_;
};

}  // namespace vesper
