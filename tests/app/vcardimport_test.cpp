// Real vCard exports imported by the batch command with the assignment it
// proposes from the cards' field names: the contacts each file leaves.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "store/table.h"
#include "support/batchcommand.h"
#include "support/contactrows.h"
#include "support/corpora.h"

namespace vesper {
namespace {

namespace fs = std::filesystem;

struct VCardImportTest : testing::BatchCommandTest {
  VCardImportTest() : BatchCommandTest("vcardimport") {}
  // "FirstName|LastName|Email|Phone1|City" of every contact.
  std::multiset<std::string> contacts() {
    return testing::contactrows(dir / "data", {"FirstName", "LastName", "Email", "Phone1", "City"});
  }
};

TEST_F(VCardImportTest, RealExportsGiveTheirContacts) {
  struct Case {
    const char* file;
    std::multiset<std::string> want;
  };
  const Case cases[] = {
      {"all.vcf", {"First Name Middle Name|Last Name|home@example.com|300|Work City"}},
      {"gmail.vcf", {"Firstname Middle|Lastname|home@aaa.pl|workphone|work_city"}},
      {"tb_plain.vcf", {"Firstname|Lastname|test@domain.tld|phone work|Wcity"}},
      {"email.vcf",
       {"||test1@domain.tld||", "||test2@domain.tld||", "||test3@domain.tld||", "||test4@domain.tld||"}},
      {"outlook.vcf", {"||test1@domain.tld||"}},
  };
  int read = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string path = testing::corpora(std::string("csv/roundcube-contact-exports/") + c.file);
    if (!fs::exists(path)) {
      if (testing::corporarequired()) ADD_FAILURE() << path << " is missing";
      continue;
    }
    ++read;
    fs::remove_all(dir / "data");
    ASSERT_EQ(run("--create-data-folder data").code, 0);
    testing::CommandResult r = run("--database MAIN --auto-assign --spec cards.imp " + path);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(contacts(), c.want);
    fs::remove(dir / "cards.imp");
  }
  if (read < static_cast<int>(std::size(cases)))
    std::printf("%d of %zu vCard exports read; the others are in the corpora folder %s\n", read,
                std::size(cases), testing::corporafolder().c_str());
}

// An address book whose cards hold different kinds of address: each contact
// gets its own card's address (work, else home, else other), whatever the
// other cards hold.
TEST_F(VCardImportTest, EachCardGivesItsOwnAddress) {
  struct Card {
    const char* name;
    std::string addresses;  // the card's ADR lines
    const char* want;       // Addr1|Addr2|City|State|Zip|Country
  };
  const Card cards[] = {
      {"Work", "ADR;TYPE=work:;;1 Mill Rd;Leeds;;LS1 4AP;United Kingdom\r\n", "1 Mill Rd||Leeds||LS1 4AP|United Kingdom"},
      {"Home", "ADR;TYPE=home:;;2 Elm St;Springfield;IL;62701;USA\r\n", "2 Elm St||Springfield|IL|62701|USA"},
      {"Both",
       "ADR;TYPE=home:;;3 Oak Ave;Austin;TX;73301;USA\r\nADR;TYPE=work:;Suite 4;5 Main St;Dallas;TX;75201;USA\r\n",
       "5 Main St|Suite 4|Dallas|TX|75201|USA"},
      {"None", "", "|||||"},
      {"Other", "ADR:;;6 Pine Ln;Boise;ID;83702;USA\r\n", "6 Pine Ln||Boise|ID|83702|USA"},
  };
  std::string file;
  std::multiset<std::string> want;
  for (const Card& c : cards) {
    file += "BEGIN:VCARD\r\nVERSION:3.0\r\nN:" + std::string(c.name) + ";Pat;;;\r\nFN:Pat " + c.name + "\r\n" +
            c.addresses + "END:VCARD\r\n";
    want.insert(std::string(c.name) + "|" + c.want);
  }
  std::ofstream(dir / "book.vcf", std::ios::binary) << file;
  ASSERT_EQ(run("--create-data-folder data").code, 0);
  testing::CommandResult r = run("--database MAIN --auto-assign --spec book.imp book.vcf");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(testing::contactrows(dir / "data", {"LastName", "Addr1", "Addr2", "City", "State", "Zip", "Country"}),
            want);
}

// A specification made for a shorter list of the cards' fields (saved before
// fields were added at the list's end) still imports the cards.
TEST_F(VCardImportTest, ASpecificationOfFewerFieldsStillFits) {
  std::ofstream(dir / "one.vcf", std::ios::binary) << "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Ann;;;\r\nEND:VCARD\r\n";
  std::string spec = "4\r\n\r\nLastName\r\nFirstName\r\n";  // fields 2 and 3, none after them
  for (int i = 4; i <= 210; ++i) spec += "\r\n";
  for (int i = 0; i <= 210; ++i) spec += "0\r\n";
  std::ofstream(dir / "short.imp", std::ios::binary) << spec;
  ASSERT_EQ(run("--create-data-folder data").code, 0);
  testing::CommandResult r = run("--database MAIN --spec short.imp one.vcf");
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(testing::contactrows(dir / "data", {"FirstName", "LastName"}), std::multiset<std::string>{"Ann|Lee"});
}

}  // namespace
}  // namespace vesper
