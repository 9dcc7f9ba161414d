#include "store/sampledata.h"

#include <gtest/gtest.h>

#include "base/errors.h"
#include "parse/daycount.h"
#include "store/table.h"
#include "store/tempfolder.h"

namespace vesper {
namespace {

using testing::RawConnection;
using testing::TempFolder;

// Field names the importer relies on, spelled exactly, with the type it treats them by.
struct Named { const char* name; FieldType type; };

TEST(SampleDataFolder, ContactTableHasEveryNamedField) {
  TempFolder dir;
  createsampledatafolder(dir.file("data"));
  Table contact;
  contact.open(dir.file("data"), "Contact.db");
  EXPECT_LE(contact.fieldcount(), 202);
  EXPECT_EQ(contact.fieldname(contact.keyfield()), "Recno");
  const Named named[] = {
      {"DB", FieldType::Alpha},        {"Recno", FieldType::Alpha},     {"Salut", FieldType::Alpha},
      {"FirstName", FieldType::Alpha}, {"Dear", FieldType::Alpha},      {"LastName", FieldType::Alpha},
      {"Honor", FieldType::Alpha},     {"Title", FieldType::Alpha},     {"Company", FieldType::Alpha},
      {"Assistant", FieldType::Alpha}, {"Addr1", FieldType::Alpha},     {"Addr2", FieldType::Alpha},
      {"City", FieldType::Alpha},      {"State", FieldType::Alpha},     {"Zip", FieldType::Alpha},
      {"Country", FieldType::Alpha},   {"Category", FieldType::Alpha},  {"Memo", FieldType::Memo},
      {"MailAddr", FieldType::Memo},   {"SecondAddr", FieldType::Memo}, {"Marked", FieldType::Logical},
      {"DateAdded", FieldType::Date},  {"TimeAdded", FieldType::Time},  {"DateChanged", FieldType::Date},
      {"TimeChanged", FieldType::Time}, {"LastLetterName", FieldType::Alpha},
      {"LastLetterNo", FieldType::Long}, {"User10", FieldType::Alpha},  {"Date10", FieldType::Date},
      {"Num5", FieldType::Number},     {"Money5", FieldType::Money},    {"customid", FieldType::AutoInc},
      {"eventdatetime", FieldType::Timestamp},
  };
  for (const Named& n : named) {
    int i = contact.findfield(n.name);
    ASSERT_GE(i, 0) << n.name;
    EXPECT_EQ(contact.fieldname(i), n.name);
    EXPECT_EQ(contact.fieldtype(i), n.type) << n.name;
  }
  EXPECT_EQ(contact.field("DB").size(), 20);
  EXPECT_GE(contact.field("Recno").size(), 21);  // the longest record key
  EXPECT_EQ(contact.field("Zip").size(), 11);
  EXPECT_EQ(contact.recordcount(), 0);

  // An imported contact as the record transfer writes one.
  const double now = encodedate(2024, 5, 6) + encodetime(7, 8, 9);
  contact.newrow();
  contact.field("db").settext("MAIN");
  contact.field("Zip").settext("02134");
  contact.field("DateAdded").setdatetime(now);
  contact.field("TimeAdded").setdatetime(now);
  contact.field("Recno").settext("ACMEOBRI9912035432234");
  contact.store();
  EXPECT_EQ(contact.field("customid").asinteger(), 1);
  RawConnection raw(contact.path());
  EXPECT_EQ(raw.value("SELECT DateAdded || ' ' || TimeAdded || ' ' || Zip || ' ' || Recno FROM contact"),
            "2024-05-06 07:08:09 02134 ACMEOBRI9912035432234");
}

TEST(SampleDataFolder, CatalogueAndSettingsAreFilled) {
  TempFolder dir;
  createsampledatafolder(dir.path());
  Table db;
  db.open(dir.path(), "DATABASE.DB");
  EXPECT_EQ(db.fieldname(db.keyfield()), "DB");
  EXPECT_EQ(db.fieldcount(), 36);  // five of its own and 31 labels
  db.first();
  ASSERT_FALSE(db.atend());
  EXPECT_EQ(db.field("DB").astext(), "MAIN");
  EXPECT_EQ(db.field("Description").astext(), "Main contacts");
  EXPECT_EQ(db.field("Date1").astext(), "Birthday");
  EXPECT_EQ(db.field("Date10").astext(), "");
  for (const char* n : {"DateImport", "TimeImport", "NumImport", "User1", "Money5", "Category"})
    EXPECT_GE(db.findfield(n), 0) << n;

  Table settings;
  settings.open(dir.path(), "settings.db");
  settings.first();
  ASSERT_FALSE(settings.atend());
  EXPECT_TRUE(settings.field("FormatSalut").asbool());
  EXPECT_EQ(settings.field("FormatWhich").asinteger(), 0);
  const std::pair<const char*, const char*> labels[] = {
      {"lblCity", "City"}, {"lblState", "State"}, {"lblZip", "Zip"},
      {"lblCountry", "Country"}, {"LblAssistant", "Assistant"},
  };
  for (const auto& [field, label] : labels) {
    ASSERT_GE(settings.findfield(field), 0) << field;
    EXPECT_EQ(settings.fieldname(settings.findfield(field)), field);
    EXPECT_EQ(settings.field(field).astext(), label);
  }
  EXPECT_EQ(settings.field("FormatUS").astext(),
            "<name>\r\n<title>\r\n<company>\r\n<address1>\r\n<address2>\r\n<city>, <state>  <zip>");
  for (const char* f : {"FormatCanada", "FormatUK", "FormatLatin", "FormatEurope", "FormatSpecial"}) {
    std::string t = settings.field(f).astext();
    EXPECT_NE(t.find("<name>"), std::string::npos) << f;
    EXPECT_NE(t.find("<country>"), std::string::npos) << f;
    EXPECT_NE(t.find("<city>"), std::string::npos) << f;
  }
}

TEST(SampleDataFolder, NeverOverwritesAnExistingTable) {
  TempFolder dir;
  createtable(dir.file("Contact.db"), {{"Recno", FieldType::Alpha, 24}});
  EXPECT_THROW(createsampledatafolder(dir.path()), EngineError);
  EXPECT_FALSE(std::filesystem::exists(dir.file("DATABASE.DB")));
  TempFolder other;
  createsampledatafolder(other.path());
  EXPECT_THROW(createsampledatafolder(other.path()), EngineError);
}

}  // namespace
}  // namespace vesper
