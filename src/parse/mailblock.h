// The mailing-address block of a contact and its placeholder language.
//
// Contract: pure functions of their arguments; `composemailblock` may show the
// plain message of `format2field` when the default format number is out of
// range (the contact then gets the empty block).  Nothing here fails.
//
// A template is the text of one settings memo: lines separated by CR LF, LF
// or CR.  Each line (at most 200 characters) is filled from the placeholder
// table; lines that come out blank (empty or only space, CR, LF, backspace)
// are dropped, and every kept line is followed by CR LF.  The record transfer
// writes the block into both `MailAddr` and `SecondAddr` of the new row.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/seams.h"

namespace vesper {

constexpr std::size_t kMailValueCapacity = 64;         // each row value read
constexpr std::size_t kPlaceholderValueCapacity = 60;  // each placeholder value
constexpr std::size_t kTemplateLineCapacity = 200;     // each template line
constexpr std::size_t kCaptionCapacity = 15;           // lblCity and the others

// The contact row values the block is made of, as text.
struct MailRow {
  std::string Company, Salut, FirstName, LastName, Honor, Title;
  std::string Addr1, Addr2, City, State, Zip, Country, Dear;
};

// The same values seen where they lie (in the contact's own row), so that a
// block is composed without copying them first.
struct MailRowView {
  std::string_view Company, Salut, FirstName, LastName, Honor, Title;
  std::string_view Addr1, Addr2, City, State, Zip, Country, Dear;
  MailRowView() = default;
  MailRowView(const MailRow& r)  // implicit: a row of strings serves wherever a view is asked for
      : Company(r.Company), Salut(r.Salut), FirstName(r.FirstName), LastName(r.LastName),
        Honor(r.Honor), Title(r.Title), Addr1(r.Addr1), Addr2(r.Addr2), City(r.City),
        State(r.State), Zip(r.Zip), Country(r.Country), Dear(r.Dear) {}
};

// The settings read once per run from the first row of the settings table.
struct MailSettings {
  bool FormatSalut = false;  // Salut in front of the name in "<name>"
  bool FormatHonor = false;  // Honor after the name in "<name>"
  int FormatWhich = 0;       // default format for unrecognised countries
  std::string lblCity, lblState, lblZip, lblCountry;  // the database's captions
};

// The six address-format templates (settings memo fields of the same names).
struct AddressTemplates {
  std::string FormatUS, FormatCanada, FormatUK, FormatLatin, FormatEurope, FormatSpecial;
  // The template held by the settings field `field`; empty for any other name.
  std::string_view byfield(std::string_view field) const;
};

struct Placeholder {
  std::string key;    // matched without regard to ASCII letter case
  std::string value;  // inserted as stored
};
using PlaceholderTable = std::vector<Placeholder>;

// The "<name>" value: [Salut + " "] + FirstName + " " + LastName
// [+ " " + Honor], cut to 60 characters.
std::string mailname(const MailRow& row, const MailSettings& settings);

// "<" + caption in lower case + ">" for a caption cut to 15 characters; an
// empty caption gives "<>".
std::string captionkey(std::string_view caption);

// The ten pairs, in replacement order: <company>, <name>, <title>,
// <address1>, <address2>, the city, state, postal-code and country captions,
// <dear>.  Row values are cut to 64 characters, then each value to 60.
PlaceholderTable makeplaceholders(const MailRow& row, const MailSettings& settings);

// One template line filled: cut to 200 characters, then up to four passes
// while the line holds a "<"; in each pass every pair in order replaces the
// first occurrence of its key, and the line is cut to 200 again.
std::string fillplaceholders(std::string_view line, const PlaceholderTable& table);

// The lines of a memo text; a final line break adds no empty line.
std::vector<std::string> templatelines(std::string_view text);

// The mailing block of one contact: the format chosen from Zip, Country and
// FormatWhich, its template filled line by line, blank lines dropped, each
// kept line followed by CR LF.  Empty when no line is kept or the format
// number is out of range (after the plain message of format2field).
std::string composemailblock(const MailRow& row, const MailSettings& settings,
                             const AddressTemplates& templates, Messages& messages);

// The mailing blocks of a whole import run, whose settings and templates do
// not change: the templates are split into lines and the placeholder keys
// made once, and each contact only fills in the ten values.  `compose` gives
// exactly the block of `composemailblock` for the same row (the message of an
// out-of-range format number included) and reuses its buffers, so a run of
// contacts allocates nothing once the buffers have grown.
class MailBlockComposer {
 public:
  MailBlockComposer(MailSettings settings, const AddressTemplates& templates);
  // The block of one contact; valid until the next call.
  const std::string& compose(const MailRowView& row, Messages& messages);

 private:
  static constexpr int kFormats = 6;  // the format numbers format2field names
  static constexpr int kPairs = 10;
  // A template line, cut to 200.  When every "<" in it begins a key, each
  // key a different one (and the keys hold no other "<" or ">" and differ
  // from each other), `places` lists them in line order: filling the line
  // with values that hold no "<" and fit in 200 bytes with it is then putting
  // each value in its key's place, in one go.
  struct Line {
    std::string text;
    bool direct = false;
    std::vector<std::pair<std::size_t, int>> places;  // position, pair
  };
  const std::string& fill(std::string_view line);
  bool filldirect(const Line& line);
  MailSettings settings_;
  std::array<std::vector<Line>, kFormats> lines_;  // by format number
  std::array<std::string, kPairs> keys_;            // in lower case
  // The values of the contact being composed: views into its row, the name
  // into name_.
  std::array<std::string_view, kPairs> values_;
  std::string name_, line_, block_;
  std::vector<std::size_t> opens_;  // where line_ holds a "<", in order
  bool valuesopen_ = false;          // a value of the contact holds a "<"
};

}  // namespace vesper
