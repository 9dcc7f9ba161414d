// Real contact exports imported whole by the batch command, run as a program:
// once assigned from the header line (--auto-assign), once with an .IMP file
// made by hand from the assignment a person would make.  Every record becomes
// a contact, the header line none, nothing goes to bad.csv, and values over
// several lines, quotes and characters beyond ASCII arrive as written.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "app/importstate.h"
#include "app/specfile.h"
#include "assign/columnnames.h"
#include "assign/exportfile.h"
#include "store/sampledata.h"
#include "store/table.h"
#include "support/batchcommand.h"
#include "support/contactrows.h"
#include "support/exportcases.h"
#include "support/fakes.h"

namespace vesper {
namespace {

namespace fs = std::filesystem;

using testing::CommandResult;

struct Imported {
  const char* file;  // a case of the shared export table
  int records;       // the records the file holds, its header line and notes left out
  std::vector<std::pair<const char*, const char*>> stored;  // field, a value one contact holds
  bool headerwords = false;  // a record holds a column's own name as its value
};

const Imported kImports[] = {
    {"gmail-2007-sections-horde.csv", 2, {{"Company", "Example, Corp."}, {"LastName", "Doe"}}},
    {"kaddressbook-kmail-horde.csv", 1, {{"Memo", "It's a notes."}}},
    {"linkedin-connections-preamble.csv", 10, {{"Company", "University of Nowhere"}}},
    {"outlook-bug6311-notes-horde.csv", 1, {{"Memo", "PHP\r\nPerl\r\nPython"}}},
    {"outlook-bug6370-quotes-horde.csv", 1, {{"Addr1", "Big Tower'\", 1\" Floor, 123 Main Street"}}},
    {"outlook-bug6372-address-horde.csv", 1, {{"Addr1", "123, 12th Floor, Main Street"}}},
    {"outlook-en-multiline-horde.csv", 1, {{"Memo", "It's\r\nmultiline\r\nmemo."}}},
    {"thunderbird-export-quoting.csv", 2,
     {{"Memo", "here's some unicode text\u2026"}, {"Title", "\"worker\""}}},
    {"thunderbird-export-tab.csv", 2, {{"Memo", "here's some unicode text\u2026"}, {"Title", "\"worker\""}}},
    {"thunderbird-utf16le-bom.csv", 1, {{"Email", "johndoe@host.invalid"}, {"LastName", "Doe"}}},
    {"windowsaddressbook-horde.csv", 1, {{"Memo", "It's\r\nmultiline\r\nmemo."}}},
    {"windowsaddressbook-selectable-horde.csv", 1, {{"Memo", "I'm\r\nmultiline\r\nmemo."}}},
    {"yahoo-multiline-horde.csv", 1, {{"Memo", "It's\r\nmultiline\r\nmemo."}}},
    {"all.csv", 1, {{"Phone1", "300"}, {"Date1", "1991-01-20"}}, true},
    {"email.csv", 4, {{"Email", "test4@domain.tld"}}},
    {"gmail.csv", 1, {{"Memo", "note\"note"}, {"Date1", "1975-12-12"}}},
    {"outlook.csv", 1, {{"Email", "test1@domain.tld"}}},
    {"tb_plain.csv", 1, {{"Zip", "33-333"}}, true},  // Organization "Organization"
};

// The assignment of an .IMP file as the program reads it.
struct ReadBack {
  int sourcetype = 0;
  std::vector<std::string> slots;
  std::vector<int> dates;
  bool operator==(const ReadBack& o) const {
    return sourcetype == o.sourcetype && slots == o.slots && dates == o.dates;
  }
};

std::ostream& operator<<(std::ostream& out, const ReadBack& r) {
  out << "kind " << r.sourcetype << ":";
  for (std::size_t i = 0; i < r.slots.size(); ++i)
    if (!r.slots[i].empty()) out << " " << i << "=" << r.slots[i] << "/" << r.dates[i];
  return out;
}

ReadBack readback(const std::string& imp) {
  testing::RecordingMessages messages;
  testing::FixedClock clock;
  testing::FixedDisk disk;
  ImportState state(messages, clock, disk);
  ReadSpecFile(state, imp, contactfields());
  ReadBack r{state.SourceType, {}, {}};
  for (int i = 0; i <= 210; ++i) {
    r.slots.push_back(state.FieldAssignments[i]);
    r.dates.push_back(state.DateFormats[i]);
  }
  return r;
}

struct ExportImportTest : testing::BatchCommandTest {
  ExportImportTest() : BatchCommandTest("exportimport") {}

  // An .IMP file of 422 lines, as the assignment dialog leaves it: every
  // column assigned, those a person leaves out to "(Not used)".
  std::string handmade(const std::vector<std::string>& names, const testing::ExportCase& c) {
    auto want = testing::expectations(c.assigned);
    std::string slots, dates;
    for (std::size_t i = 1; i <= 210; ++i) {
      std::string target = i <= names.size() ? "x1notused" : "";
      int date = -1;
      if (i <= names.size() && want.count(names[i - 1])) {
        target = want[names[i - 1]];
        if (auto slash = target.find('/'); slash != std::string::npos) {
          date = std::stoi(target.substr(slash + 1));
          target.resize(slash);
        }
      }
      slots += target + "\r\n";
      dates += std::to_string(date) + "\r\n";
    }
    std::ofstream(dir / "hand.imp", std::ios::binary) << "1\r\n" << slots << "20\r\n" << dates;
    return "hand.imp";
  }

  // Imports `source` into a fresh data folder with `options`.
  CommandResult import(const std::string& options, const std::string& source) {
    fs::remove_all(dir / "data");
    fs::remove(dir / "bad.csv");
    fs::remove(dir / "auto.imp");
    CommandResult made = run("--create-data-folder data");
    EXPECT_EQ(made.code, 0) << made.err;
    return run("--database MAIN --all " + options + " '" + source + "'");
  }

  // What every import of the case leaves: its records as contacts, whole.
  void checkstored(const Imported& c, const std::vector<std::string>& names,
                   const std::map<std::string, std::string>& want) {
    Table t;
    t.open((dir / "data").string(), "CONTACT.DB");
    EXPECT_EQ(t.recordcount(), c.records);
    EXPECT_TRUE(!fs::exists(dir / "bad.csv") || fs::file_size(dir / "bad.csv") == 0)
        << "bad.csv: " << slurp(dir / "bad.csv");
    for (auto [field, value] : c.stored) {
      auto column = testing::sortedcolumn(dir / "data", field);
      EXPECT_THAT(column, ::testing::Contains(value)) << field;
    }
    if (!c.headerwords) {
      EXPECT_EQ(testing::columnnamesstored(dir / "data", names, want), std::vector<std::string>{})
          << "the header line stored as a contact";
    }
  }
};

TEST_F(ExportImportTest, RealExportsImportWhole) {
  int imported = 0;
  for (const Imported& c : kImports) {
    SCOPED_TRACE(c.file);
    const testing::ExportCase* ec = testing::exportcase(c.file);
    ASSERT_NE(ec, nullptr) << "not in the export table";
    const std::string path = testing::pathOf(*ec);
    if (!fs::exists(path)) {
      if (ec->where != testing::kRoundcube || testing::corporarequired())
        ADD_FAILURE() << path << " is missing";
      continue;
    }
    ++imported;
    // The header's names as the program reads them, to lay out the .IMP file.
    auto names = testing::readExportAs(path, {}, isheaderline).layout.columnnames;
    ASSERT_FALSE(names.empty()) << "no header line recognised";
    auto want = testing::expectations(ec->assigned);

    CommandResult automatic = import("--auto-assign --spec auto.imp", path);
    EXPECT_EQ(automatic.code, 0) << automatic.err;
    {
      SCOPED_TRACE("--auto-assign");
      checkstored(c, names, want);
    }
    // The assignment saved is the one a person makes; its first 422 lines
    // alone are a classic file of that assignment, the lines after them
    // each KEY=VALUE.
    const std::string hand = handmade(names, *ec);
    const std::string saved = slurp(dir / "auto.imp");
    EXPECT_EQ(readback((dir / "auto.imp").string()), readback((dir / hand).string()));
    std::size_t end = 0;
    for (int line = 1; line <= kSpecFileLines; ++line) {
      end = saved.find("\r\n", end);
      ASSERT_NE(end, std::string::npos) << "auto.imp ends before line " << line;
      end += 2;
    }
    std::ofstream(dir / "classic.imp", std::ios::binary) << saved.substr(0, end);
    EXPECT_EQ(readback((dir / "classic.imp").string()), readback((dir / hand).string()));
    EXPECT_NE(saved.find("\r\nHEADER=YES\r\n", end - 2), std::string::npos) << "no header line saved";
    std::stringstream rest(saved.substr(end));
    for (std::string line; std::getline(rest, line);)
      EXPECT_TRUE(line.find('=') != std::string::npos && line.back() == '\r') << "after line 422: " << line;

    CommandResult byhand = import("--spec " + hand, path);
    EXPECT_EQ(byhand.code, 0) << byhand.err;
    SCOPED_TRACE("a hand-made .IMP");
    checkstored(c, names, want);
  }
  if (imported < static_cast<int>(std::size(kImports)))
    std::printf("%d of %zu exports imported; the others are in the corpora folder %s\n", imported,
                std::size(kImports), testing::corporafolder().c_str());
}

// Exports written without a header line, as older programs wrote them: the
// batch command cannot assign them from a header and says so, and an .IMP
// file made by hand for their field positions imports every line.
TEST_F(ExportImportTest, ExportsWithoutAHeaderImportByHand) {
  struct Case {
    const char* file;
    int fields, records;
    std::map<int, std::string> assigned;  // field number: contact field
    std::pair<const char*, const char*> stored;
  };
  const Case cases[] = {
      {"palmdesktop-noheader-horde.csv", 21, 2,
       {{1, "LastName"}, {2, "FirstName"}, {3, "Title"}, {4, "Company"}, {5, "Phone1"},
        {9, "Email"}, {10, "Addr1"}, {11, "City"}, {12, "State"}, {13, "Zip"}, {14, "Country"}},
       {"Addr1", "12345 Lost Street"}},
      {"thunderbird-noheader-horde.csv", 37, 1,
       {{1, "FirstName"}, {2, "LastName"}, {5, "Email"}, {12, "Addr1"}, {14, "City"}, {36, "Memo"}},
       {"Memo", "It's a notes."}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string path = std::string(VESPER_SOURCE_DIR) + "/tests/data/exports/" + c.file;
    CommandResult refused = import("--auto-assign --spec auto.imp", path);
    EXPECT_EQ(refused.code, 1);
    EXPECT_NE(refused.err.find("no header line"), std::string::npos) << refused.err;
    EXPECT_FALSE(fs::exists(dir / "auto.imp"));

    std::string slots, dates;
    for (int i = 1; i <= 210; ++i) {
      slots += (c.assigned.count(i) ? c.assigned.at(i) : i <= c.fields ? "x1notused" : "") + "\r\n";
      dates += "-1\r\n";
    }
    std::ofstream(dir / "hand.imp", std::ios::binary) << "1\r\n" << slots << "20\r\n" << dates;
    CommandResult byhand = import("--spec hand.imp", path);
    EXPECT_EQ(byhand.code, 0) << byhand.err;
    Table t;
    t.open((dir / "data").string(), "CONTACT.DB");
    EXPECT_EQ(t.recordcount(), c.records);
    EXPECT_TRUE(!fs::exists(dir / "bad.csv") || fs::file_size(dir / "bad.csv") == 0);
    EXPECT_THAT(testing::sortedcolumn(dir / "data", c.stored.first), ::testing::Contains(c.stored.second));
  }
}

}  // namespace
}  // namespace vesper
