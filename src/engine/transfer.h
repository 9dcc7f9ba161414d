// Record transfer: one source record becomes one new row of CONTACT.DB.
//
// Contract: `RecordTransfer::importonerecord` walks the field assignment,
// fetches each assigned value through the caller's `fetch` (source field
// number -> text), converts it by the contact field's type, expands combined
// fields, composes the mailing block, stamps DB, DateAdded and TimeAdded,
// writes a fresh record key to Recno and stores the row, counting it in
// AcceptedCount.  A record either becomes a stored, complete row or leaves
// nothing behind:
//  - a record with no value written is dropped silently (memo lines count as
//    written);
//  - an assignment naming a field the table lacks, a malformed time, or any
//    other table-engine failure while the row is built drops the row and
//    reports "Record N was not imported: " + the engine's message; the run
//    goes on;
//  - while the store answers that the key is taken, the row is stored again
//    under the next free key step for the record's name piece (no sleeping),
//    at most kStoreAttempts times; a row still not stored then, or refused
//    for another reason, is reported "Record N could not be stored: " + the
//    engine's message, and the row is dropped;
//  - a table that cannot be written at all (TableUnavailable: locked past the
//    wait, read-only, disk full) drops the row and the error travels on: the
//    run stops on it.
// After each stored row the run stops (the low-disk message) when the data
// folder has less than kMinFreeSpaceForRecords bytes free.  The free space is
// measured again only when it may have come near that limit: after the first
// row, then once the rows stored since the last reading may have used half of
// what was above the limit (each row counted as kRowWriteBound bytes plus
// twice its values, which covers its table page, key index entry and journal
// copy), and at least every kFreeSpaceMillis ms for other programs' writes.
// Numeric text that is not a number stores its leading numeric part (0 when
// there is none).  A value is never the reason a record is lost: a whole
// number out of its field's range, or a number beyond the double range,
// leaves that one field empty; a date that cannot be read leaves it empty;
// a text longer than its field is cut to the field's width.  Each of these,
// for a record that became a row, and each failed record, is an ImportIssue
// added to the run's IssueLog.  Positions of every field the transfer needs are looked up
// once, when the transfer is made.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "assign/catalogue.h"
#include "assign/recordkey.h"
#include "engine/contactwriter.h"
#include "engine/duplicates.h"
#include "engine/importissue.h"
#include "engine/runstate.h"
#include "parse/mailblock.h"
#include "source/recordsource.h"
#include "store/contactstore.h"

namespace vesper {

constexpr long long kMinFreeSpaceForRecords = 10000;
constexpr long long kRowWriteBound = 16384;
constexpr long long kFreeSpaceMillis = 1000;

// The leading whole number / floating-point number of a text (blanks before
// it skipped); 0 when it starts with none.  Commas between groups of three
// digits are thousands separators ("$1,234.56" reads 1234.56 once the
// currency sign is gone); any other comma ends the number.  A whole number
// beyond 64 bits reads as the nearest one; a floating-point number beyond
// the double range reads 0 with `fits` set false.
long long leadinginteger(std::string_view text);
double leadingdouble(std::string_view text, bool* fits = nullptr);

// The contact a record would become, shown before it is accepted: every
// field the row would hold, in the table's order, each with a mark where its
// value was changed on its way in (cut to the field's width, a date that
// could not be read, a number that does not fit the field).
struct PreviewField {
  std::string field, text, mark;
};
struct ContactPreview {
  std::vector<PreviewField> fields;
  std::string failure;  // why no row can be made of the record ("" when one can)
  bool empty = false;   // the record has no value to import: no row is made
  // The row is likely the same person as `existing`, a contact of the
  // database (when the run looks for duplicates).
  bool duplicate = false;
  DuplicateMatch existing;
};

class RecordTransfer {
 public:
  // `contact` is the open contact store; `datafolder` is measured for free
  // space ("" for a database on a server, whose disk is the server's).
  RecordTransfer(RunState& state, ContactStore& contact, MailSettings settings,
                 AddressTemplates templates, std::string datafolder, IssueLog& issues);

  // The state of the run window's mixed-case box, read for every value.
  bool mixed = false;
  // Set when the low-disk message stopped the run (not the user).
  bool stoppedforspace = false;
  // Records that failed with an error here (reported, row dropped) so far;
  // rows that a writer could not store come back from its drain().
  long long failures = 0;

  // The values of the record being transferred: the text of source field
  // `field` (from 1), valid until the next call.  A record source gives its
  // current record's.
  using Values = RecordValues;

  // Transfers the current record; `record` numbers it for messages.  Returns
  // true when a row was stored.  Sets ImportStopped (and stoppedforspace)
  // after the low-disk message.
  bool importonerecord(Values& fetch, long long record);

  // The row the current record would become, built exactly as
  // importonerecord builds it, described in `out` and then dropped: nothing
  // is stored, counted or reported.  The record key is the one the store
  // would be asked for first.
  void preview(Values& fetch, ContactPreview& out);

  // Looks for a likely duplicate of each row before it is stored (null: no
  // looking).  One found is left out (`skip`: the issue DuplicateSkipped,
  // the record not imported) or stored all the same (DuplicateStored).
  void setduplicates(DuplicateFinder* finder, bool skip) {
    finder_ = finder;
    skipduplicates_ = skip;
  }

  // The transfer holds the store's WriterHandle and stores each row at once.
  // A batch run takes the handle for its writer thread (handover()) and sets
  // that writer: a complete row, its key step chosen, is then handed to the
  // writer instead; true then means the row is queued, and what the writer
  // could not store comes back from its drain().  The low-disk test counts
  // the row when it is queued.  takeback() gives the handle back (from the
  // writer's stop()) and each row is stored at once again.
  WriterHandle handover() { return std::move(table_); }
  void setwriter(ContactWriter* writer) { writer_ = writer; }
  void takeback(WriterHandle table) {
    writer_ = nullptr;
    table_ = std::move(table);
  }
  // A turn at the store's writer while the transfer holds it (no writer set).
  WriterTurn writerturn() const { return WriterTurn(table_); }

  // The derived-field setter and the field appender (exact field names).
  void setderived(const std::string& name, const std::string& value);
  void appendfield(const std::string& name, const std::string& value);

 private:
  // How a text value of a direct assignment is cased, by the field's name.
  enum class CaseRule { Mixed, MixedIfLonger, Kept };  // others; State, Country; Zip, Honor
  struct Slot {
    int position = -1;      // contact field of a direct assignment (-1 missing)
    bool firstname = false; // the table spells it exactly "FirstName"
    CaseRule rule = CaseRule::Mixed;
    bool category = false;  // the assignment names "Category"
    Combined combined = Combined::None;  // a combined field's assignment
  };
  // An issue of a value of the record being built; added to the log once
  // its row is stored.
  void note(int position, IssueKind kind, std::string_view value);
  // A failed record: the issue logged and its message shown.
  void fail(long long record, IssueKind kind, std::string text);
  // Writes a text value, noting it when the field is too narrow for it.
  void puttext(int position, std::string_view value);
  void buildrow(Values& fetch);
  // A new row with the record's values written; false when it has none (no
  // row is to be made).
  bool buildrecord(Values& fetch);
  // A value that runs over several lines (only the standard reading of
  // delimited text gives one) made fit for assignment `i`: kept for the memo
  // and for "(Address 1 & 2)", which take the lines as they are; for any
  // other field its lines joined with ", " (a blank only after a line that
  // ends with a comma).
  std::string_view fitlines(int i, std::string_view v);
  void writedirect(int i, const Slot& slot, std::string_view value);
  void expandcombined(Combined code, std::string_view value);
  void makemailblock();
  // The fields every row gets once its values are written: DB, the mailing
  // block, DateAdded and TimeAdded; returns the clock reading it used.
  LocalTime completerow();
  // Stores (or queues) the row; the bytes of its values when queued, else -1.
  long long storewithkey(long long record, const LocalTime& added);
  int exactposition(const std::string& name);
  // The fields the combined-field expansion and the first-name rule write,
  // by exact name; their positions are found on first use and kept.
  enum Derived {
    kDerivedSalut, kDerivedFirstName, kDerivedDear, kDerivedLastName, kDerivedHonor, kDerivedCity,
    kDerivedState, kDerivedZip, kDerivedAddr1, kDerivedAddr2, kDerivedCount
  };
  std::array<int, kDerivedCount> derived_{};  // -2: not looked up yet
  void setderived(Derived which, std::string_view value);
  int lookup(const char* name) const;  // engine lookup, -1 when missing

  RunState& state_;
  RowBuilder& contact_;  // the contact row being built
  WriterHandle table_;   // ... and what stores it when no writer does
  MailBlockComposer composer_;
  MailRow mailrow_;  // the row values of the block that are not texts, storage kept
  std::string cased_, dear_, changed_;  // a value cased or changed, storage kept
  std::string joined_;                  // the first name and middle name joined
  std::string lines_;                   // a value's lines joined into one
  std::string companytext_, lastnametext_;  // the key's row values when they are not texts
  std::string datafolder_;
  std::array<Slot, kMaxSourceFields + 1> slots_{};
  int memo_, db_, recno_, dateadded_, timeadded_, mailaddr_, secondaddr_;
  int company_, lastname_;
  std::array<int, 13> mailfields_{};
  bool memowritten_ = false;
  IssueLog& issues_;
  std::vector<ImportIssue> recordissues_;  // of the record being built
  ContactWriter* writer_ = nullptr;
  DuplicateFinder* finder_ = nullptr;
  bool skipduplicates_ = false;
  DuplicateMatch match_;  // the last duplicate found, storage kept
  // Name pieces with the last key step used for each, while that step may
  // still lie ahead of the clock.  Pieces the clock has passed are dropped
  // whenever the map doubles, so memory stays flat however many names a run
  // sees.  A piece forgotten anyway (or keys of an earlier run that ran ahead
  // of the clock) costs one refused store: the next step is then taken after
  // the newest key of the piece in the table.
  using KeysAhead = std::unordered_map<std::string, RecordKeyTime>;
  KeysAhead keysahead_;
  // Positions found by exact name (the derived fields are few).
  std::unordered_map<std::string, int> exact_;
  std::size_t purgeat_;
  // The record key's name piece of the row being built, and the first key
  // step to try for it at `now` (`known`: the piece's entry in keysahead_, or
  // its end).
  std::string keypiece();
  RecordKeyTime firststep(KeysAhead::const_iterator known, RecordKeyTime now) const;
  // `known` is the piece's entry in keysahead_, or its end.
  void rememberkey(KeysAhead::iterator known, const std::string& piece, RecordKeyTime used, RecordKeyTime now);
  bool lowdiskspace(long long rowbytes);
  // Free-space readings: bytes counted since the last one, and the count at
  // which to measure again (-1: not measured yet).
  long long countedsincefree_ = 0;
  long long measurefreeafter_ = -1;
  std::int64_t freemeasuredat_ = 0;
};

}  // namespace vesper
