#include "engine/duplicates.h"

#include <algorithm>
#include <functional>
#include <string_view>

#include "parse/casemap.h"
#include "parse/personkey.h"
#include "parse/text.h"

namespace vesper {

namespace {

// The forms the table's lookup by a folded name is asked for: the name as it
// will be stored, in its lower case beyond ASCII, and without accents, each
// folded as the lookup folds the stored names.
FoldedKey lookupforms(int field, std::string_view name) {
  FoldedKey key{field, {foldedtext(name)}};
  std::string lower(mixedcaseroom(name.size()) + 1, '\0');
  char* end = mixedcaseutf8(name.data(), name.data() + name.size(), lower.data(), false, true);
  lower.resize(static_cast<std::size_t>(end - lower.data()));
  for (const std::string& form : {foldedtext(lower), foldedtext(foldedname(name))})
    if (std::find(key.forms.begin(), key.forms.end(), form) == key.forms.end()) key.forms.push_back(form);
  return key;
}

}  // namespace

DuplicateFinder::DuplicateFinder(const DataPlace& place, std::string database, long long readafter)
    : database_(std::move(database)), readafter_(readafter == kChosen ? 1024 : readafter), choose_(readafter == kChosen) {
  place.open(table_, "CONTACT.DB");
  table_.setreadcache(2048);  // reads are few (lookups) or once through (a batch)
  first_ = table_.findfield("FirstName");
  last_ = table_.findfield("LastName");
  email_ = table_.findfield("Email");
  zip_ = table_.findfield("Zip");
  db_ = table_.findfield("DB");
  recno_ = table_.findfield("Recno");
  for (const char* phone : {"Phone1", "Phone2", "Phone3", "Phone4", "Fax"})
    if (const int p = table_.findfield(phone); p >= 0) phones_.push_back(p);
}

bool DuplicateFinder::Facts::same(const Facts& o) const {
  if (person.empty() || person != o.person) return false;
  if (!email.empty() && email == o.email) return true;
  if (!zip.empty() && zip == o.zip) return true;
  for (const std::string& p : phones)
    for (const std::string& q : o.phones)
      if (p == q) return true;
  return false;
}

void DuplicateFinder::Facts::pairs(std::vector<std::uint64_t>& out) const {
  out.clear();
  if (person.empty()) return;
  const std::uint64_t who = personhash(person);
  if (!email.empty()) out.push_back(pairhash(who, 'e', email));
  if (!zip.empty()) out.push_back(pairhash(who, 'z', zip));
  for (const std::string& p : phones) out.push_back(pairhash(who, 'p', p));
}

DuplicateFinder::Facts DuplicateFinder::factsfrom(const std::function<std::string_view(int)>& text) const {
  Facts f;
  const std::string first(text(first_));
  f.person = personkey(first, text(last_));
  f.email = emailkey(text(email_));
  f.zip = postalkey(text(zip_));
  for (int p : phones_)
    if (std::string k = phonekey(text(p)); !k.empty()) f.phones.push_back(std::move(k));
  return f;
}

// Whether the contact `cells` holds (a whole row) is of the database and the
// same person as the row checked; `match` then describes it.
bool DuplicateFinder::samecontact(const std::vector<Cell>& cells, DuplicateMatch& match) {
  std::string scratch;
  const auto text = [&](int p) -> std::string_view {
    return p >= 0 ? celltextview(table_.fielddef(p), cells[static_cast<std::size_t>(p)], scratch) : "";
  };
  if (db_ >= 0 && text(db_) != database_) return false;
  if (!checked_.same(factsfrom(text))) return false;
  match.fields.clear();
  for (int p = 0; p < table_.fieldcount(); ++p) {
    const Cell& c = cells[static_cast<std::size_t>(p)];
    if (c.kind == Cell::Null) continue;
    match.fields.emplace_back(table_.fieldname(p), celltext(table_.fielddef(p), c));
  }
  match.key = std::string(text(recno_));
  return true;
}

bool DuplicateFinder::find(const RowBuilder& row, DuplicateMatch& match) {
  if (last_ < 0) return false;
  std::string scratch;
  const auto text = [&](int p) -> std::string_view { return p >= 0 ? row.textview(p, scratch) : ""; };
  checked_ = factsfrom(text);
  checked_.key = std::string(text(recno_));
  checked_.pairs(pairs_);
  if (pairs_.empty()) return false;
  // A row this run stored.
  for (std::uint64_t pair : pairs_)
    if (const long long r = stored_.find(pair); r >= 0) {
      match.key = storedkeys_.at(static_cast<std::size_t>(r));
      match.fields.clear();
      return true;
    }
  if (!read_ && rowsread_ >= readafter_) readtable();
  return read_ ? findknown(match) : findlookedup(row, match);
}

// A contact of the database in the table: found by its last and first
// names, or by its e-mail address (which finds a name stored with an accent
// the new one lacks).
bool DuplicateFinder::findlookedup(const RowBuilder& row, DuplicateMatch& match) {
  std::string scratch;
  std::vector<FoldedKey> names{lookupforms(last_, row.textview(last_, scratch))};
  if (first_ >= 0) names.push_back(lookupforms(first_, row.textview(first_, scratch)));
  table_.rowswithfolded(names, found_);
  if (email_ >= 0 && !checked_.email.empty()) {
    table_.rowswithfolded({{email_, {foldedtext(checked_.email)}}}, byemail_);
    for (std::vector<Cell>& cells : byemail_) found_.push_back(std::move(cells));
  }
  rowsread_ += static_cast<long long>(found_.size());
  if (choose_ && rowsread_ >= readafter_) {
    readafter_ = std::max(readafter_, table_.recordcount() / 16);
    choose_ = false;
  }
  for (const std::vector<Cell>& cells : found_)
    if (samecontact(cells, match)) return true;
  return false;
}

// A contact read with the table that has a pair of the record's; read
// again for its fields where they are shown.
bool DuplicateFinder::findknown(DuplicateMatch& match) {
  for (std::uint64_t pair : pairs_)
    if (known_.find(pair, [&](std::uint32_t contact) {
          if (fields_) {
            table_.readrow(knownids_[contact], cells_);
            return samecontact(cells_, match);
          }
          match.key = knownkeys_.at(contact);
          match.fields.clear();
          return true;
        }))
      return true;
  return false;
}

void DuplicateFinder::readtable() {
  std::vector<int> fields{first_, last_, db_, email_, zip_, recno_};
  fields.insert(fields.end(), phones_.begin(), phones_.end());
  fields.erase(std::remove(fields.begin(), fields.end(), -1), fields.end());
  std::vector<int> at(static_cast<std::size_t>(table_.fieldcount()), -1);
  for (std::size_t i = 0; i < fields.size(); ++i) at[static_cast<std::size_t>(fields[i])] = static_cast<int>(i);
  // Room for as many pairs and keys as contacts usually have, reserved but
  // touched only as filled: growing by copies would need twice the memory
  // for a moment.  A very large table's room is bounded, and grows past it.
  const auto contacts = std::min(static_cast<std::size_t>(std::max(0LL, table_.recordcount())), std::size_t{1} << 25);
  known_.reserve(contacts * 4);
  knownkeys_.reserve(contacts, contacts * 16);
  if (fields_) knownids_.reserve(contacts);
  std::vector<std::uint64_t> pairs;
  std::string scratch;
  const bool scanned = table_.scanfields(fields, fields_, [&](long long id, const std::vector<Cell>& cells) {
    const auto text = [&](int p) -> std::string_view {
      if (p < 0) return "";
      const Cell& c = cells[static_cast<std::size_t>(at[static_cast<std::size_t>(p)])];
      return celltextview(table_.fielddef(p), c, scratch);
    };
    if (db_ >= 0 && text(db_) != database_) return;
    factsfrom(text).pairs(pairs);
    if (pairs.empty()) return;
    for (std::uint64_t pair : pairs) known_.add(pair, static_cast<std::uint32_t>(knownkeys_.size()));
    if (fields_) knownids_.push_back(id);  // read again only for fields shown
    knownkeys_.add(text(recno_));
  });
  if (!scanned) {
    readafter_ = kNever;
    return;
  }
  known_.seal();
  read_ = true;
}

void DuplicateFinder::rememberchecked() {
  if (pairs_.empty()) return;
  const auto row = static_cast<std::uint32_t>(storedkeys_.size());
  storedkeys_.add(checked_.key);
  for (std::uint64_t pair : pairs_) stored_.add(pair, row);
  pairs_.clear();
}

}  // namespace vesper
