#include "engine/transfer.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "assign/catalogue.h"
#include "assign/dates.h"
#include "parse/daycount.h"
#include "base/errors.h"
#include "store/fieldtypes.h"
#include "parse/text.h"

namespace vesper {

namespace {
// Name pieces kept before the passed ones are dropped; the bound of the map.
constexpr std::size_t kKeysAheadStart = 1024;
constexpr std::size_t kKeysAheadMax = 65536;

const char* const kDerivedNames[] = {"Salut", "FirstName", "Dear", "LastName", "Honor",
                                     "City",  "State",     "Zip",  "Addr1",    "Addr2"};

// The thirteen row values of the mailing block, in MailRow's order.
const char* const kMailFields[13] = {"Company", "Salut", "FirstName", "LastName", "Honor",
                                     "Title",   "Addr1", "Addr2",     "City",     "State",
                                     "Zip",     "Country", "Dear"};

// A value of the standard reading without the blanks and line breaks at its
// ends (quotes keep them in the file): a value that is only a line break is
// empty, and the last line of a note ends without one.
std::string_view withoutendbreaks(std::string_view v) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!v.empty() && blank(v.front())) v.remove_prefix(1);
  while (!v.empty() && blank(v.back())) v.remove_suffix(1);
  return v;
}

bool later(const RecordKeyTime& a, const RecordKeyTime& b) {
  return a.day != b.day ? a.day > b.day : a.step > b.step;
}

// Stage of a record at which a failure happened, for its message.
struct StoreFailure : UserError {
  using UserError::UserError;
};
}  // namespace

namespace {
// The digits of a whole number starting at `i` of `s`, appended to `out`;
// returns the position after them.  Commas between groups of three digits
// are thousands separators ("12,345", "1,234.56"): the first group has one
// to three digits and no leading zero, every later group exactly three, and
// the digits end after the last group.  Any other comma ends the number.
std::size_t wholedigits(const std::string& s, std::size_t i, std::string& out) {
  std::size_t run = i;
  while (run < s.size() && isdigitchar(s[run])) ++run;
  std::size_t end = run;
  if (run - i >= 1 && run - i <= 3 && s[i] != '0') {
    std::size_t at = run;
    while (at + 3 < s.size() && s[at] == ',' && isdigitchar(s[at + 1]) && isdigitchar(s[at + 2]) &&
           isdigitchar(s[at + 3]) && (at + 4 >= s.size() || !isdigitchar(s[at + 4])))
      at += 4;
    // The last group must end the digits: a comma and a digit after it
    // ("1,234,56") is no grouping.
    bool more = at + 1 < s.size() && s[at] == ',' && isdigitchar(s[at + 1]);
    if (at > run && !more) end = at;
  }
  for (std::size_t k = i; k < end; ++k)
    if (s[k] != ',') out += s[k];
  return end;
}
}  // namespace

long long leadinginteger(std::string_view text) {
  std::string s = trimleft(text);
  std::string number;
  std::size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) number += s[i++];
  if (wholedigits(s, i, number) == i) return 0;
  errno = 0;
  return std::strtoll(number.c_str(), nullptr, 10);  // out-of-range text gives the nearest representable number
}

double leadingdouble(std::string_view text, bool* fits) {
  if (fits) *fits = true;
  std::string s = trimleft(text);
  // Only plain decimal forms: sign, digits (thousands grouped or not), one
  // full stop, an exponent.
  std::string number;
  std::size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) number += s[i++];
  std::size_t start = i;
  i = wholedigits(s, i, number);
  bool whole = i > start;
  bool fraction = false;
  if (i < s.size() && s[i] == '.') {
    number += s[i++];
    while (i < s.size() && isdigitchar(s[i])) {
      number += s[i++];
      fraction = true;
    }
  }
  if (!whole && !fraction) return 0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    std::size_t e = i + 1;
    if (e < s.size() && (s[e] == '+' || s[e] == '-')) ++e;
    if (e < s.size() && isdigitchar(s[e])) {
      number.append(s, i, e - i);
      i = e;
      while (i < s.size() && isdigitchar(s[i])) number += s[i++];
    }
  }
  double v = std::strtod(number.c_str(), nullptr);
  if (std::isfinite(v)) return v;
  if (fits) *fits = false;
  return 0;
}

RecordTransfer::RecordTransfer(RunState& state, ContactStore& contact, MailSettings settings,
                               AddressTemplates templates, std::string datafolder, IssueLog& issues)
    : state_(state), contact_(contact.row()), table_(contact.takewriter()),
      composer_(std::move(settings), templates), datafolder_(std::move(datafolder)), issues_(issues),
      purgeat_(kKeysAheadStart) {
  for (int i = 1; i <= kMaxSourceFields; ++i) {
    const std::string& e = state_.FieldAssignments[i];
    if (e.empty()) continue;
    Slot& slot = slots_[i];
    if (iscombinedcode(e)) {
      slot.combined = combinedof(e);
      continue;
    }
    slot.position = contact_.findfield(e);
    if (slot.position >= 0) slot.firstname = contact_.fieldname(slot.position) == "FirstName";
    std::string u = uppertext(e);
    slot.rule = u == "STATE" || u == "COUNTRY" ? CaseRule::MixedIfLonger
                : u == "ZIP" || u == "HONOR"   ? CaseRule::Kept
                                               : CaseRule::Mixed;
    slot.category = sametext(e, "Category");
  }
  memo_ = lookup("memo");
  db_ = lookup("DB");
  recno_ = lookup("Recno");
  dateadded_ = lookup("DateAdded");
  timeadded_ = lookup("TimeAdded");
  mailaddr_ = lookup("MailAddr");
  secondaddr_ = lookup("SecondAddr");
  company_ = lookup("company");
  lastname_ = lookup("lastname");
  for (int k = 0; k < 13; ++k) mailfields_[k] = lookup(kMailFields[k]);
  derived_.fill(-2);
}

int RecordTransfer::lookup(const char* name) const { return contact_.findfield(name); }

int RecordTransfer::exactposition(const std::string& name) {
  auto known = exact_.find(name);
  if (known != exact_.end()) return known->second;
  int found = -1;
  int n = std::min(state_.TargetFieldCount, contact_.fieldcount());
  for (int p = 0; p < n && found < 0; ++p)
    if (contact_.fieldname(p) == name) found = p;
  exact_.emplace(name, found);
  return found;
}

void RecordTransfer::setderived(const std::string& name, const std::string& value) {
  std::string v = trimleft(value);
  int p = exactposition(name);
  if (p < 0) {
    state_.messages.errormessage("Could not find the " + name + " field in the database");
    return;
  }
  if (p < 211 && state_.TargetFieldMarks[p] == 1) return;
  contact_.settext(p, v);
}

void RecordTransfer::setderived(Derived which, std::string_view value) {
  int& p = derived_[which];
  if (p == -2) p = exactposition(kDerivedNames[which]);
  if (p < 0) {
    state_.messages.errormessage(std::string("Could not find the ") + kDerivedNames[which] + " field in the database");
    return;
  }
  if (p < 211 && state_.TargetFieldMarks[p] == 1) return;
  std::size_t lead = 0;  // the leading blanks are left out, as trimleft does
  while (lead < value.size() && isleadingblank(value[lead])) ++lead;
  puttext(p, value.substr(lead));
}

void RecordTransfer::puttext(int p, std::string_view v) {
  const int size = contact_.fielddef(p).size;
  if (size > 0 && v.size() > static_cast<std::size_t>(size) && contact_.fieldtype(p) == FieldType::Alpha &&
      textlength(v) > static_cast<std::size_t>(size))
    note(p, IssueKind::ValueCut, v);
  contact_.settext(p, v);
}

void RecordTransfer::note(int p, IssueKind kind, std::string_view value) {
  // The value is quoted in the issue's text, cut so a long one costs little;
  // once the log keeps no more issues whole, only the count matters.
  std::string text;
  if (issues_.keeping()) {
    const char* what = kind == IssueKind::ValueCut     ? " was cut to the field's width"
                       : kind == IssueKind::DateUnread ? " is not a date; the field was left empty"
                                                       : " does not fit the field; it was left empty";
    text = "'" + cuttext(value, 40) + (textlength(value) > 40 ? "...'" : "'") + what;
  }
  recordissues_.push_back({0, {}, contact_.fieldname(p), kind, std::move(text)});
}

void RecordTransfer::fail(long long record, IssueKind kind, std::string text) {
  ++failures;
  issues_.report({record, {}, {}, kind, std::move(text)}, state_.messages);
}

void RecordTransfer::appendfield(const std::string& name, const std::string& value) {
  std::string v = trimleft(value);
  int p = exactposition(name);
  if (p < 0) {
    state_.messages.errormessage("Could not find the " + name + " field in the database");
    return;
  }
  puttext(p, contact_.astext(p) + " " + v);
}

void RecordTransfer::writedirect(int i, const Slot& slot, std::string_view v) {
  const std::string& e = state_.FieldAssignments[i];
  if (slot.position < 0) contact_.fieldindex(e);  // the engine's own "not found" error
  int p = slot.position;
  switch (contact_.fieldtype(p)) {
    case FieldType::Alpha: {
      if (mixed && (slot.rule == CaseRule::Mixed ||
                    (slot.rule == CaseRule::MixedIfLonger && textlength(v) > 3))) {
        v = mixedcaseview(v, cased_);
      }
      if (slot.category) {
        changed_ = cleancategory(v);
        v = changed_;
      }
      puttext(p, v);
      break;
    }
    case FieldType::Short:
    case FieldType::Long:
    case FieldType::Word: {
      const long long n = leadinginteger(v);
      if (integerfits(contact_.fieldtype(p), n)) contact_.setinteger(p, n);
      else note(p, IssueKind::NumberOutOfRange, v);
      break;
    }
    case FieldType::Number: {
      bool fits = true;
      const double n = leadingdouble(v, &fits);
      if (fits) contact_.setdouble(p, n);
      else note(p, IssueKind::NumberOutOfRange, v);
      break;
    }
    case FieldType::Money: {
      changed_.assign(v);
      for (char c : {'$', '#', 'f'}) {
        std::size_t at = changed_.find(c);
        if (at != std::string::npos) changed_[at] = ' ';
      }
      v = changed_;
      bool fits = true;
      const double n = leadingdouble(v, &fits);
      if (fits) contact_.setdouble(p, n);
      else note(p, IssueKind::NumberOutOfRange, v);
      break;
    }
    case FieldType::Date:
    case FieldType::Timestamp: {
      // An unreadable date leaves the field empty rather than 30/12/1899.
      int day = datefromtext(v, state_.DateFormats[i], state_.DateFormats[0]);
      if (day != 0) contact_.setdatetime(p, day);
      else note(p, IssueKind::DateUnread, v);
      break;
    }
    case FieldType::Time:
      contact_.setdatetime(p, timefromtext(v));
      break;
    case FieldType::Memo: {
      if (memo_ < 0) contact_.fieldindex("memo");
      std::string now = contact_.astext(memo_);
      contact_.settext(memo_, now.empty() ? std::string(v) : now + "\r\n" + std::string(v));
      memowritten_ = true;
      break;
    }
    default:
      break;  // logical, BCD, autoincrement, bytes and the like are never written
  }
  if (slot.firstname) {
    if (mixed) v = mixedcaseview(v, dear_);
    setderived(kDerivedDear, v);
  }
}

void RecordTransfer::buildrow(Values& fetch) {
  int n = std::min(state_.SourceFieldCount, kMaxSourceFields);
  // Only the standard reading of delimited text gives values of several lines.
  const bool lines = state_.SourceLayout.quoting == Quoting::Standard;
  for (int i = 1; i <= n; ++i) {
    const std::string& e = state_.FieldAssignments[i];
    if (e.empty()) continue;
    std::string_view v = fetch.value(i);
    if (lines) v = withoutendbreaks(v);
    if (v.empty()) continue;
    if (lines && std::memchr(v.data(), '\n', v.size())) v = fitlines(i, v);
    if (iscombinedcode(e))
      expandcombined(slots_[i].combined, v);
    else
      writedirect(i, slots_[i], v);
  }
}

void RecordTransfer::makemailblock() {
  // The values are seen in the pending row's cells, which stay as they are
  // until the block is made; mailrow_ only holds a value that is not a text.
  MailRow& held = mailrow_;
  std::string* scratch[13] = {&held.Company, &held.Salut, &held.FirstName, &held.LastName,
                              &held.Honor,   &held.Title, &held.Addr1,     &held.Addr2,
                              &held.City,    &held.State, &held.Zip,       &held.Country, &held.Dear};
  MailRowView row;
  std::string_view* values[13] = {&row.Company, &row.Salut, &row.FirstName, &row.LastName,
                                  &row.Honor,   &row.Title, &row.Addr1,     &row.Addr2,
                                  &row.City,    &row.State, &row.Zip,       &row.Country, &row.Dear};
  for (int k = 0; k < 13; ++k)
    if (mailfields_[k] >= 0) *values[k] = contact_.textview(mailfields_[k], *scratch[k]);
  const std::string& block = composer_.compose(row, state_.messages);
  if (mailaddr_ >= 0) contact_.settext(mailaddr_, block);
  if (secondaddr_ >= 0) contact_.settext(secondaddr_, block);
}

void RecordTransfer::rememberkey(KeysAhead::iterator known, const std::string& piece, RecordKeyTime used,
                                 RecordKeyTime now) {
  // A piece already known only moves on: the map does not grow, so there is
  // nothing to drop.
  if (known != keysahead_.end()) {
    known->second = used;
    return;
  }
  keysahead_.emplace(piece, used);
  if (keysahead_.size() < purgeat_) return;
  // Every later clock reading is at least `now`: steps before it can no
  // longer meet a clock-made key.
  std::erase_if(keysahead_, [&](const auto& entry) { return later(now, entry.second); });
  if (keysahead_.size() >= kKeysAheadMax) keysahead_.clear();
  purgeat_ = std::max(kKeysAheadStart, 2 * keysahead_.size());
}

std::string RecordTransfer::keypiece() {
  const std::string_view company = company_ >= 0 ? contact_.textview(company_, companytext_) : std::string_view();
  const std::string_view lastname = lastname_ >= 0 ? contact_.textview(lastname_, lastnametext_) : std::string_view();
  return recordkeynamepiece(company, lastname);
}

RecordKeyTime RecordTransfer::firststep(KeysAhead::const_iterator known, RecordKeyTime now) const {
  return known != keysahead_.end() && !later(now, known->second) ? nextrecordkeytime(known->second) : now;
}

long long RecordTransfer::storewithkey(long long record, const LocalTime& added) {
  if (recno_ < 0) contact_.fieldindex("Recno");
  std::string piece = keypiece();
  RecordKeyTime now = recordkeytime(added);
  auto known = keysahead_.find(piece);
  RecordKeyTime t = firststep(known, now);
  if (writer_) {
    // The writer takes later steps itself when the key is refused; a step
    // remembered here that the writer had to pass costs the next row of the
    // piece one refusal, no more.
    char key[kRecordKeyMax];
    if (const std::size_t n = composerecordkeyinto(key, piece, t)) contact_.settext(recno_, std::string_view(key, n));
    else contact_.settext(recno_, composerecordkey(piece, t));
    long long bytes = writer_->submit(piece, t, record, issues_.lineof(record));
    rememberkey(known, piece, t, now);
    return bytes;
  }
  KeyedStore s;
  try {
    s = storekeyed(*table_, piece, t, [&](RecordKeyTime step) {
      contact_.settext(recno_, composerecordkey(piece, step));
      return table_->insert(contact_);
    });
  } catch (const TableUnavailable&) {
    throw;
  } catch (const EngineError& e) {
    s.lasterror = e.what();  // this row alone cannot be stored
  }
  if (!s.stored) throw StoreFailure(s.lasterror);
  contact_.drop();  // stored
  rememberkey(known, piece, s.used, now);
  return -1;
}

bool RecordTransfer::lowdiskspace(long long rowbytes) {
  countedsincefree_ += kRowWriteBound + 2 * rowbytes;
  std::int64_t now = state_.clock.ticks();
  if (measurefreeafter_ >= 0 && countedsincefree_ < measurefreeafter_ && now - freemeasuredat_ < kFreeSpaceMillis)
    return false;
  if (datafolder_.empty()) return false;  // a database on a server: its disk is the server's
  long long free = state_.disk.freespace(datafolder_);
  countedsincefree_ = 0;
  freemeasuredat_ = now;
  measurefreeafter_ = free > kMinFreeSpaceForRecords ? (free - kMinFreeSpaceForRecords) / 2 : 0;
  return free < kMinFreeSpaceForRecords;
}

bool RecordTransfer::buildrecord(Values& fetch) {
  contact_.newrow();
  memowritten_ = false;
  recordissues_.clear();
  buildrow(fetch);
  return contact_.changed() || memowritten_;
}

LocalTime RecordTransfer::completerow() {
  if (db_ < 0) contact_.fieldindex("DB");
  contact_.settext(db_, state_.DatabaseName);
  makemailblock();
  if (dateadded_ < 0) contact_.fieldindex("DateAdded");
  if (timeadded_ < 0) contact_.fieldindex("TimeAdded");
  // One clock reading for the date, the time and the key of the row.
  const LocalTime added = state_.clock.now();
  const double at = datetimeof(added);
  contact_.setdatetime(dateadded_, at);
  contact_.setdatetime(timeadded_, at);
  return added;
}

bool RecordTransfer::importonerecord(Values& fetch, long long record) {
  const long long storedbefore = writer_ ? 0 : table_->bytesstored();
  long long queuedbytes = -1;
  try {
    if (!buildrecord(fetch)) {
      contact_.drop();
      return false;
    }
    const LocalTime added = completerow();
    if (finder_ && finder_->find(contact_, match_)) {
      const std::string text = "likely the same person as the contact " +
                               (match_.key.empty() ? std::string("stored earlier in this import") : match_.key);
      if (skipduplicates_) {
        contact_.drop();
        issues_.add({record, {}, {}, IssueKind::DuplicateSkipped, text});
        return false;
      }
      recordissues_.push_back({0, {}, {}, IssueKind::DuplicateStored, text});
    }
    queuedbytes = storewithkey(record, added);
    if (finder_) finder_->rememberchecked();
  } catch (const TableUnavailable&) {
    contact_.drop();
    throw;
  } catch (const StoreFailure& e) {
    contact_.drop();
    fail(record, IssueKind::RowRefused, e.what());
    return false;
  } catch (const UserError& e) {
    contact_.drop();
    fail(record, IssueKind::RecordFailed, e.what());
    return false;
  }
  ++state_.AcceptedCount;
  state_.RecomputeFraction();
  for (ImportIssue& issue : recordissues_) {
    issue.record = record;
    issues_.add(std::move(issue));
  }
  if (lowdiskspace(queuedbytes >= 0 ? queuedbytes : table_->bytesstored() - storedbefore)) {
    state_.messages.infomessage("Disk space less then 10k. No more records will be imported.");
    state_.ImportStopped = true;
    stoppedforspace = true;
  }
  return true;
}

}  // namespace vesper
