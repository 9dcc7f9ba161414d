#include "store/sampledata.h"

#include <filesystem>

#include "base/errors.h"
#include "store/systemdisk.h"
#include "store/table.h"

namespace vesper {

namespace {

FieldDef alpha(const std::string& name, int size) { return {name, FieldType::Alpha, size}; }
FieldDef typed(const std::string& name, FieldType type) { return {name, type, 0}; }

void numbered(std::vector<FieldDef>& out, const std::string& stem, int count, FieldType type, int size = 0) {
  for (int i = 1; i <= count; ++i) out.push_back({stem + std::to_string(i), type, size});
}

// Address layouts in the placeholder language of the mailing block: lines
// that come out blank (no title, no company, no second address line) are
// dropped when a block is composed.  Lines end with CR LF, as memo lines do.
std::string layout(std::initializer_list<const char*> lines) {
  std::string out;
  for (const char* l : lines) {
    if (!out.empty()) out += "\r\n";
    out += l;
  }
  return out;
}

struct Template {
  const char* field;
  std::string text;
};

std::vector<Template> addresslayouts() {
  return {
      {"FormatUS", layout({"<name>", "<title>", "<company>", "<address1>", "<address2>",
                           "<city>, <state>  <zip>"})},
      {"FormatCanada", layout({"<name>", "<title>", "<company>", "<address1>", "<address2>",
                               "<city> <state>  <zip>", "<country>"})},
      {"FormatUK", layout({"<name>", "<title>", "<company>", "<address1>", "<address2>", "<city>",
                           "<state>", "<zip>", "<country>"})},
      {"FormatLatin", layout({"<name>", "<title>", "<company>", "<address1>", "<address2>",
                              "<zip> <city> <state>", "<country>"})},
      {"FormatEurope", layout({"<name>", "<title>", "<company>", "<address1>", "<address2>",
                               "<zip> <city>", "<country>"})},
      // Company first, for mail addressed to a firm.
      {"FormatSpecial", layout({"<company>", "<name>", "<title>", "<address1>", "<address2>",
                                "<city> <state> <zip>", "<country>"})},
  };
}

void set(Table& t, const std::string& name, const std::string& value) { t.field(name).settext(value); }

}  // namespace

std::vector<FieldDef> contactfields() {
  std::vector<FieldDef> f = {
      alpha("DB", 20),
      alpha("Recno", 24),  // record keys run to 21 characters
      alpha("Salut", 20),
      alpha("FirstName", 30),
      alpha("Dear", 20),
      alpha("LastName", 30),
      alpha("Honor", 20),
      alpha("Title", 40),
      alpha("Company", 50),
      alpha("Assistant", 30),
      alpha("Addr1", 50),
      alpha("Addr2", 50),
      alpha("City", 30),
      alpha("State", 20),
      alpha("Zip", 11),
      alpha("Country", 30),
      alpha("Phone1", 25),
      alpha("Phone2", 25),
      alpha("Phone3", 25),
      alpha("Phone4", 25),
      alpha("Fax", 25),
      alpha("Email", 60),
      alpha("Category", 31),  // codes A-Z and 0-4, each at most once
      typed("Memo", FieldType::Memo),
      typed("MailAddr", FieldType::Memo),
      typed("SecondAddr", FieldType::Memo),
      typed("Marked", FieldType::Logical),
      typed("DateAdded", FieldType::Date),
      typed("TimeAdded", FieldType::Time),
      typed("DateChanged", FieldType::Date),
      typed("TimeChanged", FieldType::Time),
      alpha("LastLetterName", 40),
      typed("LastLetterNo", FieldType::Long),
  };
  numbered(f, "User", 10, FieldType::Alpha, 40);
  numbered(f, "Date", 10, FieldType::Date);
  numbered(f, "Num", 5, FieldType::Number);
  numbered(f, "Money", 5, FieldType::Money);
  f.push_back(typed("customid", FieldType::AutoInc));
  f.push_back(typed("eventdatetime", FieldType::Timestamp));
  return f;
}

std::vector<FieldDef> databasefields() {
  std::vector<FieldDef> f = {
      alpha("DB", 20),
      alpha("Description", 40),
      typed("DateImport", FieldType::Date),
      typed("TimeImport", FieldType::Time),
      typed("NumImport", FieldType::Long),
  };
  numbered(f, "User", 10, FieldType::Alpha, 40);
  numbered(f, "Date", 10, FieldType::Alpha, 40);
  numbered(f, "Num", 5, FieldType::Alpha, 40);
  numbered(f, "Money", 5, FieldType::Alpha, 40);
  f.push_back(alpha("Category", 40));
  return f;
}

std::vector<FieldDef> settingsfields() {
  std::vector<FieldDef> f = {
      typed("FormatSalut", FieldType::Logical),
      typed("FormatHonor", FieldType::Logical),
      typed("FormatWhich", FieldType::Short),
      alpha("lblCity", 20),
      alpha("lblState", 20),
      alpha("lblZip", 20),
      alpha("lblCountry", 20),
      alpha("LblAssistant", 20),
  };
  for (const auto& t : addresslayouts()) f.push_back(typed(t.field, FieldType::Memo));
  return f;
}

std::vector<std::pair<std::string, std::string>> maindatabaserow() {
  return {{"DB", "MAIN"},          {"Description", "Main contacts"}, {"User1", "Spouse"},
          {"User2", "Referred by"}, {"User3", "Web site"},          {"User4", "Account no."},
          {"Date1", "Birthday"},    {"Date2", "Anniversary"},       {"Date3", "Last meeting"},
          {"Num1", "Employees"},    {"Money1", "Annual sales"},     {"Money2", "Credit limit"},
          {"Category", "Category"}, {"NumImport", "0"}};
}

std::vector<std::pair<std::string, std::string>> startsettingsrow() {
  std::vector<std::pair<std::string, std::string>> row = {
      {"FormatSalut", "true"},  {"FormatHonor", "false"}, {"FormatWhich", "0"},
      {"lblCity", "City"},      {"lblState", "State"},    {"lblZip", "Zip"},
      {"lblCountry", "Country"}, {"LblAssistant", "Assistant"}};
  for (const auto& t : addresslayouts()) row.emplace_back(t.field, t.text);
  return row;
}

void createsampledatafolder(const std::string& dir) {
  for (const char* name : {"CONTACT.DB", "DATABASE.DB", "SETTINGS.DB"}) {
    std::string existing = findfile(dir, name);
    if (!existing.empty())
      throw EngineError("The folder " + dir + " already holds " + existing +
                        "; a data folder is never overwritten.");
  }
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) throw EngineError("Cannot create the folder " + dir + ": " + ec.message() + ".");

  createtable(joinpath(dir, "CONTACT.DB"), contactfields(), "Recno");
  createtable(joinpath(dir, "DATABASE.DB"), databasefields(), "DB");
  createtable(joinpath(dir, "SETTINGS.DB"), settingsfields());

  Table db;
  db.open(dir, "DATABASE.DB");
  db.newrow();
  for (const auto& [field, value] : maindatabaserow()) set(db, field, value);
  db.store();

  Table settings;
  settings.open(dir, "SETTINGS.DB");
  settings.newrow();
  for (const auto& [field, value] : startsettingsrow()) set(settings, field, value);
  settings.store();
}

}  // namespace vesper
