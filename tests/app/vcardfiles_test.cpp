// The real vCard files kept in tests/data/vcards (phones, mail programs and
// address books), each imported by the batch command with the assignment it
// proposes from the cards' field names: the contacts a person would expect,
// and nothing in bad.csv.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <set>

#include "store/table.h"
#include "support/batchcommand.h"
#include "support/contactrows.h"

namespace vesper {
namespace {

namespace fs = std::filesystem;

// At most `n` characters of the first line of `s`.
std::string firstline(const std::string& s, std::size_t n) {
  std::string out;
  std::size_t chars = 0;
  for (char c : s) {
    if (c == '\n' || c == '\r') break;
    const bool starts = (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    if (starts && chars++ == n) break;
    out += c;
  }
  return out;
}

struct VCardFilesTest : testing::BatchCommandTest {
  VCardFilesTest() : BatchCommandTest("vcardfiles") {}
  // "FirstName|LastName|Email|Phone1|Addr1|City|memo" of every contact, in
  // any order; memo: the first 24 characters of its first line.
  std::multiset<std::string> contacts() {
    return testing::contactrows(dir / "data", {"FirstName", "LastName", "Email", "Phone1", "Addr1", "City"},
                                [](Table& t) { return firstline(t.field("Memo").astext(), 24); });
  }
};

TEST_F(VCardFilesTest, KeptFilesGiveTheContactsTheyHold) {
  struct Case {
    const char* file;
    std::multiset<std::string> want;
  };
  const Case cases[] = {
      {"android-6cards-qp.vcf",
       {
           "||john.doe@company.com||||",
           "||jane.doe@company.com||||",
           "|Ñ Ñ Ñ Ñ|||||",
           "|Ñ Ñ Ñ Ñ Ñ Ñ Ñ Ñ Ñ Ñ Ñ|||||Ñ Ñ Ñ Ñ Ñ Ñ Ñ ÑÑ Ñ Ñ Ñ Ñ",
           "Ñ Ñ Ñ|Ñ Ñ|bob@company.com|123456|||",
           "|ÑÑÑÑ|henry@company.com||||",
       }},
      {"blackberry-photo.vcf",
       {
           "john|Doe|||||",
       }},
      {"evolution-v21-qp.vcf",
       {
           "Stuart|Guthrie|sfg@eurekait.com|+61 2 9555 4022|4 Moore St||IT Consultant based in S",
       }},
      {"evolution-v3-couchdb.vcf",
       {
           "John Richter, James|Doe|john.doe@ibm.com|905-555-1234|15 Crescent moon drive|Albaney|THIS SOFTWARE IS PROVIDE",
       }},
      {"fullcontact-v4.vcf",
       {
           "FirstName MiddleName|LastName|home@example.com|555-555-1112|WorkStreet|WorkCity|Notes line 1",
       }},
      {"googlecontacts-3cards.vcf",
       {
           "Arnold|Smith|asmithk@gmail.com||||",
           "Chris|Beatle|chrisy55d@yahoo.com||||",
           "Doug|White|dwhite@gmail.com||||",
       }},
      {"googlecontacts-allfields.vcf",
       {
           "VCard|Test|email@example.com|5555551113|113 Main St|NY|note line 1",
       }},
      {"googlecontacts-johndoe.vcf",
       {
           "John Richter, James|Doe|john.doe@ibm.com||Crescent moon drive, 555-asd, Nice Area, Albaney, ||THIS SOFTWARE IS PROVIDE",
       }},
      {"horde-export21-qp-photo.vcf",
       {
           "Jan K.|Schneiderö|jan@horde.org|+49 521 555456|Hübschestr. 19|Köln|A German guy (äöü)",
       }},
      {"iphone-ios5-photo.vcf",
       {
           "John Richter,James|Doe|john.doe@ibm.com|905-777-1234|Street4, Building 6, Floor 8|New York|",
       }},
      {"kaddressbook-v4-full.vcf",
       {
           "Sherlock|Holmes|sherlock.holmes@gmail.com|+44-555-555-7777|221B Baker Street|London|",
       }},
      {"kaddressbook-writer-5cards.vcf",
       {
           "||||DDDDDDDDDDDDDDD-Staße 2, 00000 DDDDDDDDDD||This one has a funny cha",
           // These two have a home address only.
           "Broken||||AAAAAAA-AäAAAAA 11|Urt|This one's URL field is ",
           "Broken||||AAAAAAA-AäAAAAA 11|Urt|this is identical to \"We",
           "Surname|Name|||||Sprechzeiten:",
           "Second|Doctor|||DDDDDDDDDDDstraße 26, 00000 DDDDDDDDDDDDDDDDD||Sprechzeiten:",
       }},
      {"lotusnotes-photo.vcf",
       {
           "John Johny|Doe|john.doe@ibm.com||25334, South cresent drive, Building 5, 3rd floo r|New York|THIS SOFTWARE IS PROVIDE",
       }},
      {"macos-addressbook-photo.vcf",
       {
           "John Richter,James|Doe|john.doe@ibm.com|905-777-1234|Street4, Building 6, Floor 8|New York|THIS SOFTWARE IS PROVIDE",
       }},
      {"netscape-communicator-qp.vcf",
       {
           "Dimitris|Daskopoulos|dimitris@ccf.auth.gr|+30 31 998490|Biology Building, 1st Floor, (or PO Box 888)|Thessaloniki|",
       }},
      {"outlook-johndoe-v21.vcf",
       {
           "John Richter,James|Doe|john.doe@ibm.cm|(905) 555-1234|Cresent moon drive|Albaney|THIS SOFTWARE IS PROVIDE",
       }},
      {"outlook2003-qp.vcf",
       {
           "John|Doe|jdoe@hotmail.com|BusinessPhone|123 Main St|Austin|This is the note field!!",
       }},
      {"outlook2007-qp-photo.vcf",
       {
           "Michael|Angstadt|mike.angstadt@gmail.com|(111) 555-1111|222 Broadway|New York|This is the NOTE field\t",
       }},
      {"owncloud-contacts-utf8-split-fold.vcf",
       {
           "|123ㄓㄕㄖbcdeαβγδαβγδαβγδαβγδαβγδ|||||Длинный комментарий на р",
       }},
      {"palm-two-cards.vcf",
       {
           "David|Norris|kg9ae@geocities.com||4532 W 30th St.|Indianapolis|ICQ - 412039",
           "Lawrence|Sica|larry@interactivate.com|858-793-4060|2444b Carmel Valley Rd|Del Mar|",
       }},
      {"thunderbird-export-v4.vcf",
       {
           "contact|one|contact1@invalid||||",
           "contact|two|contact2@invalid||||here's some unicode text",
       }},
      {"thunderbird-mfffab-extension.vcf",
       {
           "John|Doe|doe.john@hotmail.com|555-555-1111|Suite 100|New York|This is the notes field.",
       }},
      {"thunderbird-v3-photo-jpeg.vcf",
       {
           "Binary|JPEG|||||This v3.0 card has a JPE",
       }},
      {"thunderbird-v4-photo-datauri-png.vcf",
       {
           "URI PNG version|4.0|||||This v4.0 card has a PNG",
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    fs::remove_all(dir / "data");
    fs::remove(dir / "bad.csv");
    fs::remove(dir / "cards.imp");
    ASSERT_EQ(run("--create-data-folder data").code, 0);
    const std::string path = std::string(VESPER_SOURCE_DIR) + "/tests/data/vcards/" + c.file;
    testing::CommandResult r = run("--database MAIN --auto-assign --spec cards.imp '" + path + "'");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(contacts(), c.want);
    EXPECT_TRUE(!fs::exists(dir / "bad.csv") || fs::file_size(dir / "bad.csv") == 0) << slurp(dir / "bad.csv");
  }
}

}  // namespace
}  // namespace vesper
