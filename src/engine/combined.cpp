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

void RecordTransfer::expandcombined(const std::string& code, const std::string& v) {
  auto mc = [this](const std::string& s) { return mixedcase(mixed, s); };
  if (code == "x2firstlast" || code == "x3lastfirst") {
    NameParts p = code == "x2firstlast" ? splitfirstlast(v) : splitlastfirst(v);
    setderived("Salut", mc(trimleft(p.Prefix)));
    setderived("FirstName", mc(trimleft(p.First) + " " + trimleft(p.Middle)));
    setderived("Dear", mc(trimleft(p.First)));
    setderived("LastName", mc(trimleft(p.Last)));
    setderived("Honor", trimleft(p.Suffix));
  } else if (code == "x4citystate") {
    CityStateZip c = splitcitystate(v);
    setderived("City", mc(c.City));
    setderived("State", mc(c.State));
  } else if (code == "x5citystatezip") {
    CityStateZip c = splitcitystatezip(v);
    setderived("City", mc(c.City));
    setderived("State", c.State);
    setderived("Zip", c.Zip);
  } else if (code == "x6middleinitial") {
    appendfield("FirstName", " " + trimleft(v));
  } else if (code == "x7zipsuffix") {
    appendfield("Zip", " " + trimleft(v));
  } else if (code == "x8addr1&2") {
    AddressLines a = splitaddress(v, 40);
    setderived("Addr1", mc(a.First));
    setderived("Addr2", mc(a.Second));
  }
}

}  // namespace vesper
