// Combined-field expansion: a source value assigned to a combined field is
// split with the name and address parsers and its pieces written into the
// pending row through the derived-field setter (which leaves a directly
// assigned field alone) or the field appender.  A code that names no combined
// field ("x1notused" among them) writes nothing.
#include "engine/transfer.h"
#include "parse/address.h"
#include "parse/names.h"
#include "parse/text.h"

namespace vesper {

void RecordTransfer::expandcombined(const std::string& code, std::string_view v) {
  // Mixed case only makes a copy when the box is ticked; the setter drops the
  // leading blanks of what it writes.
  auto mc = [this](std::string_view s) { return mixed ? mixedcase(true, s) : std::string(s); };
  if (code == "x2firstlast" || code == "x3lastfirst") {
    NameParts p = code == "x2firstlast" ? splitfirstlast(v) : splitlastfirst(v);
    std::string first = trimleft(p.First);
    setderived(dSalut, mc(trimleft(p.Prefix)));
    setderived(dFirstName, mc(first + " " + trimleft(p.Middle)));
    setderived(dDear, mc(first));
    setderived(dLastName, mc(trimleft(p.Last)));
    setderived(dHonor, p.Suffix);
  } else if (code == "x4citystate") {
    CityStateZip c = splitcitystate(v);
    setderived(dCity, mc(c.City));
    setderived(dState, mc(c.State));
  } else if (code == "x5citystatezip") {
    CityStateZip c = splitcitystatezip(v);
    setderived(dCity, mc(c.City));
    setderived(dState, c.State);
    setderived(dZip, c.Zip);
  } else if (code == "x6middleinitial") {
    appendfield("FirstName", " " + trimleft(v));
  } else if (code == "x7zipsuffix") {
    appendfield("Zip", " " + trimleft(v));
  } else if (code == "x8addr1&2") {
    AddressLines a = splitaddress(v, 40);
    setderived(dAddr1, mc(a.First));
    setderived(dAddr2, mc(a.Second));
  }
}

}  // namespace vesper
