// Combined-field expansion: a source value assigned to a combined field is
// split with the name and address parsers and its pieces written into the
// pending row through the derived-field setter (which leaves a directly
// assigned field alone) or the field appender.  "(Not used)", and an entry
// that spells no combined field, write nothing.
#include "engine/transfer.h"
#include "parse/address.h"
#include "parse/names.h"
#include "parse/text.h"

namespace vesper {

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
