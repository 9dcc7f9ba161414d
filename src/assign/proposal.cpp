#include "assign/proposal.h"

#include <algorithm>
#include <set>

#include "assign/assignment.h"
#include "assign/columnnames.h"
#include "parse/text.h"

namespace vesper {

namespace {

using R = ColumnRole;

struct Column {
  ColumnMeaning meaning;
  std::string group;
  std::vector<std::string> values;  // the non-blank samples
};

bool iswritable(FieldType t) {
  switch (t) {
    case FieldType::Alpha: case FieldType::Short: case FieldType::Long: case FieldType::Word:
    case FieldType::Number: case FieldType::Money: case FieldType::Date: case FieldType::Time:
    case FieldType::Memo:
      return true;
    default:
      return false;
  }
}

// Prefixes of names, by key: a "Title" column holding these is no job title.
bool isnameprefix(const std::string& value) {
  static const std::set<std::string> prefixes = {
      "mr", "mrs", "ms", "miss", "dr", "prof", "sir", "madam", "herr", "frau", "m", "mme",
      "mlle", "sr", "sra", "srta", "sig", "sigra", "dhr", "mevr", "dott", "dra", "rev"};
  return prefixes.count(columnkey(value)) > 0;
}

class Proposer {
 public:
  Proposer(const std::vector<std::string>& names,
           const std::vector<std::vector<std::string>>& samples,
           const std::vector<FieldDef>& fields, const CatalogueLabels& labels)
      : fields_(fields), labels_(labels), out_(names.size()) {
    for (std::size_t i = 0; i < names.size(); ++i) {
      Column c{meaningofcolumn(names[i]), columngroup(names[i]), {}};
      for (const auto& record : samples)
        if (i < record.size() && !isblank(record[i])) c.values.push_back(record[i]);
      columns_.push_back(std::move(c));
    }
    for (auto& c : columns_) resolvekind(c);
    keys_.reserve(names.size());
    for (const auto& n : names) keys_.push_back(columnkey(n));
  }

  std::vector<ProposedField> run() {
    for (std::size_t i = 0; i < columns_.size(); ++i)
      if (columns_[i].meaning.role == R::Field) take(i, columns_[i].meaning.field);
    names();
    single(R::Company, "Company");
    single(R::JobTitle, "Title", true);
    address();
    phones();
    single(R::Email, "Email", true);
    for (std::size_t i = 0; i < columns_.size(); ++i)
      if (columns_[i].meaning.role == R::Notes) take(i, "Memo");
    dates(R::Birthday);
    dates(R::Anniversary);
    webpage();
    bylabel();
    for (std::size_t i = 0; i < out_.size(); ++i) {
      int pos = fieldposition(fields_, out_[i].target);
      if (pos >= 0 && fields_[pos].type == FieldType::Date)
        out_[i].dateformat = guessdateformat(columns_[i].values);
    }
    return out_;
  }

 private:
  // A column of a numbered group ("Phone 1 - Value") gets its kind from the
  // group's "Type" column.
  void resolvekind(Column& c) {
    ColumnMeaning& m = c.meaning;
    bool phone = m.role == R::Phone && m.rank == 0;
    bool address = m.place == Place::None &&
                   (m.role == R::Street || m.role == R::Street2 || m.role == R::City ||
                    m.role == R::State || m.role == R::Zip || m.role == R::Country);
    if (!phone && !address) return;
    ColumnMeaning kind;
    for (const auto& other : columns_)
      if (other.meaning.role == R::KindOf && !c.group.empty() && other.group == c.group &&
          !other.values.empty()) {
        kind = meaningofkind(other.values.front());
        break;
      }
    if (phone) {
      if (kind.role == R::Phone || kind.role == R::Fax) m = kind;
      else m.rank = 4;
    } else if (kind.role != R::Unknown) {
      m.place = kind.place;
    }
  }

  bool used(std::size_t i) const { return out_[i].target != kNotUsedCode; }

  bool offered(const std::string& name) const {
    int pos = fieldposition(fields_, name);
    return pos >= 0 && pos < 202 && !issystemfield(name) && iswritable(fields_[pos].type) &&
           (name == "Memo" || !taken_.count(name));
  }

  // Source field i to contact field `name`, when the catalogue offers it.
  bool take(std::size_t i, const std::string& name) {
    if (used(i) || !offered(name)) return false;
    taken_.insert(name);
    out_[i].target = name;
    return true;
  }

  // Source field i to a combined field that fills `parts`, when its anchor
  // field is there and none of the parts is taken.
  bool combine(std::size_t i, const char* code, const char* anchor,
               std::initializer_list<const char*> parts) {
    if (used(i) || taken_.count(code) || fieldposition(fields_, anchor) < 0) return false;
    for (const char* p : parts)
      if (taken_.count(p)) return false;
    for (const char* p : parts) taken_.insert(p);
    taken_.insert(code);
    out_[i].target = code;
    return true;
  }

  std::vector<std::size_t> withrole(R role) const {
    std::vector<std::size_t> out;
    for (std::size_t i = 0; i < columns_.size(); ++i)
      if (columns_[i].meaning.role == role && !used(i)) out.push_back(i);
    return out;
  }

  // The first column of `role` (the first with values when `filled`) to `field`.
  void single(R role, const char* field, bool filled = false) {
    auto cols = withrole(role);
    if (filled)
      std::stable_partition(cols.begin(), cols.end(),
                            [&](std::size_t i) { return !columns_[i].values.empty(); });
    for (std::size_t i : cols)
      if (take(i, field)) return;
  }

  void names() {
    bool jobtitle = !withrole(R::JobTitle).empty();
    for (auto& c : columns_) {
      if (c.meaning.role != R::PrefixOrJobTitle) continue;
      bool prefixes = !c.values.empty() &&
                      std::all_of(c.values.begin(), c.values.end(), isnameprefix);
      c.meaning.role = jobtitle || prefixes ? R::NamePrefix : R::JobTitle;
    }
    bool separate = !withrole(R::GivenName).empty() || !withrole(R::FamilyName).empty() ||
                    taken_.count("FirstName") || taken_.count("LastName");
    single(R::GivenName, "FirstName");
    single(R::FamilyName, "LastName");
    single(R::NamePrefix, "Salut");
    single(R::NameSuffix, "Honor");
    if (taken_.count("FirstName"))
      for (std::size_t i : withrole(R::MiddleName))
        if (combine(i, "x6middleinitial", "FirstName", {})) break;
    if (!separate)
      for (std::size_t i : withrole(R::FullName))
        if (combine(i, "x2firstlast", "FirstName", {"FirstName", "LastName"})) break;
  }

  bool isaddress(const Column& c) const {
    R r = c.meaning.role;
    return r == R::Street || r == R::Street2 || r == R::City || r == R::State || r == R::Zip ||
           r == R::Country;
  }

  // One address set: the mailing one with values (each record's own choice
  // of its addresses), else business, else home, else one of no stated kind,
  // else the other one; without values the first of these that has columns
  // at all.
  void address() {
    const Place order[] = {Place::Mailing, Place::Business, Place::Home, Place::None, Place::Other};
    Place chosen = Place::None;
    bool found = false;
    for (bool needvalues : {true, false}) {
      for (Place p : order) {
        for (std::size_t i = 0; i < columns_.size() && !found; ++i) {
          const Column& c = columns_[i];
          if (isaddress(c) && c.meaning.place == p && !used(i) &&
              (!needvalues || !c.values.empty()))
            chosen = p, found = true;
        }
        if (found) break;
      }
      if (found) break;
    }
    if (!found) return;
    auto inplace = [&](R role) {
      std::vector<std::size_t> out;
      for (std::size_t i : withrole(role))
        if (columns_[i].meaning.place == chosen) out.push_back(i);
      return out;
    };
    for (std::size_t street : inplace(R::Street)) {
      std::size_t second = columns_.size();
      for (std::size_t j : inplace(R::Street2))
        if (columns_[j].group == columns_[street].group) second = j;
      if (second < columns_.size()) {
        if (take(street, "Addr1")) take(second, "Addr2");
      } else {
        combine(street, "x8addr1&2", "Addr2", {"Addr1", "Addr2"});
      }
      break;
    }
    const std::pair<R, const char*> parts[] = {
        {R::City, "City"}, {R::State, "State"}, {R::Zip, "Zip"}, {R::Country, "Country"}};
    for (auto [role, field] : parts)
      for (std::size_t i : inplace(role))
        if (take(i, field)) break;
  }

  void phones() {
    auto byrank = [&](std::size_t a, std::size_t b) {
      return columns_[a].meaning.rank < columns_[b].meaning.rank;
    };
    std::vector<std::string> slots;
    for (const char* f : {"Phone1", "Phone2", "Phone3", "Phone4"})
      if (offered(f)) slots.push_back(f);
    auto cols = withrole(R::Phone);
    std::stable_sort(cols.begin(), cols.end(), byrank);
    if (cols.size() > slots.size()) {
      std::stable_partition(cols.begin(), cols.end(),
                            [&](std::size_t i) { return !columns_[i].values.empty(); });
      cols.resize(slots.size());
      std::stable_sort(cols.begin(), cols.end(), byrank);
    }
    for (std::size_t k = 0; k < cols.size(); ++k) take(cols[k], slots[k]);

    auto faxes = withrole(R::Fax);
    std::stable_sort(faxes.begin(), faxes.end(), byrank);
    std::stable_partition(faxes.begin(), faxes.end(),
                          [&](std::size_t i) { return !columns_[i].values.empty(); });
    for (std::size_t i : faxes)
      if (take(i, "Fax")) break;
  }

  // A date field for a birthday or an anniversary: the one labelled so, else
  // the first free one not labelled for another date.
  void dates(R role) {
    // An export that writes the birthday as year, month and day columns
    // names the day column like a whole birthday: it holds no date.
    for (const auto& key : keys_)
      if (role == R::Birthday && key == "birthmonth") return;
    for (std::size_t i : withrole(role)) {
      std::string labelled, free;
      for (const auto& f : fields_) {
        if (f.type != FieldType::Date || !isrenamablefield(f.name) || !offered(f.name)) continue;
        R meant = meaningofcolumn(fieldlabel(f.name, labels_)).role;
        if (meant == role && labelled.empty()) labelled = f.name;
        if (meant != R::Birthday && meant != R::Anniversary && free.empty()) free = f.name;
      }
      take(i, labelled.empty() ? free : labelled);
      return;
    }
  }

  // The first web address with values to the first free field labelled for
  // one (a renamed user field); left out where the catalogue has none.
  void webpage() {
    auto cols = withrole(R::WebPage);
    if (cols.empty()) return;
    std::stable_partition(cols.begin(), cols.end(),
                          [&](std::size_t i) { return !columns_[i].values.empty(); });
    for (const auto& f : fields_)
      if (isrenamablefield(f.name) && offered(f.name) &&
          meaningofcolumn(fieldlabel(f.name, labels_)).role == R::WebPage) {
        take(cols.front(), f.name);
        return;
      }
  }

  // Columns no rule placed, named like a field's label.
  void bylabel() {
    for (std::size_t i = 0; i < columns_.size(); ++i) {
      R r = columns_[i].meaning.role;
      if (used(i) || (r != R::Known && r != R::Unknown) || keys_[i].empty()) continue;
      for (const auto& f : fields_)
        if (columnkey(fieldlabel(f.name, labels_)) == keys_[i] && take(i, f.name)) break;
    }
  }

  const std::vector<FieldDef>& fields_;
  const CatalogueLabels& labels_;
  std::vector<Column> columns_;
  std::vector<std::string> keys_;
  std::set<std::string> taken_;  // contact fields and combined codes given out
  std::vector<ProposedField> out_;
};

}  // namespace

std::vector<ProposedField> proposeassignment(const std::vector<std::string>& names,
                                             const std::vector<std::vector<std::string>>& samples,
                                             const std::vector<FieldDef>& fields,
                                             const CatalogueLabels& labels) {
  return Proposer(names, samples, fields, labels).run();
}

std::vector<std::vector<std::string>> samplerecords(SampleSource& source, int fieldcount,
                                                    int records) {
  std::vector<std::vector<std::string>> out;
  for (int r = 1; r <= records; ++r) {
    std::vector<std::string> record;
    for (int f = 1; f <= fieldcount; ++f) record.push_back(source.sample(f, r));
    out.push_back(std::move(record));
  }
  return out;
}

void applyproposal(AssignState& state, const std::vector<FieldDef>& fields,
                   const std::vector<ProposedField>& proposal) {
  const int count = std::min<int>(static_cast<int>(proposal.size()), kMaxSourceFields);
  for (int f = 1; f <= count; ++f) {
    const ProposedField& p = proposal[f - 1];
    state.FieldAssignments[f] = cuttext(p.target, kAssignmentCapacity);
    markassignedentry(state, fields, state.FieldAssignments[f]);
    int pos = fieldposition(fields, state.FieldAssignments[f]);
    if (pos < 0) continue;
    FieldType t = fields[pos].type;
    if (t == FieldType::Date || t == FieldType::Timestamp) {
      int own = SourceTraitsOf(state.SourceType).datelayout;
      state.DateFormats[f] = own ? own : (p.dateformat > 0 ? p.dateformat : 2);
    }
  }
}

}  // namespace vesper
