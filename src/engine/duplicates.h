// Finding an existing contact that is likely the same person as a row about
// to be stored: the same name, letter case, accents and blanks ignored
// (parse/personkey.h), and the same e-mail address, or a phone number with
// the same digits, or the same postal code.
//
// Contract: the contacts of the target database already in the contact
// table are found through the table's lookup by the folded last name (an
// index made on first use; see Table::rowswithfolded), on a connection of the
// finder's own, so that a batch's writer thread keeps the table's.  That
// lookup folds the letter case of ASCII letters only and ignores blanks: a
// stored name that differs from the new one by an accent or a letter case
// beyond ASCII is found when the new name carries it the same way or folds to
// the stored one, or else when the e-mail addresses are the same (the
// lookup by e-mail address, lower-cased, is the second way in).  Candidates are then compared by their fully
// folded names.  The rows this run stores are remembered by the finder
// (`remember`), so that a list naming a person twice is caught before its
// first row is committed; a run keeps about a hundred bytes for each.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

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
  // database's name (the DB field).
  DuplicateFinder(const DataPlace& place, std::string database);

  // Whether the row `row` holds (complete, not stored yet) is likely the same
  // person as an existing contact; `match` then describes that contact.
  bool find(const RowBuilder& row, DuplicateMatch& match);
  // The row find() looked at last was stored (or queued to be).
  void rememberchecked();

 private:
  // What a contact is compared by.
  struct Facts {
    std::string person, email, zip, key;
    std::vector<std::string> phones;
    bool same(const Facts& other) const;
  };
  Facts factsof(const RowBuilder& row) const;
  Facts factsof(const std::vector<Cell>& cells) const;
  Facts factsfrom(const std::function<std::string(int)>& text) const;  // a field's text by position

  Facts checked_;  // of the row find() looked at last
  Table table_;
  std::string database_;
  // Field positions in the contact table, -1 where it has none.
  int first_, last_, email_, zip_, db_, recno_;
  std::vector<int> phones_;
  // This run's stored rows: by a hash of the person key, the hashes of what
  // else they are compared by, and their keys.
  struct Remembered {
    std::uint64_t person, email, zip;
    std::uint64_t phones[5];
    std::string key;
  };
  std::unordered_multimap<std::uint64_t, Remembered> stored_;
  std::vector<std::vector<Cell>> found_, byemail_;  // scratch of the lookups
};

}  // namespace vesper
