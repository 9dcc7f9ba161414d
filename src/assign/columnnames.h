// The column names that contact exports write in their header line, and
// what each one means for a contact.
//
// Contract: pure functions.  Names are compared by their `columnkey`: letter
// case, accents, blanks, punctuation and a leading byte order mark do not
// count ("E-mail Address", "e_mail address" and "EMAIL ADDRESS" are one
// name).  The dictionary holds the headings of the common mail programs,
// address books, phone contact exports and spreadsheets in English, German,
// French, Spanish, Italian, Dutch and Portuguese, and the contact fields'
// own names and fixed labels.  A heading with a number in it that the
// dictionary does not hold as written is looked up again with each run of
// digits standing for any number ("Phone 7 - Value" as "Phone # - Value").
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vesper {

enum class ColumnRole {
  Unknown,     // not a column name of any export we know
  Known,       // a column exports write that holds nothing a contact keeps
  Field,       // a contact field by its own name (`field`)
  FullName,    // the whole name, first name first
  GivenName,
  FamilyName,
  MiddleName,
  NamePrefix,  // "Mr.", "Dr."
  NameSuffix,  // "Jr.", "PhD"
  PrefixOrJobTitle,  // "Title": the name prefix where a job title column is beside it
  Company,
  JobTitle,
  Street,
  Street2,
  City,
  State,
  Zip,
  Country,
  Phone,       // `rank` orders the phones: 1 business, 2 mobile, 3 home, 4 other...
  Fax,
  Email,
  Notes,
  Birthday,
  Anniversary,
  WebPage,     // a web address: kept where a field is labelled for one
  KindOf,      // says what the other columns of its group are ("Phone 1 - Type")
};

// Whose address or phone a column holds.  Mailing: the one address of each
// record that letters go to, whichever kind it is (the exporting program chose
// it record by record).
enum class Place { None, Business, Home, Other, Mailing };

struct ColumnMeaning {
  ColumnRole role = ColumnRole::Unknown;
  Place place = Place::None;
  int rank = 0;            // phones: lower first; 0 for a phone of no stated kind
  const char* field = "";  // ColumnRole::Field: the contact field
};

// The name as compared: accents off, letters in lower case, only letters and
// digits kept (letters of other scripts kept as they are).
std::string columnkey(std::string_view name);

// What a column of this name holds.
ColumnMeaning meaningofcolumn(std::string_view name);

// What the value of a group's "Type" or "Label" column says the group's
// phone or address is ("Work", "* Home", "Mobile", "Work Fax"): role Phone
// or Fax with its place and rank, or Unknown for a value of no known kind.
ColumnMeaning meaningofkind(std::string_view value);

// The group a column belongs to: the key of its name before the last " - "
// ("Address 1 - City" is of group "address1"); empty when it has none.
std::string columngroup(std::string_view name);

// A cell that holds data rather than a column name: an e-mail or web
// address, a date, a number of five or more digits, a phone number, any
// text of digits and punctuation alone, or a text led by a number.
bool lookslikedata(std::string_view cell);

// Whether a line's cells are a header line: more than half of the non-empty
// cells are known column names and none looks like data.
bool isheaderline(const std::vector<std::string>& cells);

}  // namespace vesper
