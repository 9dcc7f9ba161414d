#include "engine/duplicates.h"

#include <functional>

#include "parse/casemap.h"
#include "parse/personkey.h"
#include "parse/text.h"

namespace vesper {

namespace {

std::uint64_t hashof(const std::string& s) { return s.empty() ? 0 : std::hash<std::string>()(s); }

// The forms the table's lookup by folded last name is asked for: the name as
// it will be stored, and as folded here (accents stripped), each lower-cased
// in ASCII and without blanks as the lookup folds the stored names.
std::vector<std::string> lookupforms(std::string_view lastname) {
  auto asciifold = [](std::string_view s) {
    std::string out;
    for (char c : s)
      if (c != ' ') out += lowerchar(c);
    return out;
  };
  std::vector<std::string> forms{asciifold(lastname)};
  // Its lower case beyond ASCII, and without accents.
  std::string lower(mixedcaseroom(lastname.size()) + 1, '\0');
  char* end = mixedcaseutf8(lastname.data(), lastname.data() + lastname.size(), lower.data(), false, true);
  lower.resize(static_cast<std::size_t>(end - lower.data()));
  for (std::string form : {asciifold(lower), foldedname(lastname)})
    if (!form.empty() && form != forms.front() && (forms.size() < 2 || form != forms[1])) forms.push_back(form);
  if (forms.front().empty()) forms.erase(forms.begin());
  return forms;
}

}  // namespace

DuplicateFinder::DuplicateFinder(const DataPlace& place, std::string database) : database_(std::move(database)) {
  place.open(table_, "CONTACT.DB");
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

DuplicateFinder::Facts DuplicateFinder::factsof(const RowBuilder& row) const {
  std::string scratch;
  return factsfrom([&](int p) { return p >= 0 ? std::string(row.textview(p, scratch)) : std::string(); });
}

DuplicateFinder::Facts DuplicateFinder::factsof(const std::vector<Cell>& cells) const {
  return factsfrom(
      [&](int p) { return p >= 0 ? celltext(table_.fielddef(p), cells[static_cast<std::size_t>(p)]) : ""; });
}

DuplicateFinder::Facts DuplicateFinder::factsfrom(const std::function<std::string(int)>& text) const {
  Facts f;
  f.person = personkey(text(first_), text(last_));
  f.email = emailkey(text(email_));
  f.zip = postalkey(text(zip_));
  for (int p : phones_)
    if (std::string k = phonekey(text(p)); !k.empty()) f.phones.push_back(std::move(k));
  return f;
}

bool DuplicateFinder::find(const RowBuilder& row, DuplicateMatch& match) {
  if (last_ < 0) return false;
  checked_ = factsof(row);
  std::string scratch;
  checked_.key = recno_ >= 0 ? std::string(row.textview(recno_, scratch)) : std::string();
  const Facts& mine = checked_;
  if (mine.person.empty()) return false;
  // A row this run stored.
  const std::uint64_t email = hashof(mine.email), zip = hashof(mine.zip);
  std::vector<std::uint64_t> phones;
  for (const std::string& p : mine.phones) phones.push_back(hashof(p));
  auto [from, to] = stored_.equal_range(hashof(mine.person));
  for (auto it = from; it != to; ++it) {
    const Remembered& r = it->second;
    bool same = (email && r.email == email) || (zip && r.zip == zip);
    for (std::uint64_t p : phones)
      for (std::uint64_t q : r.phones) same = same || (q && q == p);
    if (!same) continue;
    match.key = r.key;
    match.fields.clear();
    return true;
  }
  // A contact of the database in the table: found by its last name, or by
  // its e-mail address (which finds a name stored with an accent the new one
  // lacks).
  table_.rowswithfolded(last_, lookupforms(row.textview(last_, scratch)), found_);
  if (email_ >= 0 && !mine.email.empty()) {
    table_.rowswithfolded(email_, {mine.email}, byemail_);
    for (std::vector<Cell>& cells : byemail_) found_.push_back(std::move(cells));
  }
  for (const std::vector<Cell>& cells : found_) {
    if (db_ >= 0 && celltext(table_.fielddef(db_), cells[static_cast<std::size_t>(db_)]) != database_) continue;
    if (!mine.same(factsof(cells))) continue;
    match.fields.clear();
    for (int p = 0; p < table_.fieldcount(); ++p) {
      const Cell& c = cells[static_cast<std::size_t>(p)];
      if (c.kind == Cell::Null) continue;
      match.fields.emplace_back(table_.fieldname(p), celltext(table_.fielddef(p), c));
    }
    match.key = recno_ >= 0 ? celltext(table_.fielddef(recno_), cells[static_cast<std::size_t>(recno_)]) : "";
    return true;
  }
  return false;
}

void DuplicateFinder::rememberchecked() {
  const Facts& f = checked_;
  if (f.person.empty()) return;
  Remembered r{hashof(f.person), hashof(f.email), hashof(f.zip), {}, f.key};
  for (std::size_t i = 0; i < f.phones.size() && i < 5; ++i) r.phones[i] = hashof(f.phones[i]);
  stored_.emplace(r.person, std::move(r));
  checked_.person.clear();
}

}  // namespace vesper
