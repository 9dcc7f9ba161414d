// Real contact exports of mail programs, address books and a business
// network, each with the assignment a person would make from its header
// line and first values: what the proposal is checked against, and what the
// end-to-end imports assign by hand.
#pragma once

#include <filesystem>
#include <iterator>
#include <map>
#include <sstream>
#include <string>

#include "support/corpora.h"

namespace vesper::testing {

// "Column=Target; Column=Date1/2" as a map from column to target (with "/code"
// for a date layout).
inline std::map<std::string, std::string> expectations(const std::string& text) {
  std::map<std::string, std::string> out;
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ';')) {
    item = item.substr(item.find_first_not_of(' '));
    auto eq = item.rfind('=');
    out[item.substr(0, eq)] = item.substr(eq + 1);
  }
  return out;
}

enum Where { kKept, kRoundcube };

struct ExportCase {
  const char* file;
  Where where;
  int headerline;          // from 1
  const char* assigned;    // every other column is not used
};

// Real exports of mail programs, address books and a business network, each
// with the assignment a person would make from its header and first values.
inline const ExportCase kExports[] = {
    {"gmail-2007-sections-horde.csv", kKept, 1,
      "Name=x2firstlast; E-mail=Email; Notes=Memo; Section 1 - Phone=Phone1; "
      "Section 1 - Mobile=Phone2; Section 1 - Pager=Phone3; Section 1 - Fax=Fax; "
      "Section 1 - Company=Company; Section 1 - Title=Salut; "
      "Section 1 - Address=x8addr1&2"},
    {"kaddressbook-kmail-horde.csv", kKept, 1,
      "Family Name=LastName; Given Name=FirstName; Additional Names=x6middleinitial; "
      "Honorific Prefixes=Salut; Honorific Suffixes=Honor; Birthday=Date1/2; "
      "Business Address Street=x8addr1&2; Business Address Locality=City; "
      "Business Address Region=State; Business Address Postal Code=Zip; "
      "Business Address Country=Country; Home Phone=Phone3; Business Phone=Phone1; "
      "Mobile Phone=Phone2; Business Fax=Fax; Pager=Phone4; Email Address=Email; "
      "Role=Title; Organization=Company; Note=Memo; Assistant's Name=Assistant; "
      "Anniversary=Date2/2; URL=User3"},
    {"linkedin-connections-preamble.csv", kKept, 4,
      "First Name=FirstName; Last Name=LastName; Email Address=Email; Company=Company; "
      "Position=Title; URL=User3"},
    {"outlook-bug6311-notes-horde.csv", kKept, 1,
      "Title=Salut; First Name=FirstName; Middle Name=x6middleinitial; Last Name=LastName; "
      "Suffix=Honor; Company=Company; Job Title=Title; Business Street=Addr1; "
      "Business Street 2=Addr2; Business City=City; Business State=State; "
      "Business Postal Code=Zip; Business Country/Region=Country; Business Fax=Fax; "
      "Business Phone=Phone1; Company Main Phone=Phone4; Home Phone=Phone3; "
      "Mobile Phone=Phone2; Anniversary=Date2/3; Assistant's Name=Assistant; "
      "Birthday=Date1/3; E-mail Address=Email; Notes=Memo; Referred By=User2; "
      "Spouse=User1; Web Page=User3"},
    {"outlook-bug6370-quotes-horde.csv", kKept, 1,
      "Title=Salut; First Name=FirstName; Middle Name=x6middleinitial; Last Name=LastName; "
      "Suffix=Honor; Company=Company; Job Title=Title; Business Street=Addr1; "
      "Business Street 2=Addr2; Business City=City; Business State=State; "
      "Business Postal Code=Zip; Business Country/Region=Country; Business Fax=Fax; "
      "Business Phone=Phone1; Company Main Phone=Phone4; Home Phone=Phone3; "
      "Mobile Phone=Phone2; Anniversary=Date2/3; Assistant's Name=Assistant; "
      "Birthday=Date1/3; E-mail Address=Email; Notes=Memo; Referred By=User2; "
      "Spouse=User1; Web Page=User3"},
    {"outlook-bug6372-address-horde.csv", kKept, 1,
      "Title=Salut; First Name=FirstName; Middle Name=x6middleinitial; Last Name=LastName; "
      "Suffix=Honor; Company=Company; Job Title=Title; Business Street=Addr1; "
      "Business Street 2=Addr2; Business City=City; Business State=State; "
      "Business Postal Code=Zip; Business Country/Region=Country; Business Fax=Fax; "
      "Business Phone=Phone1; Company Main Phone=Phone4; Home Phone=Phone3; "
      "Mobile Phone=Phone2; Anniversary=Date2/3; Assistant's Name=Assistant; "
      "Birthday=Date1/3; E-mail Address=Email; Notes=Memo; Referred By=User2; "
      "Spouse=User1; Web Page=User3"},
    {"outlook-en-multiline-horde.csv", kKept, 1,
      "Title=Salut; First Name=FirstName; Middle Name=x6middleinitial; Last Name=LastName; "
      "Suffix=Honor; Company=Company; Job Title=Title; Business Street=Addr1; "
      "Business Street 2=Addr2; Business City=City; Business State=State; "
      "Business Postal Code=Zip; Business Country=Country; Business Fax=Fax; "
      "Company Main Phone=Phone3; Home Phone=Phone2; Mobile Phone=Phone1; Pager=Phone4; "
      "Anniversary=Date2/2; Assistant's Name=Assistant; Birthday=Date1/2; "
      "E-mail Address=Email; Notes=Memo; Referred By=User2; Spouse=User1; Web Page=User3"},
    {"thunderbird-export-quoting.csv", kKept, 1,
      "First Name=FirstName; Last Name=LastName; Primary Email=Email; Work Phone=Phone1; "
      "Home Phone=Phone3; Fax Number=Fax; Pager Number=Phone4; Mobile Number=Phone2; "
      "Work Address=Addr1; Work Address 2=Addr2; Work City=City; Work State=State; "
      "Work ZipCode=Zip; Work Country=Country; Job Title=Title; Organization=Company; "
      "Notes=Memo; Web Page 1=User3"},
    {"thunderbird-export-tab.csv", kKept, 1,
      "First Name=FirstName; Last Name=LastName; Primary Email=Email; Work Phone=Phone1; "
      "Home Phone=Phone3; Fax Number=Fax; Pager Number=Phone4; Mobile Number=Phone2; "
      "Work Address=Addr1; Work Address 2=Addr2; Work City=City; Work State=State; "
      "Work ZipCode=Zip; Work Country=Country; Job Title=Title; Organization=Company; "
      "Notes=Memo; Web Page 1=User3"},
    {"thunderbird-shiftjis.csv", kKept, 1,
      "First Name=FirstName; Last Name=LastName; Primary Email=Email; Work Phone=Phone1; "
      "Home Phone=Phone3; Fax Number=Fax; Pager Number=Phone4; Mobile Number=Phone2; "
      "Work Address=Addr1; Work Address 2=Addr2; Work City=City; Work State=State; "
      "Work ZipCode=Zip; Work Country=Country; Job Title=Title; Organization=Company; "
      "Notes=Memo; Web Page 1=User3"},
    {"thunderbird-utf16le-bom.csv", kKept, 1,
      "First Name=FirstName; Last Name=LastName; Primary Email=Email; Work Phone=Phone1; "
      "Home Phone=Phone3; Fax Number=Fax; Pager Number=Phone4; Mobile Number=Phone2; "
      "Work Address=Addr1; Work Address 2=Addr2; Work City=City; Work State=State; "
      "Work ZipCode=Zip; Work Country=Country; Job Title=Title; Organization=Company; "
      "Notes=Memo; Web Page 1=User3"},
    {"windowsaddressbook-horde.csv", kKept, 1,
      "First Name=FirstName; Last Name=LastName; Middle Name=x6middleinitial; "
      "E-mail Address=Email; Home Phone=Phone3; Mobile Phone=Phone2; "
      "Business Street=x8addr1&2; Business City=City; Business Postal Code=Zip; "
      "Business State=State; Business Country/Region=Country; Business Phone=Phone1; "
      "Business Fax=Fax; Pager=Phone4; Company=Company; Job Title=Title; Notes=Memo"},
    {"windowsaddressbook-selectable-horde.csv", kKept, 1,
      "First Name=FirstName; Last Name=LastName; E-mail Address=Email; Home Phone=Phone3; "
      "Mobile Phone=Phone2; Business Street=x8addr1&2; Business City=City; "
      "Business Postal Code=Zip; Business State=State; Business Country/Region=Country; "
      "Business Phone=Phone1; Business Fax=Fax; Pager=Phone4; Company=Company; "
      "Job Title=Title; Notes=Memo"},
    {"yahoo-multiline-horde.csv", kKept, 1,
      "First=FirstName; Middle=x6middleinitial; Last=LastName; Email=Email; Home=Phone3; "
      "Work=Phone1; Pager=Phone4; Fax=Fax; Mobile=Phone2; Title=Title; Company=Company; "
      "Work Address=x8addr1&2; Work City=City; Work County=State; Work Post Code=Zip; "
      "Work Country=Country; Birthday=Date1/2; Anniversary=Date2/2; Comments=Memo; Personal Website=User3"},
    {"all.csv", kRoundcube, 1,
      "Title=Salut; First Name=FirstName; Middle Name=x6middleinitial; Last Name=LastName; "
      "Suffix=Honor; Company=Company; Job Title=Title; Email Home=Email; "
      "Home Phone=Phone3; Business Phone=Phone1; Home Mobile=Phone2; Primary Phone=Phone4; "
      "Business Fax=Fax; Business Street=x8addr1&2; Work City=City; Work State=State; "
      "Work Zip=Zip; Work Country=Country; Birthday=Date1/6; Anniversary=Date2/6; "
      "Assistant's Name=Assistant; Spouse=User1; Notes=Memo"},
    {"email.csv", kRoundcube, 1,
      "Primary Email=Email"},
    {"gmail.csv", kRoundcube, 1,
      "Given Name=FirstName; Additional Name=x6middleinitial; Family Name=LastName; "
      "Name Prefix=Salut; Name Suffix=Honor; Birthday=Date1/2; Notes=Memo; "
      "E-mail 1 - Value=Email; Phone 2 - Value=Phone4; Phone 3 - Value=Phone3; "
      "Phone 5 - Value=Phone2; Phone 6 - Value=Phone1; Phone 7 - Value=Fax; "
      "Address 2 - Street=Addr1; Address 2 - City=City; Address 2 - Region=State; "
      "Address 2 - Postal Code=Zip; Address 2 - Country=Country; "
      "Address 2 - Extended Address=Addr2; Organization 1 - Name=Company; "
      "Organization 1 - Title=Title"},
    {"outlook.csv", kRoundcube, 1,
      "E-mail Address=Email"},
    {"tb_plain.csv", kRoundcube, 1,
      "First Name=FirstName; Last Name=LastName; Primary Email=Email; Work Phone=Phone1; "
      "Home Phone=Phone3; Fax Number=Fax; Pager Number=Phone4; Mobile Number=Phone2; "
      "Work Address=Addr1; Work Address 2=Addr2; Work City=City; Work State=State; "
      "Work ZipCode=Zip; Work Country=Country; Job Title=Title; Organization=Company; "
      "Notes=Memo; Web Page 1=User3"},

};

inline std::string pathOf(const ExportCase& c) {
  const std::string kept = std::string(VESPER_SOURCE_DIR) + "/tests/data/exports/" + c.file;
  switch (c.where) {
    case kKept: return kept;
    default: return corpora(std::string("csv/roundcube-contact-exports/") + c.file);
  }
}

// The case of `file`, or nullptr.
inline const ExportCase* exportcase(const std::string& file) {
  for (const ExportCase& c : kExports)
    if (file == c.file) return &c;
  return nullptr;
}

}  // namespace vesper::testing
