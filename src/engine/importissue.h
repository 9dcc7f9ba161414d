// Issues met while importing: one record of each thing that went wrong with a
// source record or line, or was changed on its way into a contact, collected
// by the run.  The summary's counts and the failure messages are made from
// these records, so the record number and the field are data, not only words
// inside a message.
//
// Contract: `IssueLog::add` counts every issue by kind and, for the value
// kinds, by contact field; it keeps the first kKept issues whole (memory stays
// flat however many a long import meets).  `issuemessage` gives the message a
// failed record shows the user.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "base/seams.h"

namespace vesper {

enum class IssueKind {
  ValueCut,          // a text cut to its field's width (the row is stored)
  DateUnread,        // a date that could not be read, field left empty
  NumberOutOfRange,  // a number its field cannot hold, field left empty
  LineRejected,      // a line that is no record, written to the bad-record file
  LineLost,          // such a line that could not be written there
  RecordFailed,      // a record whose row could not be made ("was not imported")
  RowRefused,        // a row the contact table refused ("could not be stored")
  UserRejected,      // a record the user rejected in review
  DuplicateSkipped,  // a record likely to be an existing contact, left out
  DuplicateStored,   // ... stored all the same (asked for, or accepted anyway)
  Count
};

struct ImportIssue {
  long long record = 0;  // the source record (0: a line that is no record)
  std::string line;      // the source line, for a rejected or lost line (cut)
  std::string field;     // the contact field, when the issue is a value's
  IssueKind kind = IssueKind::RecordFailed;
  std::string text;      // what happened, in the engine's or the system's words
  long long sourceline = 0;  // where in the source (0: as noted for its record)
};

// One line of the run report: a record that was not imported as it stood.
struct ReportEntry {
  long long record = 0;      // 0 for a line that is no record
  long long sourceline = 0;  // the source line (a table's row) it ended on
  IssueKind kind = IssueKind::RecordFailed;
  std::string field;
};

// How many values of stored rows were changed on their way into one contact
// field: cut to the field's width, a date that could not be read (left
// empty), a number that did not fit the field (left empty).
struct FieldNotes {
  std::string field;
  long long cut = 0, unreadabledates = 0, numbersnotfit = 0;
};

// The message of a failed record: "Record N was not imported: " + the text,
// or for a refused row "Record N could not be stored: " + the text.
std::string issuemessage(const ImportIssue& issue);

class IssueLog {
 public:
  static constexpr std::size_t kKept = 1000;
  static constexpr std::size_t kLineKept = 200;  // characters of a line kept

  void add(ImportIssue issue);
  // A line that is no record: counted always, its text copied only while
  // issues are still kept whole.
  void addline(IssueKind kind, std::string_view line, std::string_view text);
  // The source line of the record being read, noted as it is read: an
  // issue of that record (or, after setline, of a line that is no record)
  // takes it when it names no line of its own.  An issue of an earlier
  // record (a row the writer refused later) brings its line along.
  void noteline(long long record, long long line) { record_ = record, recordline_ = line; }
  void setline(long long line) { line_ = line; }
  // The line noted for `record` when it is the record being read, else 0.
  long long lineof(long long record) const { return record > 0 && record == record_ ? recordline_ : 0; }
  // Every issue the report lists, in the order met (not only the first
  // kKept), each handed to `each`; the issues are held packed, a few bytes
  // each, so a long run with many issues keeps little of them in memory.
  template <class Each>
  void eachreport(Each&& each) const;
  bool hasreport() const { return !packed_.empty(); }
  // A failed record: its message shown, then the issue added.
  void report(ImportIssue issue, Messages& messages);
  // False once kKept issues are kept: a caller may then leave the text of an
  // issue it adds empty (only the counts and the first text of a kind matter).
  bool keeping() const { return kept_.size() < kKept; }
  long long count(IssueKind kind) const { return counts_[static_cast<std::size_t>(kind)]; }
  // The value issues by contact field, in the order the fields were first met.
  std::vector<FieldNotes> perfield() const;
  // The first issues, whole, in the order they were met.
  const std::vector<ImportIssue>& kept() const { return kept_; }
  // The text of the first issue of a kind ("" when none was met).
  const std::string& firsttext(IssueKind kind) const { return first_[static_cast<std::size_t>(kind)]; }

 private:
  static constexpr std::size_t kKinds = static_cast<std::size_t>(IssueKind::Count);
  std::array<long long, kKinds> counts_{};
  std::array<std::string, kKinds> first_{};
  std::vector<ImportIssue> kept_;
  std::vector<FieldNotes> fields_;
  std::map<std::string, std::size_t, std::less<>> fieldindex_;
  void addreport(long long record, long long line, IssueKind kind, const std::string& field);
  static long long unpack(const std::string& packed, std::size_t& at);

  // The report's entries, in blocks of about kBlock bytes (a block is never
  // moved once written, so the report holds at most one block unfilled): a
  // byte of kind (bit 7: a field follows; bit 6: no record, a line that is
  // none), the record (unless none) and the line as zig-zag varints of their
  // change from the last ones given, then the field's number among
  // reportfields_.
  static constexpr std::size_t kBlock = 65536;
  std::vector<std::string> packed_;
  long long lastrecord_ = 0, lastline_ = 0;
  std::vector<std::string> reportfields_;
  std::map<std::string, std::uint32_t, std::less<>> reportfieldindex_;
  long long record_ = 0, recordline_ = 0, line_ = 0;
};

template <class Each>
void IssueLog::eachreport(Each&& each) const {
  ReportEntry e;
  long long record = 0;
  for (const std::string& block : packed_) {
    std::size_t at = 0;
    while (at < block.size()) {
      const unsigned char head = static_cast<unsigned char>(block[at++]);
      e.kind = static_cast<IssueKind>(head & 0x3f);
      if (!(head & 0x40)) record += unpack(block, at);
      e.record = head & 0x40 ? 0 : record;
      e.sourceline += unpack(block, at);
      if (head & 0x80) e.field = reportfields_[static_cast<std::size_t>(unpack(block, at))];
      else e.field.clear();
      each(static_cast<const ReportEntry&>(e));
    }
  }
}

}  // namespace vesper
