// Combined-field expansion: a source value assigned to a combined field is
// split with the name and address parsers and its pieces written into the
// pending row through the derived-field setter (which leaves a directly
// assigned field alone) or the field appender.  "(Not used)", and an entry
// that spells no combined field, write nothing.
#include "engine/transfer.h"
#include "parse/address.h"
#include "parse/names.h"
#include "parse/text.h"
#include "store/fieldtypes.h"

namespace vesper {

namespace {

// The lines of `v` without the blanks at their ends, empty ones left out.
template <class Each>
void eachline(std::string_view v, Each each) {
  while (!v.empty()) {
    std::size_t end = v.find_first_of("\r\n");
    std::string_view line = v.substr(0, end);
    while (!line.empty() && isleadingblank(line.front())) line.remove_prefix(1);
    while (!line.empty() && istrailingblank(line.back())) line.remove_suffix(1);
    if (!line.empty()) each(line);
    if (end == std::string_view::npos) break;
    v.remove_prefix(end + 1);
  }
}

// The lines of `v` joined by ", " into `out`; a line that ends in a comma
// already ("12th Floor,") is followed by a blank only.
void joinlines(std::string_view v, std::string& out) {
  out.clear();
  eachline(v, [&](std::string_view line) {
    if (!out.empty()) out += out.back() == ',' ? " " : ", ";
    out += line;
  });
}

}  // namespace

std::string_view RecordTransfer::fitlines(int i, std::string_view v) {
  const Slot& slot = slots_[i];
  if (slot.combined == Combined::Addr1And2) return v;
  if (slot.combined == Combined::None && slot.position >= 0 &&
      contact_.fieldtype(slot.position) == FieldType::Memo)
    return v;
  joinlines(v, lines_);
  return lines_;
}

void RecordTransfer::expandcombined(Combined code, std::string_view v) {
  // Mixed case is worked out into a buffer kept per run, and only when the
  // box is ticked; mixed case and the setter both drop the leading blanks of
  // what they are given, so the pieces need no trimming first.
  auto mc = [this](Derived which, std::string_view s) {
    if (!mixed || s.empty()) return setderived(which, s);  // an empty text cases to itself
    setderived(which, mixedcaseview(s, cased_));
  };
  // A name part without the blanks at its ends: the splitters leave one
  // behind a part now and then (the surname of "Smith, John" is "Smith "),
  // and a stored blank shows as a double blank in the mailing block's name.
  auto part = [](std::string_view s) {
    while (!s.empty() && isleadingblank(s.front())) s.remove_prefix(1);
    while (!s.empty() && istrailingblank(s.back())) s.remove_suffix(1);
    return s;
  };
  switch (code) {
  case Combined::FirstLast:
  case Combined::LastFirst: {
    NameParts p = code == Combined::FirstLast ? splitfirstlast(v) : splitlastfirst(v);
    const std::string_view first = part(p.First), middle = part(p.Middle);
    mc(kDerivedSalut, part(p.Prefix));
    joined_.assign(first);  // given names, and the initials after one blank
    if (!middle.empty()) {
      joined_ += ' ';
      joined_ += middle;
    }
    mc(kDerivedFirstName, joined_);
    mc(kDerivedDear, first);
    mc(kDerivedLastName, part(p.Last));
    setderived(kDerivedHonor, part(p.Suffix));
    break;
  }
  case Combined::CityState: {
    CityStateZip c = splitcitystate(v);
    mc(kDerivedCity, c.City);
    mc(kDerivedState, c.State);
    break;
  }
  case Combined::CityStateZip: {
    CityStateZip c = splitcitystatezip(v);
    mc(kDerivedCity, c.City);
    setderived(kDerivedState, c.State);
    setderived(kDerivedZip, c.Zip);
    break;
  }
  case Combined::MiddleInitial: appendfield("FirstName", " " + trimleft(v)); break;
  case Combined::ZipSuffix: appendfield("Zip", " " + trimleft(v)); break;
  case Combined::Addr1And2: {
    if (v.find('\n') != std::string_view::npos) {
      // Lines of their own: the first is Addr1, the rest Addr2.
      std::string_view first;
      joined_.clear();
      eachline(v, [&](std::string_view line) {
        if (first.empty()) first = line;
        else joined_ += (joined_.empty() ? "" : joined_.back() == ',' ? " " : ", ") + std::string(line);
      });
      mc(kDerivedAddr1, first);
      mc(kDerivedAddr2, joined_);
      break;
    }
    AddressLines a = splitaddress(v, 40);
    mc(kDerivedAddr1, a.First);
    mc(kDerivedAddr2, a.Second);
    break;
  }
  case Combined::NotUsed:
  case Combined::None: break;
  }
}

}  // namespace vesper
