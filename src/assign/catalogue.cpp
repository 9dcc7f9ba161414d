#include "assign/catalogue.h"

#include "parse/text.h"

namespace vesper {

namespace {
const std::array<CombinedField, 8> kCombined = {{
    {Combined::NotUsed, 1, "x1notused", "(Not used)", ""},
    {Combined::FirstLast, 2, "x2firstlast", "(First & Last)", "FirstName"},
    {Combined::LastFirst, 3, "x3lastfirst", "(Last & First)", "FirstName"},
    {Combined::CityState, 4, "x4citystate", "(City & State)", "Zip"},
    {Combined::CityStateZip, 5, "x5citystatezip", "(City, State & Zip)", "Zip"},
    {Combined::MiddleInitial, 6, "x6middleinitial", "(Middle Initial)", "FirstName"},
    {Combined::ZipSuffix, 7, "x7zipsuffix", "(Zip Suffix)", "Zip"},
    {Combined::Addr1And2, 8, "x8addr1&2", "(Address 1 & 2)", "Addr2"},
}};

// The combined entries listed after each anchor field, in their order.
struct AnchorList { const char* anchor; std::array<int, 3> digits; int count; };
const AnchorList kAnchors[] = {
    {"FirstName", {6, 2, 3}, 3},
    {"Zip", {7, 4, 5}, 3},
    {"Addr2", {8, 0, 0}, 1},
};

const char* const kSystemFields[] = {
    "DB", "Recno", "MailAddr", "SecondAddr", "Marked", "DateAdded", "TimeAdded",
    "DateChanged", "TimeChanged", "Category", "LastLetterName", "LastLetterNo",
};

// Labels that the settings table gives, and the fixed ones.
struct Override { const char* field; const char* settings; const char* fixed; };
const Override kOverrides[] = {
    {"Zip", "LblZip", nullptr},         {"State", "LblState", nullptr},
    {"City", "LblCity", nullptr},       {"Country", "LblCountry", nullptr},
    {"Assistant", "LblAssistant", nullptr},
    {"Memo", nullptr, "Description"},   {"customid", nullptr, "Contacts"},
    {"eventdatetime", nullptr, "Date/Time"},
};

const std::string kFieldGap(37, ' ');
const std::string kCombinedGap(30, ' ');

CatalogueEntry combinedentry(int digit) {
  const CombinedField& c = kCombined[digit - 1];
  std::string text = std::string(c.label) + (digit == 1 ? kFieldGap : kCombinedGap) + c.code;
  return {text, c.code};
}
}  // namespace

const std::array<CombinedField, 8>& combinedfields() { return kCombined; }

Combined combinedof(std::string_view entry) {
  for (const CombinedField& c : kCombined)
    if (entry == c.code) return c.field;
  return Combined::None;
}

std::string codelabel(std::string_view code) {
  if (code.size() < 2 || code[1] < '1' || code[1] > '8') return {};
  return kCombined[code[1] - '1'].label;
}

bool issystemfield(std::string_view name) {
  for (const char* s : kSystemFields)
    if (name == s) return true;
  return false;
}

bool isrenamablefield(std::string_view name) {
  if (name == "Category") return true;
  struct Range { const char* stem; int last; };
  static const Range ranges[] = {{"User", 10}, {"Date", 10}, {"Num", 5}, {"Money", 5}};
  for (const auto& r : ranges) {
    std::string_view stem = r.stem;
    if (name.substr(0, stem.size()) != stem) continue;
    for (int i = 1; i <= r.last; ++i)
      if (name.substr(stem.size()) == std::to_string(i)) return true;
  }
  return false;
}

void RowValues::set(const std::string& field, const std::string& value) {
  values_[uppertext(field)] = value;
}

std::optional<std::string> RowValues::get(std::string_view field) const {
  auto it = values_.find(uppertext(field));
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

std::string fieldlabel(std::string_view name, const CatalogueLabels& labels) {
  std::string label(name);
  if (isrenamablefield(name)) {
    if (auto v = labels.database.get(name)) {
      std::string text = cuttext(*v, 40);
      if (!trimright(text).empty()) label = text;
    }
  }
  for (const auto& o : kOverrides) {
    if (name != o.field) continue;
    if (o.fixed) return o.fixed;
    return trimright(labels.settings.get(o.settings).value_or(""));
  }
  return label;
}

std::vector<CatalogueEntry> loadfieldlist(const std::vector<FieldDef>& fields,
                                          const std::array<int, 211>& marks,
                                          const CatalogueLabels& labels) {
  std::vector<CatalogueEntry> list;
  list.push_back(combinedentry(1));
  for (std::size_t pos = 0; pos < fields.size() && pos < 202; ++pos) {
    std::string n = cuttext(fields[pos].name, 30);
    int m = marks[pos];
    if ((m == 0 || n == "Memo") && !issystemfield(n))
      list.push_back({fieldlabel(n, labels) + kFieldGap + n, n});
    for (const auto& a : kAnchors) {
      if (n != a.anchor) continue;
      for (int i = 0; i < a.count; ++i)
        if (marks[200 + a.digits[i]] == 0) list.push_back(combinedentry(a.digits[i]));
    }
  }
  return list;
}

std::string entryname(std::string_view text) {
  return std::string(text.substr(lastblank(text)));
}

}  // namespace vesper
