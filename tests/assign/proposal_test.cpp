#include "assign/proposal.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "assign/assignment.h"
#include "assign/columnnames.h"
#include "assign/exportfile.h"
#include "store/sampledata.h"
#include "source/vcardsource.h"
#include "support/corpora.h"
#include "support/fakes.h"

namespace vesper {
namespace {

using testing::Records;

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

// "Column=Target; Column=Date1/2" as a map from column to target (with "/code"
// for a date layout).
std::map<std::string, std::string> expectations(const std::string& text) {
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

std::string shown(const ProposedField& p) {
  return p.target + (p.dateformat > 0 ? "/" + std::to_string(p.dateformat) : "");
}

enum Where { kKept, kFound, kRoundcube };

struct ExportCase {
  const char* file;
  Where where;
  int headerline;          // from 1
  const char* assigned;    // every other column is not used
};

// Real exports of mail programs, address books and a business network, each
// with the assignment a person would make from its header and first values.
const ExportCase kExports[] = {
    {"gmail-2007-sections-horde.csv", kFound, 1,
      "Name=x2firstlast; E-mail=Email; Notes=Memo; Section 1 - Phone=Phone1; "
      "Section 1 - Mobile=Phone2; Section 1 - Pager=Phone3; Section 1 - Fax=Fax; "
      "Section 1 - Company=Company; Section 1 - Title=Salut; "
      "Section 1 - Address=x8addr1&2"},
    {"google-multiline-tine.csv", kFound, 1,
      "Given Name=FirstName; Additional Name=x6middleinitial; Family Name=LastName; "
      "Name Prefix=Salut; Name Suffix=Honor; Birthday=Date1/2; Notes=Memo; "
      "E-mail 1 - Value=Email; Phone 1 - Value=Phone1; Address 1 - Street=Addr1; "
      "Address 1 - City=City; Address 1 - Region=State; Address 1 - Postal Code=Zip; "
      "Address 1 - Country=Country; Address 1 - Extended Address=Addr2"},
    {"kaddressbook-kmail-horde.csv", kFound, 1,
      "Family Name=LastName; Given Name=FirstName; Additional Names=x6middleinitial; "
      "Honorific Prefixes=Salut; Honorific Suffixes=Honor; Birthday=Date1/2; "
      "Business Address Street=x8addr1&2; Business Address Locality=City; "
      "Business Address Region=State; Business Address Postal Code=Zip; "
      "Business Address Country=Country; Home Phone=Phone3; Business Phone=Phone1; "
      "Mobile Phone=Phone2; Business Fax=Fax; Pager=Phone4; Email Address=Email; "
      "Role=Title; Organization=Company; Note=Memo; Assistant's Name=Assistant; "
      "Anniversary=Date2/2"},
    {"linkedin-connections-fullnote.csv", kFound, 4,
      "First Name=FirstName; Last Name=LastName; Email Address=Email; Company=Company; "
      "Position=Title"},
    {"linkedin-connections-preamble.csv", kKept, 4,
      "First Name=FirstName; Last Name=LastName; Email Address=Email; Company=Company; "
      "Position=Title"},
    {"lxoffice-customers-tine.csv", kFound, 1,
      "name=x2firstlast; street=x8addr1&2; country=Country; zipcode=Zip; city=City; "
      "phone=Phone1; fax=Fax; email=Email"},
    {"macaddressbook-tab-de-tine.csv", kFound, 1,
      "Vorname=FirstName; Nachname=LastName; Firma=Company; Berufsbezeichnung=Title; "
      "Arbeitsadresse Land=Country; Arbeitsadresse Strasse=x8addr1&2; "
      "Arbeitsadresse Stadt=City; Arbeitsadresse Bundesland=State; Arbeitsadresse PLZ=Zip; "
      "Arbeit E-Mail=Email; Arbeit Telefon=Phone1; Privat Telefon=Phone3; "
      "Hauptnummer=Phone4; Mobiltelefon=Phone2; Arbeit Fax=Fax; Notizen=Memo; "
      "Geburtstag=Date1/5"},
    {"outlook-bug6311-notes-horde.csv", kFound, 1,
      "Title=Salut; First Name=FirstName; Middle Name=x6middleinitial; Last Name=LastName; "
      "Suffix=Honor; Company=Company; Job Title=Title; Business Street=Addr1; "
      "Business Street 2=Addr2; Business City=City; Business State=State; "
      "Business Postal Code=Zip; Business Country/Region=Country; Business Fax=Fax; "
      "Business Phone=Phone1; Company Main Phone=Phone4; Home Phone=Phone3; "
      "Mobile Phone=Phone2; Anniversary=Date2/3; Assistant's Name=Assistant; "
      "Birthday=Date1/3; E-mail Address=Email; Notes=Memo; Referred By=User2; "
      "Spouse=User1"},
    {"outlook-bug6370-quotes-horde.csv", kFound, 1,
      "Title=Salut; First Name=FirstName; Middle Name=x6middleinitial; Last Name=LastName; "
      "Suffix=Honor; Company=Company; Job Title=Title; Business Street=Addr1; "
      "Business Street 2=Addr2; Business City=City; Business State=State; "
      "Business Postal Code=Zip; Business Country/Region=Country; Business Fax=Fax; "
      "Business Phone=Phone1; Company Main Phone=Phone4; Home Phone=Phone3; "
      "Mobile Phone=Phone2; Anniversary=Date2/3; Assistant's Name=Assistant; "
      "Birthday=Date1/3; E-mail Address=Email; Notes=Memo; Referred By=User2; "
      "Spouse=User1"},
    {"outlook-bug6372-address-horde.csv", kFound, 1,
      "Title=Salut; First Name=FirstName; Middle Name=x6middleinitial; Last Name=LastName; "
      "Suffix=Honor; Company=Company; Job Title=Title; Business Street=Addr1; "
      "Business Street 2=Addr2; Business City=City; Business State=State; "
      "Business Postal Code=Zip; Business Country/Region=Country; Business Fax=Fax; "
      "Business Phone=Phone1; Company Main Phone=Phone4; Home Phone=Phone3; "
      "Mobile Phone=Phone2; Anniversary=Date2/3; Assistant's Name=Assistant; "
      "Birthday=Date1/3; E-mail Address=Email; Notes=Memo; Referred By=User2; "
      "Spouse=User1"},
    {"outlook-en-multiline-horde.csv", kFound, 1,
      "Title=Salut; First Name=FirstName; Middle Name=x6middleinitial; Last Name=LastName; "
      "Suffix=Honor; Company=Company; Job Title=Title; Business Street=Addr1; "
      "Business Street 2=Addr2; Business City=City; Business State=State; "
      "Business Postal Code=Zip; Business Country=Country; Business Fax=Fax; "
      "Company Main Phone=Phone3; Home Phone=Phone2; Mobile Phone=Phone1; Pager=Phone4; "
      "Anniversary=Date2/2; Assistant's Name=Assistant; Birthday=Date1/2; "
      "E-mail Address=Email; Notes=Memo; Referred By=User2; Spouse=User1"},
    {"outlook2007-de-damaged-tine.csv", kFound, 1,
      "Anrede=Salut; Vorname=FirstName; Weitere Vornamen=x6middleinitial; "
      "Nachname=LastName; Suffix=Honor; Firma=Company; Position=Title; "
      "Stra\uFFFDe gesch\uFFFDftlich=Addr1; Stra\uFFFDe gesch\uFFFDftlich 2=Addr2; "
      "Ort gesch\uFFFDftlich=City; Region gesch\uFFFDftlich=State; "
      "Postleitzahl gesch\uFFFDftlich=Zip; Land/Region gesch\uFFFDftlich=Country; "
      "Fax gesch\uFFFDftlich=Fax; Telefon gesch\uFFFDftlich=Phone1; Autotelefon=Phone4; "
      "Telefon privat=Phone3; Mobiltelefon=Phone2; E-Mail-Adresse=Email; "
      "Geburtstag=Date1/5; Jahrestag=Date2/5; Name Assistent=Assistant; Notizen=Memo"},
    {"outlook2013-de-tine.csv", kFound, 1,
      "Anrede=Salut; Vorname=FirstName; Weitere Vornamen=x6middleinitial; "
      "Nachname=LastName; Suffix=Honor; Firma=Company; Position=Title; "
      "Straße geschäftlich=Addr1; Straße geschäftlich 2=Addr2; Ort geschäftlich=City; "
      "Region geschäftlich=State; Postleitzahl geschäftlich=Zip; "
      "Land/Region geschäftlich=Country; Fax geschäftlich=Fax; "
      "Telefon geschäftlich=Phone1; Telefon Firma=Phone4; Telefon (privat)=Phone3; "
      "Mobiltelefon=Phone2; Assistent(in)=Assistant; E-Mail-Adresse=Email; "
      "Geburtstag=Date1/5; Jahrestag=Date2/5; Notizen=Memo"},
    {"thunderbird-export-quoting.csv", kFound, 1,
      "First Name=FirstName; Last Name=LastName; Primary Email=Email; Work Phone=Phone1; "
      "Home Phone=Phone3; Fax Number=Fax; Pager Number=Phone4; Mobile Number=Phone2; "
      "Work Address=Addr1; Work Address 2=Addr2; Work City=City; Work State=State; "
      "Work ZipCode=Zip; Work Country=Country; Job Title=Title; Organization=Company; "
      "Notes=Memo"},
    {"thunderbird-export-tab.csv", kFound, 1,
      "First Name=FirstName; Last Name=LastName; Primary Email=Email; Work Phone=Phone1; "
      "Home Phone=Phone3; Fax Number=Fax; Pager Number=Phone4; Mobile Number=Phone2; "
      "Work Address=Addr1; Work Address 2=Addr2; Work City=City; Work State=State; "
      "Work ZipCode=Zip; Work Country=Country; Job Title=Title; Organization=Company; "
      "Notes=Memo"},
    {"thunderbird-shiftjis.csv", kFound, 1,
      "First Name=FirstName; Last Name=LastName; Primary Email=Email; Work Phone=Phone1; "
      "Home Phone=Phone3; Fax Number=Fax; Pager Number=Phone4; Mobile Number=Phone2; "
      "Work Address=Addr1; Work Address 2=Addr2; Work City=City; Work State=State; "
      "Work ZipCode=Zip; Work Country=Country; Job Title=Title; Organization=Company; "
      "Notes=Memo"},
    {"thunderbird-utf16le-bom.csv", kFound, 1,
      "First Name=FirstName; Last Name=LastName; Primary Email=Email; Work Phone=Phone1; "
      "Home Phone=Phone3; Fax Number=Fax; Pager Number=Phone4; Mobile Number=Phone2; "
      "Work Address=Addr1; Work Address 2=Addr2; Work City=City; Work State=State; "
      "Work ZipCode=Zip; Work Country=Country; Job Title=Title; Organization=Company; "
      "Notes=Memo"},
    {"windowsaddressbook-horde.csv", kFound, 1,
      "First Name=FirstName; Last Name=LastName; Middle Name=x6middleinitial; "
      "E-mail Address=Email; Home Phone=Phone3; Mobile Phone=Phone2; "
      "Business Street=x8addr1&2; Business City=City; Business Postal Code=Zip; "
      "Business State=State; Business Country/Region=Country; Business Phone=Phone1; "
      "Business Fax=Fax; Pager=Phone4; Company=Company; Job Title=Title; Notes=Memo"},
    {"windowsaddressbook-selectable-horde.csv", kFound, 1,
      "First Name=FirstName; Last Name=LastName; E-mail Address=Email; Home Phone=Phone3; "
      "Mobile Phone=Phone2; Business Street=x8addr1&2; Business City=City; "
      "Business Postal Code=Zip; Business State=State; Business Country/Region=Country; "
      "Business Phone=Phone1; Business Fax=Fax; Pager=Phone4; Company=Company; "
      "Job Title=Title; Notes=Memo"},
    {"yahoo-multiline-horde.csv", kFound, 1,
      "First=FirstName; Middle=x6middleinitial; Last=LastName; Email=Email; Home=Phone3; "
      "Work=Phone1; Pager=Phone4; Fax=Fax; Mobile=Phone2; Title=Title; Company=Company; "
      "Work Address=x8addr1&2; Work City=City; Work County=State; Work Post Code=Zip; "
      "Work Country=Country; Birthday=Date1/2; Anniversary=Date2/2; Comments=Memo"},
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
      "Notes=Memo"},

};

std::string pathOf(const ExportCase& c) {
  const std::string kept = std::string(VESPER_SOURCE_DIR) + "/tests/data/exports/" + c.file;
  switch (c.where) {
    case kKept: return kept;
    case kFound:  // kept with the tests where its licence allows
      return std::filesystem::exists(kept)
                 ? kept
                 : testing::corpora(std::string("csv/contact-exports/") + c.file);
    default: return testing::corpora(std::string("csv/roundcube-contact-exports/") + c.file);
  }
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
      "Work Street=Addr1; Work Street 2=Addr2; Work City=City; Work State=State; "
      "Work Postal Code=Zip; Work Country=Country; Work Phone=Phone1; Mobile Phone=Phone2; "
      "Home Phone=Phone3; Other Phone=Phone4; Fax=Fax; E-mail 1=Email; Notes=Memo; ";
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

}  // namespace
}  // namespace vesper
