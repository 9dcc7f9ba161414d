#include "parse/mailblock.h"

#include "parse/countries.h"
#include "parse/text.h"

namespace vesper {

namespace {
// Replacement passes per line: a placeholder written more often than this on
// one line keeps its later occurrences.
constexpr int kFillPasses = 4;

// Where `key` first occurs in `text`, ASCII letter case ignored.
std::size_t findnocase(std::string_view text, std::string_view key) {
  if (key.size() > text.size()) return std::string_view::npos;
  const char first = lowerchar(key[0]);
  for (std::size_t i = 0; i + key.size() <= text.size(); ++i) {
    if (lowerchar(text[i]) != first) continue;
    std::size_t k = 1;
    while (k < key.size() && lowerchar(text[i + k]) == lowerchar(key[k])) ++k;
    if (k == key.size()) return i;
  }
  return std::string_view::npos;
}
}  // namespace

std::string_view AddressTemplates::byfield(std::string_view field) const {
  if (field == "FormatUS") return FormatUS;
  if (field == "FormatCanada") return FormatCanada;
  if (field == "FormatUK") return FormatUK;
  if (field == "FormatLatin") return FormatLatin;
  if (field == "FormatEurope") return FormatEurope;
  if (field == "FormatSpecial") return FormatSpecial;
  return {};
}

std::string mailname(const MailRow& row, const MailSettings& settings) {
  const std::string salut = cuttext(row.Salut, kMailValueCapacity);
  std::string name;
  if (settings.FormatSalut && !salut.empty()) name = salut + " ";
  name += cuttext(row.FirstName, kMailValueCapacity) + " " +
          cuttext(row.LastName, kMailValueCapacity);
  if (settings.FormatHonor) name += " " + cuttext(row.Honor, kMailValueCapacity);
  return cuttext(name, kPlaceholderValueCapacity);
}

// The whole "<caption>" is the key (at most 17 characters).  Cutting the key
// itself to fewer characters would leave the tail of a long caption's
// placeholder, e.g. "e>" of "<postal/zip code>", behind in the block.
std::string captionkey(std::string_view caption) {
  return "<" + lowertext(cuttext(caption, kCaptionCapacity)) + ">";
}

PlaceholderTable makeplaceholders(const MailRow& row, const MailSettings& settings) {
  auto value = [](const std::string& v) {
    return cuttext(cuttext(v, kMailValueCapacity), kPlaceholderValueCapacity);
  };
  return {
      {"<company>", value(row.Company)},
      {"<name>", mailname(row, settings)},
      {"<title>", value(row.Title)},
      {"<address1>", value(row.Addr1)},
      {"<address2>", value(row.Addr2)},
      {captionkey(settings.lblCity), value(row.City)},
      {captionkey(settings.lblState), value(row.State)},
      {captionkey(settings.lblZip), value(row.Zip)},
      {captionkey(settings.lblCountry), value(row.Country)},
      {"<dear>", value(row.Dear)},
  };
}

std::string fillplaceholders(std::string_view line, const PlaceholderTable& table) {
  std::string out = cuttext(line, kTemplateLineCapacity);
  for (int pass = 0; pass < kFillPasses && out.find('<') != std::string::npos; ++pass) {
    for (const Placeholder& p : table) {
      if (p.key.empty()) continue;  // an empty key would match everywhere
      const std::size_t at = findnocase(out, p.key);
      if (at == std::string::npos) continue;
      out.replace(at, p.key.size(), p.value);
      // A text of no more bytes than the capacity has no more characters either.
      if (out.size() > kTemplateLineCapacity) out = cuttext(out, kTemplateLineCapacity);
    }
  }
  return out;
}

std::vector<std::string> templatelines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.emplace_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

std::string composemailblock(const MailRow& row, const MailSettings& settings,
                             const AddressTemplates& templates, Messages& messages) {
  const PlaceholderTable table = makeplaceholders(row, settings);
  const int format = chooseformat(cuttext(row.Zip, kMailValueCapacity),
                                  cuttext(row.Country, kMailValueCapacity),
                                  settings.FormatWhich);
  const std::string field = format2field(format, messages);
  if (field.empty()) return {};
  std::string block;
  for (const std::string& line : templatelines(templates.byfield(field))) {
    std::string filled = fillplaceholders(line, table);
    if (isblank(filled)) continue;
    block += filled;
    block += "\r\n";
  }
  return block;
}

}  // namespace vesper
