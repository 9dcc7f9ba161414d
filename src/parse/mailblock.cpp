#include "parse/mailblock.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

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
  MailBlockComposer composer(settings, templates);
  return composer.compose(row, messages);
}

namespace {
// Where the lower-case `key` first occurs in `text`, ASCII letter case of the
// text ignored.  A key that starts with a character other than a letter is
// looked for by that character alone first (every placeholder starts with
// "<"), which passes over the literal text quickly.
std::size_t findkey(std::string_view text, std::string_view key) {
  if (key.size() > text.size()) return std::string_view::npos;
  const char first = key[0];
  const std::size_t last = text.size() - key.size();
  const bool exact = !isletterchar(first);
  for (std::size_t i = 0; i <= last; ++i) {
    if (exact) {
      const void* hit = std::memchr(text.data() + i, first, last - i + 1);
      if (!hit) return std::string_view::npos;
      i = static_cast<std::size_t>(static_cast<const char*>(hit) - text.data());
    } else if (lowerchar(text[i]) != first) {
      continue;
    }
    std::size_t k = 1;
    while (k < key.size() && lowerchar(text[i + k]) == key[k]) ++k;
    if (k == key.size()) return i;
  }
  return std::string_view::npos;
}
}  // namespace

MailBlockComposer::MailBlockComposer(MailSettings settings, const AddressTemplates& templates)
    : settings_(std::move(settings)) {
  SilentMessages none;  // format2field has no message for the numbers in its range
  for (int f = 0; f < kFormats; ++f)
    for (const std::string& line : templatelines(templates.byfield(format2field(f, none))))
      lines_[f].push_back(Line{cuttext(line, kTemplateLineCapacity), false, {}});
  const std::string fixed[kPairs] = {"<company>", "<name>", "<title>", "<address1>", "<address2>",
                                     captionkey(settings_.lblCity), captionkey(settings_.lblState),
                                     captionkey(settings_.lblZip), captionkey(settings_.lblCountry),
                                     "<dear>"};
  for (int k = 0; k < kPairs; ++k) keys_[k] = lowertext(fixed[k]);
  // Keys that end where their first ">" is and hold no "<" after the first
  // character, all different: at a "<" of a line at most one of them begins,
  // and what other values do after it cannot change which.
  bool plain = true;
  for (int k = 0; k < kPairs; ++k) {
    const std::string& key = keys_[k];
    plain = plain && key.size() >= 2 && key.front() == '<' && key.find('<', 1) == std::string::npos &&
            key.find('>') == key.size() - 1;
    for (int j = 0; j < k; ++j) plain = plain && keys_[j] != key;
  }
  if (!plain) return;
  for (auto& format : lines_) {
    for (Line& line : format) {
      const std::string& text = line.text;
      bool direct = true;
      std::array<bool, kPairs> used{};
      for (std::size_t at = text.find('<'); direct && at != std::string::npos; at = text.find('<', at + 1)) {
        int found = -1;
        for (int k = 0; k < kPairs && found < 0; ++k)
          if (findkey(std::string_view(text).substr(at), keys_[k]) == 0) found = k;
        direct = found >= 0 && !used[found];
        if (!direct) break;
        used[found] = true;
        line.places.emplace_back(at, found);
        at += keys_[found].size() - 1;
      }
      line.direct = direct;
      if (!direct) line.places.clear();
    }
  }
}


// The line filled by putting each value in its key's place, added to the end
// of block_; false (nothing added) when a value holds a "<" or the line might
// pass 200 bytes on the way (keys are replaced in key order, and the line is
// cut whenever it does).
bool MailBlockComposer::filldirect(const Line& line) {
  if (!line.direct || valuesopen_) return false;
  std::size_t most = line.text.size();  // every value that is longer than its key put in
  std::size_t size = line.text.size();  // every value put in
  for (const auto& [at, k] : line.places) {
    if (values_[k].size() > keys_[k].size()) most += values_[k].size() - keys_[k].size();
    size += values_[k].size();
    size -= keys_[k].size();  // each key stands in the line: the size stays positive
  }
  if (most > kTemplateLineCapacity) return false;
  const std::size_t start = block_.size();
  block_.resize(start + size);
  char* o = block_.data() + start;
  const char* text = line.text.data();
  std::size_t from = 0;
  for (const auto& [at, k] : line.places) {
    o = copyshort(o, text + from, at - from);
    o = copyshort(o, values_[k].data(), values_[k].size());
    from = at + keys_[k].size();
  }
  copyshort(o, text + from, line.text.size() - from);
  return true;
}

// fillplaceholders of `line` (cut to 200 already) into line_, which it returns.  Every key
// starts with "<", so a key is only compared where the line holds one: the
// positions of the "<"s are listed once and, after a replacement, listed
// again from the replaced key on (the value may bring its own).
const std::string& MailBlockComposer::fill(std::string_view line) {
  line_.assign(line.data(), line.size());
  opens_.clear();
  auto listopens = [this](std::size_t from) {
    for (std::size_t at = line_.find('<', from); at != std::string::npos; at = line_.find('<', at + 1))
      opens_.push_back(at);
  };
  listopens(0);
  for (int pass = 0; pass < kFillPasses && !opens_.empty(); ++pass) {
    for (int k = 0; k < kPairs; ++k) {
      const std::string& key = keys_[k];
      if (key.empty()) continue;
      std::size_t at = std::string::npos;
      if (key[0] != '<') {
        at = findkey(line_, key);
      } else {
        for (std::size_t open : opens_) {
          if (open + key.size() > line_.size()) break;
          std::size_t i = 1;
          while (i < key.size() && lowerchar(line_[open + i]) == key[i]) ++i;
          if (i == key.size()) {
            at = open;
            break;
          }
        }
      }
      if (at == std::string::npos) continue;
      line_.replace(at, key.size(), values_[k]);
      if (line_.size() > kTemplateLineCapacity) line_.resize(cutview(line_, kTemplateLineCapacity).size());
      opens_.erase(std::lower_bound(opens_.begin(), opens_.end(), at), opens_.end());
      listopens(at);
    }
  }
  return line_;
}

const std::string& MailBlockComposer::compose(const MailRowView& row, Messages& messages) {
  block_.clear();
  const int format = chooseformat(cutview(row.Zip, kMailValueCapacity),
                                  cutview(row.Country, kMailValueCapacity), settings_.FormatWhich);
  if (format < 0 || format >= kFormats) {
    format2field(format, messages);  // its message; a number out of range names no template
    return block_;
  }
  // The ten values; each row value counts with its first 64 characters and
  // each value with its first 60, which is the first 60 of the row value.
  auto put = [this](int k, std::string_view v) { values_[k] = cutview(v, kPlaceholderValueCapacity); };
  put(0, row.Company);
  std::string& name = name_;
  name.clear();
  if (settings_.FormatSalut && !row.Salut.empty()) (name += cutview(row.Salut, kMailValueCapacity)) += ' ';
  name += cutview(row.FirstName, kMailValueCapacity);
  name += ' ';
  name += cutview(row.LastName, kMailValueCapacity);
  if (settings_.FormatHonor) (name += ' ') += cutview(row.Honor, kMailValueCapacity);
  name.resize(cutview(name, kPlaceholderValueCapacity).size());
  values_[1] = name;
  put(2, row.Title);
  put(3, row.Addr1);
  put(4, row.Addr2);
  put(5, row.City);
  put(6, row.State);
  put(7, row.Zip);
  put(8, row.Country);
  put(9, row.Dear);
  valuesopen_ = false;
  for (std::string_view v : values_) valuesopen_ = valuesopen_ || v.find('<') != std::string_view::npos;
  for (const Line& line : lines_[format]) {
    const std::size_t start = block_.size();
    if (!filldirect(line)) block_ += fill(line.text);
    if (isblank(std::string_view(block_).substr(start))) {
      block_.resize(start);
      continue;
    }
    block_ += "\r\n";
  }
  return block_;
}

}  // namespace vesper
