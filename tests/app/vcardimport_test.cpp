// Real vCard exports imported by the batch command with the assignment it
// proposes from the cards' field names: the contacts each file leaves.
#include <gtest/gtest.h>

#include <filesystem>
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

}  // namespace
}  // namespace vesper
