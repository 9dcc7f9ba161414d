#include "engine/duplicates.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "store/sampledata.h"

namespace vesper {
namespace {

namespace fs = std::filesystem;

using Values = std::vector<std::pair<const char*, std::string>>;

void setall(Table& t, const Values& values) {
  for (const auto& [field, value] : values) t.settext(t.findfield(field), value);
}

struct DuplicateFinderTest : ::testing::Test {
  fs::path dir = fs::temp_directory_path() / ("vesper-dups-" + std::to_string(::getpid()));
  void SetUp() override {
    fs::remove_all(dir);
    createsampledatafolder(dir.string());
    Table t;
    t.open(dir.string(), "CONTACT.DB");
    const Values stored[] = {
        {{"LastName", "Müller"}, {"FirstName", "José"}, {"Email", "jose@example.com"}, {"Recno", "K1"}},
        {{"LastName", "Lee"}, {"FirstName", "Ann"}, {"Phone2", "(617) 555-0100"}, {"Recno", "K2"}},
        {{"LastName", "O'Neil"}, {"FirstName", "Mary Ann"}, {"Zip", "02134"}, {"Recno", "K3"}},
        {{"LastName", "Stone"}, {"FirstName", "Bob"}, {"Zip", "90210"}, {"Recno", "K4"}, {"DB", "OTHER"}},
    };
    for (const Values& v : stored) {
      t.newrow();
      t.settext(t.findfield("DB"), "MAIN");
      setall(t, v);
      t.store();
    }
    // Many contacts of one name, told apart by their postal codes.
    for (int i = 0; i < 3000; ++i) {
      t.newrow();
      setall(t, {{"LastName", "Smith"}, {"FirstName", "James"}, {"Zip", std::to_string(10000 + i)},
                 {"DB", "MAIN"}, {"Recno", "S" + std::to_string(i)}});
      t.store();
    }
  }
  void TearDown() override { fs::remove_all(dir); }
};

// The finder gives the same answers whether it looks each record up, reads
// the table through first, or does so for a batch (keys without fields),
// and remembers the rows it was told were stored.
TEST_F(DuplicateFinderTest, LookupsAndTheTableReadThroughAgree) {
  struct Case {
    Values row;
    const char* key;  // of the contact found; null: none
  };
  const Case cases[] = {
      {{{"LastName", "MULLER"}, {"FirstName", "Jose"}, {"Email", " JOSE@example.com"}}, "K1"},
      {{{"LastName", "lee"}, {"FirstName", "ANN"}, {"Phone4", "+1 617 555 0100"}}, "K2"},
      {{{"LastName", "ONeil"}, {"FirstName", "Mary-Ann"}, {"Zip", "02134"}}, "K3"},
      {{{"LastName", "Lee"}, {"FirstName", "Ann"}, {"Email", "ann@example.com"}}, nullptr},  // the name only
      {{{"LastName", "Stone"}, {"FirstName", "Bob"}, {"Zip", "90210"}}, nullptr},           // another database
      {{{"LastName", "Lee"}, {"FirstName", "Bo"}, {"Phone1", "617 555 0100"}}, nullptr},     // another person
      {{{"LastName", "Smith"}, {"FirstName", "James"}, {"Zip", "12345"}}, "S2345"},
      {{{"LastName", "Smith"}, {"FirstName", "James"}, {"Zip", "99999"}}, nullptr},
  };
  for (long long readafter : {0LL, DuplicateFinder::kNever, DuplicateFinder::kChosen}) {
    DuplicateFinder finder(DataPlace::folder(dir.string()), "MAIN", readafter);
    if (readafter == DuplicateFinder::kChosen) finder.startbatch();
    Table scratch;
    scratch.open(dir.string(), "CONTACT.DB");
    for (const Case& c : cases) {
      scratch.newrow();
      setall(scratch, c.row);
      DuplicateMatch match;
      const bool found = finder.find(scratch.row(), match);
      EXPECT_EQ(found, c.key != nullptr) << readafter << " " << c.row[0].second << " " << c.row.back().second;
      if (found && c.key) {
        EXPECT_EQ(match.key, c.key) << readafter;
      }
      if (found) {
        EXPECT_EQ(match.fields.empty(), readafter == DuplicateFinder::kChosen) << readafter;
      }
      scratch.drop();
    }
    // Rows this run stores are found by their keys, across the run pairs'
    // growth; a name with none of the compared values is never a duplicate.
    for (int i = 0; i < 2000; ++i) {
      scratch.newrow();
      setall(scratch, {{"LastName", "New"}, {"FirstName", "Person"}, {"Email", std::to_string(i) + "@example.org"},
                       {"Recno", "R" + std::to_string(i)}});
      DuplicateMatch match;
      ASSERT_FALSE(finder.find(scratch.row(), match)) << i;
      finder.rememberchecked();
      scratch.drop();
    }
    for (int i : {0, 777, 1999}) {
      scratch.newrow();
      setall(scratch, {{"LastName", "NEW"}, {"FirstName", "person"}, {"Email", std::to_string(i) + "@example.org"}});
      DuplicateMatch match;
      ASSERT_TRUE(finder.find(scratch.row(), match)) << i;
      EXPECT_EQ(match.key, "R" + std::to_string(i));
      scratch.drop();
    }
    scratch.newrow();
    setall(scratch, {{"LastName", "New"}, {"FirstName", "Person"}});
    DuplicateMatch match;
    EXPECT_FALSE(finder.find(scratch.row(), match));
    scratch.drop();
  }
}

}  // namespace
}  // namespace vesper
