// Fuzzes the placeholder filler and the mailing-block composer with arbitrary
// templates, captions and row values.
//
// Input: one flag byte (bit 0 FormatSalut, bit 1 FormatHonor), one byte for
// FormatWhich (as a signed value), then fields separated by 0x1F: the thirteen
// row values, the four captions, the six templates, and extra key/value pairs
// for a free-form placeholder table.  Missing fields are empty.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "parse/countries.h"
#include "parse/mailblock.h"
#include "parse/text.h"

namespace {

class CountingMessages : public vesper::Messages {
 public:
  int shown = 0;
  void beep() override { std::abort(); }  // nothing here may beep
  void errormessage(const std::string&) override { std::abort(); }
  void infomessage(const std::string&) override { std::abort(); }
  void plainmessage(const std::string&) override { ++shown; }
  void processevents() override {}
};

void check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vesper;
  if (size < 2) return 0;
  MailSettings settings;
  settings.FormatSalut = data[0] & 1;
  settings.FormatHonor = data[0] & 2;
  settings.FormatWhich = static_cast<std::int8_t>(data[1]);

  std::vector<std::string> f;
  f.emplace_back();
  for (std::size_t i = 2; i < size; ++i) {
    if (data[i] == 0x1F) f.emplace_back();
    else f.back() += static_cast<char>(data[i]);
  }
  auto field = [&](std::size_t i) -> const std::string& {
    static const std::string empty;
    return i < f.size() ? f[i] : empty;
  };

  MailRow row{field(0), field(1), field(2),  field(3),  field(4),  field(5), field(6),
              field(7), field(8), field(9), field(10), field(11), field(12)};
  settings.lblCity = field(13);
  settings.lblState = field(14);
  settings.lblZip = field(15);
  settings.lblCountry = field(16);
  AddressTemplates templates{field(17), field(18), field(19), field(20), field(21), field(22)};

  // The placeholder table respects its capacities.
  const PlaceholderTable table = makeplaceholders(row, settings);
  check(table.size() == 10);
  for (const Placeholder& p : table) {
    check(textlength(p.value) <= kPlaceholderValueCapacity);
    check(!p.key.empty() && textlength(p.key) <= kCaptionCapacity + 2);
  }

  // Every filled line of every template stays within 200 characters.
  std::size_t lines = 0;
  for (int n = 0; n < 6; ++n) {
    CountingMessages quiet;
    for (const std::string& line : templatelines(templates.byfield(format2field(n, quiet)))) {
      check(textlength(fillplaceholders(line, table)) <= kTemplateLineCapacity);
      ++lines;
    }
  }

  // The block: at most one message, only for an out-of-range default; a
  // non-empty block ends with CR LF and is bounded by its template's lines.
  CountingMessages messages;
  const std::string block = composemailblock(row, settings, templates, messages);
  const int format = chooseformat(cuttext(row.Zip, kMailValueCapacity),
                                  cuttext(row.Country, kMailValueCapacity),
                                  settings.FormatWhich);
  check(messages.shown == (format > 5 ? 1 : 0));
  if (format > 5) check(block.empty());
  if (!block.empty()) check(block.size() >= 2 && block.compare(block.size() - 2, 2, "\r\n") == 0);
  check(textlength(block) <= lines * (kTemplateLineCapacity + 2));

  // A free-form table from the remaining fields: arbitrary keys (an empty one
  // included) and values of any length.
  PlaceholderTable free;
  for (std::size_t i = 23; i + 1 < f.size(); i += 2) free.push_back({f[i], f[i + 1]});
  for (const std::string& line : templatelines(templates.FormatUS))
    check(textlength(fillplaceholders(line, free)) <= kTemplateLineCapacity);
  return 0;
}
