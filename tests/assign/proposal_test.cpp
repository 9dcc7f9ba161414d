#include "assign/proposal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

#include "assign/assignment.h"
#include "assign/columnnames.h"
#include "assign/exportfile.h"
#include "support/exportcases.h"
#include "store/sampledata.h"
#include "source/vcardsource.h"
#include "support/corpora.h"
#include "support/fakes.h"

namespace vesper {
namespace {

using testing::ExportCase;
using testing::Records;
using testing::expectations;
using testing::kExports;
using testing::kKept;
using testing::pathOf;

// The labels the sample database gives its renamable fields.
CatalogueLabels sampleLabels() {
  CatalogueLabels labels;
  const std::pair<const char*, const char*> named[] = {
      {"User1", "Spouse"},   {"User2", "Referred by"}, {"User3", "Web site"},
      {"User4", "Account no."}, {"Date1", "Birthday"}, {"Date2", "Anniversary"},
      {"Date3", "Last meeting"}};
  for (auto [field, label] : named) labels.database.set(field, label);
  return labels;
}

std::string shown(const ProposedField& p) {
  return p.target + (p.dateformat > 0 ? "/" + std::to_string(p.dateformat) : "");
}

TEST(ProposalTest, RealExportsAreAssignedAsAPersonWould) {
  int read = 0;
  for (const ExportCase& c : kExports) {
    SCOPED_TRACE(c.file);
    testing::ExportRead got = testing::readExportAs(pathOf(c), {}, isheaderline);
    const Records& samples = got.records;
    if (samples.empty()) {
      if (c.where == kKept || testing::corporarequired()) ADD_FAILURE() << pathOf(c) << " is missing";
      continue;
    }
    ++read;
    // The header line, counted in records of the file (notes before it
    // included), and its names.
    ASSERT_EQ(got.layout.headerline, c.headerline);
    const auto& names = got.layout.columnnames;
    auto proposal = proposeassignment(names, samples, contactfields(), sampleLabels());
    ASSERT_EQ(proposal.size(), names.size());
    auto want = expectations(c.assigned);
    for (std::size_t i = 0; i < names.size(); ++i) {
      auto it = want.find(names[i]);
      EXPECT_EQ(shown(proposal[i]), it == want.end() ? kNotUsedCode : it->second)
          << "column " << i + 1 << " \"" << names[i] << "\"";
    }
  }
  if (read < static_cast<int>(std::size(kExports)))
    std::printf("%d of %zu exports read; the others are in the corpora folder %s\n", read,
                std::size(kExports), testing::corporafolder().c_str());
}

// One header and one record; the proposal shown as "target|target|...".
std::string propose(const std::vector<std::string>& names, const std::vector<std::string>& record,
                    const std::vector<FieldDef>& fields = contactfields()) {
  std::string out;
  for (const auto& p : proposeassignment(names, {record}, fields, sampleLabels()))
    out += (out.empty() ? "" : "|") + shown(p);
  return out;
}

TEST(ProposalTest, Rules) {
  struct Case {
    std::vector<std::string> names, values;
    const char* want;
  };
  const Case cases[] = {
      // a whole name only where no first or last name column is there
      {{"Full Name", "E-mail"}, {"Ann Lee", "a@b.org"}, "x2firstlast|Email"},
      {{"Display Name", "Surname"}, {"Ann Lee", "Lee"}, "x1notused|LastName"},
      // the business address when it has values, else the home address
      {{"Home Street", "Home City", "Business Street", "Business City"},
       {"1 Elm St", "Leeds", "", ""}, "x8addr1&2|City|x1notused|x1notused"},
      {{"Home Street", "Business Street", "Business Street 2", "Business City"},
       {"1 Elm St", "Unit 4", "2 Oak Rd", "York"}, "x1notused|Addr1|Addr2|City"},
      // phones by kind, those with values first when they are too many
      {{"Pager", "Home Phone", "Mobile Phone", "Business Phone", "Car Phone", "Other Phone"},
       {"1", "2", "3", "", "5", "6"}, "x1notused|Phone2|Phone1|x1notused|Phone4|Phone3"},
      // no field twice: the first e-mail with values; every note to Memo
      {{"Email", "E-mail 2 Address", "Notes", "Comments"}, {"", "b@c.de", "x", "y"},
       "x1notused|Email|Memo|Memo"},
      // "Title" is the name prefix beside a job title, or when it holds prefixes
      {{"Title", "Job Title"}, {"Sales", "Manager"}, "Salut|Title"},
      {{"Title", "First Name"}, {"Dr.", "Ann"}, "Salut|FirstName"},
      {{"Title", "First Name"}, {"Sales Manager", "Ann"}, "Title|FirstName"},
      // the Thunderbird birthday in three columns holds no whole date
      {{"Birth Year", "Birth Month", "Birth Day"}, {"1961", "3", "15"},
       "x1notused|x1notused|x1notused"},
      // a date field labelled for the column, with the layout of its values
      {{"Anniversary", "Birthday"}, {"15.03.1961", "3/15/1961"}, "Date2/6|Date1/4"},
      // a field's own name, and a column named like a field's label
      {{"Phone3", "Spouse", "Account No."}, {"1", "Bo", "77"}, "Phone3|User1|User4"},
  };
  for (const auto& c : cases) EXPECT_EQ(propose(c.names, c.values), c.want) << c.names[0];

  // Combined fields only where the catalogue would offer them.
  std::vector<FieldDef> noAddr2 = {{"FirstName", FieldType::Alpha, 20},
                                   {"LastName", FieldType::Alpha, 20},
                                   {"Addr1", FieldType::Alpha, 40}};
  EXPECT_EQ(propose({"Name", "Street"}, {"Ann Lee", "1 Elm St"}, noAddr2), "x2firstlast|x1notused");
}

TEST(ProposalTest, DateLayoutGuessedFromTheValues) {
  struct Case { std::vector<std::string> values; int want; };
  const Case cases[] = {
      {{"1961-03-15"}, 2},           {{"19610315"}, 2},
      {{"3/15/1961"}, 4},            {{"15/03/1961", "01/02/1970"}, 6},
      {{"15.03.1961"}, 6},           {{"01.02.1961"}, 6},
      {{"01/02/1961"}, 4},           {{"01-02-61"}, 5},
      {{"3/5/61"}, 3},               {{"Mar 15 1961"}, 10},
      {{"15 Mar 1961"}, 12},         {{"1961 Mar 15"}, 8},
      {{"15 March 61"}, 11},         {{}, 2},
      {{"soon", "--03-15"}, 2},
  };
  for (const auto& c : cases)
    EXPECT_EQ(guessdateformat(c.values), c.want) << (c.values.empty() ? "" : c.values[0]);
}

// Samples by field of one record.
class RecordSamples : public SampleSource {
 public:
  explicit RecordSamples(std::vector<std::string> values) : values_(std::move(values)) {}
  std::string sample(int field, int record) override {
    return record == 1 && field <= static_cast<int>(values_.size()) ? values_[field - 1] : "";
  }
  std::string fieldname(int) override { return ""; }

 private:
  std::vector<std::string> values_;
};

class AnswerDates : public DateFormatAsker {
 public:
  int answer = 0;
  void askdateformat(AssignState& s) override { s.ChosenDateFormat = answer; }
};

TEST(ProposalTest, AppliedAsTheDialogWouldAssignIt) {
  const std::vector<std::string> names = {"Name", "Street", "City", "Zip", "Birthday",
                                          "Notes", "Mobile", "Fax"};
  const std::vector<std::string> values = {"Ann Lee", "1 Elm St", "Leeds", "LS1", "15.03.1961",
                                           "hi", "077", "011"};
  RecordSamples samples(values);
  auto proposal = proposeassignment(names, samplerecords(samples, 8), contactfields(),
                                    sampleLabels());

  testing::RecordingMessages messages;
  testing::FixedClock clock;
  testing::FixedDisk disk;
  AssignState byProposal(messages, clock, disk), byHand(messages, clock, disk);
  for (AssignState* s : {&byProposal, &byHand}) s->SourceType = 1, s->SourceFieldCount = 8;
  applyproposal(byProposal, contactfields(), proposal);

  AnswerDates dates;
  FieldAssignmentModel model(byHand, contactfields(), sampleLabels(), samples, dates);
  model.FormCreate();
  for (const auto& p : proposal) {
    dates.answer = p.dateformat;
    const auto& list = model.fieldnames();
    auto at = std::find_if(list.begin(), list.end(), [&](auto& e) { return e.name == p.target; });
    ASSERT_NE(at, list.end()) << p.target << " is not on offer";
    model.FieldNamesClick(static_cast<int>(at - list.begin()));
    model.btAssignClick();
  }
  ASSERT_EQ(model.result(), FieldAssignmentModel::Result::Ok);
  EXPECT_EQ(byProposal.FieldAssignments, byHand.FieldAssignments);
  EXPECT_EQ(byProposal.DateFormats, byHand.DateFormats);
  EXPECT_EQ(byProposal.TargetFieldMarks, byHand.TargetFieldMarks);
  EXPECT_EQ(byProposal.FieldAssignments[1], "x2firstlast");
  EXPECT_EQ(byProposal.DateFormats[5], 6);
}

}  // namespace
}  // namespace vesper

namespace vesper {
namespace {

// A vCard's fixed field list, proposed from the cards of real exports as the
// session proposes it: the field names stand for a header line.
TEST(ProposalTest, VCardFieldsAreAssignedAsAPersonWould) {
  const std::vector<std::string> names(kVCardFieldNames.begin(), kVCardFieldNames.end());
  const std::string common =
      "Family Name=LastName; Given Name=FirstName; Additional Names=x6middleinitial; "
      "Honorific Prefixes=Salut; Honorific Suffixes=Honor; Organization=Company; Job Title=Title; "
      "Mailing Street=Addr1; Mailing Street 2=Addr2; Mailing City=City; Mailing State=State; "
      "Mailing Postal Code=Zip; Mailing Country=Country; Work Phone=Phone1; Mobile Phone=Phone2; "
      "Home Phone=Phone3; Other Phone=Phone4; Fax=Fax; E-mail 1=Email; Notes=Memo; Web Page 1=User3; ";
  const std::pair<const char*, std::string> files[] = {
      {"all.vcf", common + "Birthday=Date1/2; Anniversary=Date2/2"},
      {"gmail.vcf", common + "Birthday=Date1/2; Anniversary=Date2/2"},
  };
  for (const auto& [file, assigned] : files) {
    SCOPED_TRACE(file);
    Records samples = testing::readExport(testing::corpora(std::string("csv/roundcube-contact-exports/") + file));
    if (samples.empty()) {
      if (testing::corporarequired()) ADD_FAILURE() << file << " is missing";
      continue;
    }
    auto proposal = proposeassignment(names, samples, contactfields(), sampleLabels());
    auto want = expectations(assigned);
    for (std::size_t i = 0; i < names.size(); ++i) {
      auto it = want.find(names[i]);
      EXPECT_EQ(shown(proposal[i]), it == want.end() ? kNotUsedCode : it->second) << names[i];
    }
  }
  // A file that writes its birthdays without dashes keeps that layout, and a
  // lone e-mail field still goes to Email.
  std::vector<std::string> record(names.size());
  record[44] = "19610315";
  record[40] = "only@second.org";
  auto p = proposeassignment(names, {record}, contactfields(), sampleLabels());
  EXPECT_EQ(shown(p[44]), "Date1/2");
  EXPECT_EQ(shown(p[40]), "Email");
}

// The second phone of a kind, a second fax, a role and a web page go where a
// field is free for them, and only there.
TEST(ProposalTest, VCardSecondValuesTakeFreeFields) {
  const std::vector<std::string> names(kVCardFieldNames.begin(), kVCardFieldNames.end());
  auto at = [&](const char* name) {
    return static_cast<std::size_t>(std::find(names.begin(), names.end(), name) - names.begin());
  };
  struct Case {
    std::vector<const char*> filled;  // the fields the card has values in
    const char* field;
    const char* want;
    bool weblabel;  // the catalogue labels a user field "Web site"
  };
  const Case cases[] = {
      {{"Work Phone", "Mobile Phone", "Mobile Phone 2", "Home Phone"}, "Mobile Phone 2", "Phone4", true},
      {{"Work Phone", "Mobile Phone", "Mobile Phone 2", "Home Phone", "Other Phone"}, "Mobile Phone 2",
       kNotUsedCode, true},
      {{"Work Phone", "Home Phone", "Other Phone", "Other Phone 2"}, "Other Phone 2", "Phone4", true},
      {{"Fax 2"}, "Fax 2", "Fax", true},
      {{"Fax", "Fax 2"}, "Fax 2", kNotUsedCode, true},
      {{"Role"}, "Role", "Title", true},
      {{"Role"}, "Job Title", kNotUsedCode, true},
      {{"Job Title", "Role"}, "Job Title", "Title", true},
      {{"Web Page 2"}, "Web Page 2", "User3", true},
      {{"Web Page 1", "Web Page 2"}, "Web Page 2", kNotUsedCode, true},
      {{"Web Page 1"}, "Web Page 1", kNotUsedCode, false},
  };
  for (const Case& c : cases) {
    std::vector<std::string> record(names.size());
    for (const char* f : c.filled) record[at(f)] = std::string("value of ") + f;
    SCOPED_TRACE(std::string(c.field) + " among " + std::to_string(c.filled.size()) + " filled");
    auto p = proposeassignment(names, {record}, contactfields(), c.weblabel ? sampleLabels() : CatalogueLabels{});
    EXPECT_EQ(shown(p[at(c.field)]), c.want);
  }
}

}  // namespace
}  // namespace vesper
