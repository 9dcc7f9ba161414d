#include "engine/transfer.h"

#include <cmath>
#include <cstdlib>

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
                               AddressTemplates templates, std::string dataFolder, IssueLog& issues)
    : state_(state), contact_(contact.row()), table_(contact.takewriter()),
      composer_(std::move(settings), templates), dataFolder_(std::move(dataFolder)), issues_(issues),
      purgeAt_(kKeysAheadStart) {
  for (int i = 1; i <= kMaxSourceFields; ++i) {
    const std::string& e = state_.FieldAssignments[i];
    if (e.empty()) continue;
    Slot& slot = slots_[i];
    if (iscombinedcode(e)) {
      slot.combined = combinedof(e);
      continue;
    }
    slot.position = contact_.findField(e);
    if (slot.position >= 0) slot.firstname = contact_.fieldName(slot.position) == "FirstName";
    std::string u = uppertext(e);
    slot.rule = u == "STATE" || u == "COUNTRY" ? CaseRule::MixedIfLonger
                : u == "ZIP" || u == "HONOR"   ? CaseRule::Kept
                                               : CaseRule::Mixed;
    slot.category = sametext(e, "Category");
  }
  memo_ = lookup("memo");
  db_ = lookup("DB");
  recno_ = lookup("Recno");
  dateAdded_ = lookup("DateAdded");
  timeAdded_ = lookup("TimeAdded");
  mailAddr_ = lookup("MailAddr");
  secondAddr_ = lookup("SecondAddr");
  company_ = lookup("company");
  lastname_ = lookup("lastname");
  for (int k = 0; k < 13; ++k) mailFields_[k] = lookup(kMailFields[k]);
  derived_.fill(-2);
}

int RecordTransfer::lookup(const char* name) const { return contact_.findField(name); }

int RecordTransfer::exactposition(const std::string& name) {
  auto known = exact_.find(name);
  if (known != exact_.end()) return known->second;
  int found = -1;
  int n = std::min(state_.TargetFieldCount, contact_.fieldCount());
  for (int p = 0; p < n && found < 0; ++p)
    if (contact_.fieldName(p) == name) found = p;
  exact_.emplace(name, found);
  return found;
}

void RecordTransfer::setderived(const std::string& name, const std::string& value) {
  std::string v = trimleft(value);
  int p = exactposition(name);
  if (p < 0) {
    state_.messages.errorMessage("Could not find the " + name + " field in the database");
    return;
  }
  if (p < 211 && state_.TargetFieldMarks[p] == 1) return;
  contact_.setText(p, v);
}

void RecordTransfer::setderived(Derived which, std::string_view value) {
  int& p = derived_[which];
  if (p == -2) p = exactposition(kDerivedNames[which]);
  if (p < 0) {
    state_.messages.errorMessage(std::string("Could not find the ") + kDerivedNames[which] + " field in the database");
    return;
  }
  if (p < 211 && state_.TargetFieldMarks[p] == 1) return;
  std::size_t lead = 0;  // the leading blanks are left out, as trimleft does
  while (lead < value.size() && isleadingblank(value[lead])) ++lead;
  puttext(p, value.substr(lead));
}

void RecordTransfer::puttext(int p, std::string_view v) {
  const int size = contact_.fieldDef(p).size;
  if (size > 0 && v.size() > static_cast<std::size_t>(size) && contact_.fieldType(p) == FieldType::Alpha &&
      textlength(v) > static_cast<std::size_t>(size))
    note(p, IssueKind::ValueCut, v);
  contact_.setText(p, v);
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
  recordIssues_.push_back({0, {}, contact_.fieldName(p), kind, std::move(text)});
}

void RecordTransfer::fail(long long record, IssueKind kind, std::string text) {
  ++failures;
  issues_.report({record, {}, {}, kind, std::move(text)}, state_.messages);
}

void RecordTransfer::appendfield(const std::string& name, const std::string& value) {
  std::string v = trimleft(value);
  int p = exactposition(name);
  if (p < 0) {
    state_.messages.errorMessage("Could not find the " + name + " field in the database");
    return;
  }
  puttext(p, contact_.asText(p) + " " + v);
}

void RecordTransfer::writedirect(int i, const Slot& slot, std::string_view v) {
  const std::string& e = state_.FieldAssignments[i];
  if (slot.position < 0) contact_.fieldIndex(e);  // the engine's own "not found" error
  int p = slot.position;
  switch (contact_.fieldType(p)) {
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
      if (integerfits(contact_.fieldType(p), n)) contact_.setInteger(p, n);
      else note(p, IssueKind::NumberOutOfRange, v);
      break;
    }
    case FieldType::Number: {
      bool fits = true;
      const double n = leadingdouble(v, &fits);
      if (fits) contact_.setDouble(p, n);
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
      if (fits) contact_.setDouble(p, n);
      else note(p, IssueKind::NumberOutOfRange, v);
      break;
    }
    case FieldType::Date:
    case FieldType::Timestamp: {
      // An unreadable date leaves the field empty rather than 30/12/1899.
      int day = datefromtext(v, state_.DateFormats[i], state_.DateFormats[0]);
      if (day != 0) contact_.setDateTime(p, day);
      else note(p, IssueKind::DateUnread, v);
      break;
    }
    case FieldType::Time:
      contact_.setDateTime(p, timefromtext(v));
      break;
    case FieldType::Memo: {
      if (memo_ < 0) contact_.fieldIndex("memo");
      std::string now = contact_.asText(memo_);
      contact_.setText(memo_, now.empty() ? std::string(v) : now + "\r\n" + std::string(v));
      memoWritten_ = true;
      break;
    }
    default:
      break;  // logical, BCD, autoincrement, bytes and the like are never written
  }
  if (slot.firstname) {
    if (mixed) v = mixedcaseview(v, dear_);
    setderived(dDear, v);
  }
}

void RecordTransfer::buildrow(Values& fetch) {
  int n = std::min(state_.SourceFieldCount, kMaxSourceFields);
  for (int i = 1; i <= n; ++i) {
    const std::string& e = state_.FieldAssignments[i];
    if (e.empty()) continue;
    std::string_view v = fetch.value(i);
    if (v.empty()) continue;
    if (iscombinedcode(e))
      expandcombined(slots_[i].combined, v);
    else
      writedirect(i, slots_[i], v);
  }
}

void RecordTransfer::makemailblock() {
  // The values are seen in the pending row's cells, which stay as they are
  // until the block is made; mailRow_ only holds a value that is not a text.
  MailRow& held = mailRow_;
  std::string* scratch[13] = {&held.Company, &held.Salut, &held.FirstName, &held.LastName,
                              &held.Honor,   &held.Title, &held.Addr1,     &held.Addr2,
                              &held.City,    &held.State, &held.Zip,       &held.Country, &held.Dear};
  MailRowView row;
  std::string_view* values[13] = {&row.Company, &row.Salut, &row.FirstName, &row.LastName,
                                  &row.Honor,   &row.Title, &row.Addr1,     &row.Addr2,
                                  &row.City,    &row.State, &row.Zip,       &row.Country, &row.Dear};
  for (int k = 0; k < 13; ++k)
    if (mailFields_[k] >= 0) *values[k] = contact_.textView(mailFields_[k], *scratch[k]);
  const std::string& block = composer_.compose(row, state_.messages);
  if (mailAddr_ >= 0) contact_.setText(mailAddr_, block);
  if (secondAddr_ >= 0) contact_.setText(secondAddr_, block);
}

void RecordTransfer::rememberkey(KeysAhead::iterator known, const std::string& piece, RecordKeyTime used,
                                 RecordKeyTime now) {
  // A piece already known only moves on: the map does not grow, so there is
  // nothing to drop.
  if (known != keysAhead_.end()) {
    known->second = used;
    return;
  }
  keysAhead_.emplace(piece, used);
  if (keysAhead_.size() < purgeAt_) return;
  // Every later clock reading is at least `now`: steps before it can no
  // longer meet a clock-made key.
  std::erase_if(keysAhead_, [&](const auto& entry) { return later(now, entry.second); });
  if (keysAhead_.size() >= kKeysAheadMax) keysAhead_.clear();
  purgeAt_ = std::max(kKeysAheadStart, 2 * keysAhead_.size());
}

long long RecordTransfer::storewithkey(long long record, const LocalTime& added) {
  if (recno_ < 0) contact_.fieldIndex("Recno");
  const std::string_view company = company_ >= 0 ? contact_.textView(company_, companyText_) : std::string_view();
  const std::string_view lastname = lastname_ >= 0 ? contact_.textView(lastname_, lastnameText_) : std::string_view();
  std::string piece = recordkeynamepiece(company, lastname);
  RecordKeyTime now = recordkeytime(added);
  RecordKeyTime t = now;
  auto known = keysAhead_.find(piece);
  if (known != keysAhead_.end() && !later(t, known->second)) t = nextrecordkeytime(known->second);
  if (writer_) {
    // The writer takes later steps itself when the key is refused; a step
    // remembered here that the writer had to pass costs the next row of the
    // piece one refusal, no more.
    char key[kRecordKeyMax];
    if (const std::size_t n = composerecordkeyinto(key, piece, t)) contact_.setText(recno_, std::string_view(key, n));
    else contact_.setText(recno_, composerecordkey(piece, t));
    long long bytes = writer_->submit(piece, t, record);
    rememberkey(known, piece, t, now);
    return bytes;
  }
  KeyedStore s;
  try {
    s = storekeyed(*table_, piece, t, [&](RecordKeyTime step) {
      contact_.setText(recno_, composerecordkey(piece, step));
      return table_->insert(contact_);
    });
  } catch (const TableUnavailable&) {
    throw;
  } catch (const EngineError& e) {
    s.lastError = e.what();  // this row alone cannot be stored
  }
  if (!s.stored) throw StoreFailure(s.lastError);
  contact_.drop();  // stored
  rememberkey(known, piece, s.used, now);
  return -1;
}

bool RecordTransfer::lowdiskspace(long long rowBytes) {
  countedSinceFree_ += kRowWriteBound + 2 * rowBytes;
  std::int64_t now = state_.clock.ticks();
  if (measureFreeAfter_ >= 0 && countedSinceFree_ < measureFreeAfter_ && now - freeMeasuredAt_ < kFreeSpaceMillis)
    return false;
  long long free = state_.disk.freeSpace(dataFolder_);
  countedSinceFree_ = 0;
  freeMeasuredAt_ = now;
  measureFreeAfter_ = free > kMinFreeSpaceForRecords ? (free - kMinFreeSpaceForRecords) / 2 : 0;
  return free < kMinFreeSpaceForRecords;
}

bool RecordTransfer::importonerecord(Values& fetch, long long record) {
  const long long storedBefore = writer_ ? 0 : table_->bytesStored();
  long long queuedBytes = -1;
  contact_.newRow();
  memoWritten_ = false;
  recordIssues_.clear();
  try {
    buildrow(fetch);
    if (!contact_.changed() && !memoWritten_) {
      contact_.drop();
      return false;
    }
    if (db_ < 0) contact_.fieldIndex("DB");
    contact_.setText(db_, state_.DatabaseName);
    makemailblock();
    if (dateAdded_ < 0) contact_.fieldIndex("DateAdded");
    if (timeAdded_ < 0) contact_.fieldIndex("TimeAdded");
    // One clock reading for the date, the time and the key of the row.
    const LocalTime added = state_.clock.now();
    const double at = datetimeof(added);
    contact_.setDateTime(dateAdded_, at);
    contact_.setDateTime(timeAdded_, at);
    queuedBytes = storewithkey(record, added);
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
  for (ImportIssue& issue : recordIssues_) {
    issue.record = record;
    issues_.add(std::move(issue));
  }
  if (lowdiskspace(queuedBytes >= 0 ? queuedBytes : table_->bytesStored() - storedBefore)) {
    state_.messages.infoMessage("Disk space less then 10k. No more records will be imported.");
    state_.ImportStopped = true;
    stoppedForSpace = true;
  }
  return true;
}

}  // namespace vesper
