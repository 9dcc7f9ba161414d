#include "source/vcardsource.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

#include "parse/names.h"
#include "source/sourcestate.h"

namespace vesper {

// clang-format off
const std::array<const char*, kVCardFieldCount> kVCardFieldNames = {
  "Formatted Name", "Family Name", "Given Name", "Additional Names", "Honorific Prefixes",
  "Honorific Suffixes", "Organization", "Department", "Job Title", "Role", "Nickname",
  "Work Street", "Work Street 2", "Work City", "Work State", "Work Postal Code", "Work Country",
  "Home Street", "Home Street 2", "Home City", "Home State", "Home Postal Code", "Home Country",
  "Other Street", "Other Street 2", "Other City", "Other State", "Other Postal Code", "Other Country",
  "Work Phone", "Work Phone 2", "Home Phone", "Home Phone 2", "Mobile Phone", "Mobile Phone 2",
  "Fax", "Fax 2", "Other Phone", "Other Phone 2",
  "E-mail 1", "E-mail 2", "E-mail 3", "Web Page 1", "Web Page 2",
  "Birthday", "Anniversary", "Notes", "Categories", "UID",
  "Mailing Street", "Mailing Street 2", "Mailing City", "Mailing State", "Mailing Postal Code",
  "Mailing Country",
};
// clang-format on

namespace {

// Where each field's list starts (from 0).
enum Slot {
  kFormatted = 0, kFamily = 1, kOrg = 6, kUnit = 7, kTitle = 8, kRole = 9, kNick = 10,
  kAddresses = 11,  // three of six: street, street 2, city, region, postal code, country
  kPhones = 29,     // five groups of two: work, home, mobile, fax, other
  kEmails = 39, kUrls = 42, kBirthday = 44, kAnniversary = 45, kNote = 46, kCategories = 47,
  kUid = 48,
  kMailing = 49,  // one more address of six, copied from the first typed one with a value
};
constexpr int kAddressParts = 6;
constexpr int kWork = 0, kHome = 1, kOther = 2;
constexpr int kMobile = 2, kFaxes = 3, kOtherPhone = 4;

bool hastype(const VCardProperty& p, std::string_view prefix) {
  for (const std::string& t : p.types)
    if (t.compare(0, prefix.size(), prefix) == 0) return true;
  return false;
}

bool isblankchar(char c) { return c == ' ' || c == '\t'; }

// Appends the value's text with its escapes undone to `out`; a break becomes
// `newline`.  On one line (`newline` not a line break) breaks at the ends are
// dropped, a run of them is one ", " and blanks at the ends go: "1st
// Floor=0D=0A(or PO Box 888)=0D=0A" gives "1st Floor, (or PO Box 888)".
// What `out` held already is left as it is.
void unescapeto(std::string& out, std::string_view v, std::string_view newline) {
  const bool oneline = newline != "\n";
  const std::size_t start = out.size();
  // Most values are plain: nothing to undo, at most blanks to trim.
  std::size_t i = 0;
  while (i < v.size() && v[i] != '\\' && v[i] != '\n' && v[i] != '\r') ++i;
  if (i == v.size()) {
    if (oneline) {
      while (!v.empty() && isblankchar(v.front())) v.remove_prefix(1);
      while (!v.empty() && isblankchar(v.back())) v.remove_suffix(1);
    }
    out.append(v);
    return;
  }
  out.reserve(start + v.size());
  bool pending = false;  // a break not written yet (one line only)
  auto put = [&](char c) {
    if (pending && out.size() > start) out += newline;
    pending = false;
    out += c;
  };
  for (i = 0; i < v.size(); ++i) {
    char c = v[i];
    bool isbreak = false;
    if (c == '\\' && i + 1 < v.size()) {
      char e = v[++i];
      if (e == 'n' || e == 'N') isbreak = true;
      else put(e);
    } else if (c == '\n' || c == '\r') {  // a raw break, kept by a quoted-printable value
      if (c == '\r' && i + 1 < v.size() && v[i + 1] == '\n') ++i;
      isbreak = true;
    } else {
      put(c);
    }
    if (!isbreak) continue;
    if (!oneline) {
      out += newline;
    } else {
      while (out.size() > start && isblankchar(out.back())) out.pop_back();
      pending = true;
    }
  }
  if (oneline) {
    while (out.size() > start && isblankchar(out.back())) out.pop_back();
    std::size_t lead = start;
    while (lead < out.size() && isblankchar(out[lead])) ++lead;
    out.erase(start, lead - start);
  }
}

// The text of a plain value on one line, into `out` (its content replaced).
void oneline(std::string& out, std::string_view v) {
  out.clear();
  unescapeto(out, v, ", ");
}

// Hands the parts of a structured value, split at the semicolons not
// escaped, to `each(index, part)`: the first `most` of them.
template <class Each>
void eachpart(std::string_view v, std::size_t most, Each each) {
  std::size_t from = 0, index = 0;
  for (std::size_t i = 0; i <= v.size() && index < most; ++i) {
    if (i + 1 < v.size() && v[i] == '\\') {  // a lone backslash at the end stands for itself
      ++i;
      continue;
    }
    if (i == v.size() || v[i] == ';') {
      each(index++, v.substr(from, i - from));
      from = i + 1;
    }
  }
}

// A date's day: the time after it dropped.
void dayof(std::string& v) {
  if (auto t = v.find('T'); t != std::string::npos && t >= 4) v.resize(t);
}

// The properties a card's fields come from: the tags of wanted names.
enum Tag {
  kNotWanted = 0, kTagFn, kTagN, kTagOrg, kTagDepartment, kTagTitle, kTagRole, kTagNickname, kTagAdr, kTagTel,
  kTagEmail, kTagUrl, kTagBday, kTagAnniversary, kTagNote, kTagCategories, kTagUid,
};

struct Wanted {
  std::string_view name;
  Tag tag;
};
constexpr Wanted kWanted[] = {
    {"FN", kTagFn},     {"N", kTagN},         {"ORG", kTagOrg},           {"X-DEPARTMENT", kTagDepartment},
    {"TITLE", kTagTitle}, {"ROLE", kTagRole}, {"NICKNAME", kTagNickname}, {"ADR", kTagAdr},
    {"TEL", kTagTel},   {"EMAIL", kTagEmail}, {"URL", kTagUrl},           {"BDAY", kTagBday},
    {"ANNIVERSARY", kTagAnniversary},         {"X-ANNIVERSARY", kTagAnniversary},
    {"NOTE", kTagNote}, {"CATEGORIES", kTagCategories},                   {"UID", kTagUid},
};

}  // namespace

void VCardFields::startcard() {
  for (std::string& v : values_) v.clear();
  phones_ = {};
  emails_ = urls_ = 0;
  addresses_[0] = addresses_[1] = addresses_[2] = false;
}

int VCardFields::wanted(std::string_view n) const {
  // Length and first letter pass over most of the list without comparing.
  for (const Wanted& w : kWanted)
    if (w.name.size() == n.size() && w.name[0] == n[0] && w.name == n) return w.tag;
  return kNotWanted;
}

const std::string& VCardFields::value(int field) const {
  static const std::string kNone;
  if (field < 1 || field > kVCardFieldCount) return kNone;
  return values_[static_cast<std::size_t>(field - 1)];
}

// Values are written straight into the fields, whose room is kept from card
// to card, so that a card costs no allocation once the first few are read.
void VCardFields::property(const VCardProperty& p) {
  auto slot = [&](int at) -> std::string& { return values_[static_cast<std::size_t>(at)]; };
  // A field the card gave already keeps its first value.
  auto first = [&](int at) {
    if (slot(at).empty()) oneline(slot(at), p.value);
  };
  switch (p.tag) {
    case kTagFn: first(kFormatted); break;
    case kTagN:
      if (!slot(kFamily).empty() || !slot(kFamily + 1).empty()) return;
      for (int i = 0; i < 5; ++i) slot(kFamily + i).clear();
      eachpart(p.value, 5, [&](std::size_t i, std::string_view part) {
        unescapeto(slot(kFamily + static_cast<int>(i)), part, ", ");
      });
      break;
    case kTagOrg: {
      const bool org = slot(kOrg).empty(), unit = slot(kUnit).empty();
      eachpart(p.value, 2, [&](std::size_t i, std::string_view part) {
        if (i == 0 ? org : unit) unescapeto(slot(i == 0 ? kOrg : kUnit), part, ", ");
      });
      break;
    }
    case kTagDepartment: first(kUnit); break;
    case kTagTitle: first(kTitle); break;
    case kTagRole: first(kRole); break;
    case kTagNickname: first(kNick); break;
    case kTagCategories: first(kCategories); break;
    case kTagUid: first(kUid); break;
    case kTagAdr: {
      int kind = hastype(p, "work") ? kWork : hastype(p, "home") ? kHome : kOther;
      if (addresses_[kind]) kind = !addresses_[kOther] ? kOther : !addresses_[kHome] ? kHome : kWork;
      if (addresses_[kind]) return;
      addresses_[kind] = true;
      // box; extended; street; city; region; code; country.  Box and
      // extended part are the second street line, joined by ", "; some
      // address books write the whole address into the extended part and
      // leave the street empty: it is the street then.
      std::string* const at = &slot(kAddresses + kAddressParts * kind);
      for (int i = 0; i < kAddressParts; ++i) at[i].clear();
      eachpart(p.value, 7, [&](std::size_t i, std::string_view part) {
        if (i >= 2) {
          unescapeto(at[i == 2 ? 0 : i - 1], part, ", ");
          return;
        }
        const std::size_t before = at[1].size();
        if (before) at[1] += ", ";
        unescapeto(at[1], part, ", ");
        if (before && at[1].size() == before + 2) at[1].resize(before);  // an empty part joins nothing
      });
      if (at[0].empty()) at[0].swap(at[1]);
      break;
    }
    case kTagTel: {
      const int group = hastype(p, "fax") || hastype(p, "homefax") || hastype(p, "workfax") ? kFaxes
                        : hastype(p, "cell") || hastype(p, "mobile") || hastype(p, "iphone") ? kMobile
                        : hastype(p, "pager") || hastype(p, "car")                           ? kOtherPhone
                        : hastype(p, "work")                                                 ? kWork
                        : hastype(p, "home")                                                 ? kHome
                                                                                             : kOtherPhone;
      if (phones_[group] >= 2) return;
      std::string& v = slot(kPhones + 2 * group + phones_[group]++);
      oneline(v, p.value);
      if (v.compare(0, 4, "tel:") == 0) v.erase(0, 4);
      break;
    }
    case kTagEmail:
      if (emails_ < 3) oneline(slot(kEmails + emails_++), p.value);
      break;
    case kTagUrl:
      if (urls_ < 2) oneline(slot(kUrls + urls_++), p.value);
      break;
    case kTagBday:
    case kTagAnniversary: {
      std::string& v = slot(p.tag == kTagBday ? kBirthday : kAnniversary);
      if (!v.empty()) return;
      oneline(v, p.value);
      dayof(v);
      break;
    }
    case kTagNote: {
      std::string& note = slot(kNote);
      if (note.size() >= kMaxValueBytes) return;  // a bound on what one card holds
      if (!note.empty()) note += '\n';
      unescapeto(note, p.value, "\n");
      break;
    }
    default: break;
  }
}

void VCardFields::endcard() {
  // The address a letter goes to: the work address, else home, else other.
  for (int kind : {kWork, kHome, kOther}) {
    const auto from = values_.begin() + kAddresses + kAddressParts * kind;
    if (std::all_of(from, from + kAddressParts, [](const std::string& v) { return v.empty(); })) continue;
    std::copy(from, from + kAddressParts, values_.begin() + kMailing);
    break;
  }
  // A card with a formatted name but no name parts (many have no N, or an
  // empty one) gets them from the formatted name, given names first.  A
  // company's card, whose formatted name is the organisation, keeps none, nor
  // does a card that names its owner by an e-mail address.
  const std::string& formatted = values_[kFormatted];
  if (formatted.empty() || formatted == values_[kOrg] || formatted.find('@') != std::string::npos) return;
  for (int i = kFamily; i < kFamily + 5; ++i)
    if (!values_[static_cast<std::size_t>(i)].empty()) return;
  NameParts n = splitfirstlast(formatted);
  std::string* const to[] = {&values_[kFamily], &values_[kFamily + 1], &values_[kFamily + 2],
                             &values_[kFamily + 3], &values_[kFamily + 4]};
  const std::string* const from[] = {&n.Last, &n.First, &n.Middle, &n.Prefix, &n.Suffix};
  for (std::size_t i = 0; i < 5; ++i) {
    std::string_view v = *from[i];
    while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
    *to[i] = v;
  }
}

bool isvcardfile(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char head[512];
  ssize_t n = ::pread(fd, head, sizeof head, 0);
  ::close(fd);
  return n > 0 && looksvcard(std::string_view(head, static_cast<std::size_t>(n)));
}

// --- the source ---

VCardSource::VCardSource(SourceState& state) : state_(state) {}

int VCardSource::kind() const { return kVCard; }

std::string VCardSource::openfailure(const std::string& path) const {
  VCardReader probe;
  if (probe.open(path)) return {};
  return "The source file " + path + " could not be read.";
}

std::string VCardSource::fieldname(int field) const {
  if (field < 1 || field > kVCardFieldCount) return {};
  return kVCardFieldNames[static_cast<std::size_t>(field - 1)];
}

bool VCardSource::ensureopen() {
  if (reader_.isopen()) return true;
  path_ = state_.SourceFile.Name;
  return reader_.open(path_);
}

void VCardSource::rewind() {
  if (reader_.isopen()) reader_.rewind();
  else ensureopen();
}

bool VCardSource::more() { return ensureopen() && !state_.ImportStopped && !reader_.atend(); }

VCardReader::BadLine VCardSource::badsink() {
  return [this](std::string_view line) {
    state_.NoBadRecords = false;
    if (badline_) badline_(line);
    if (afterline_) afterline_();
  };
}

bool VCardSource::next() {
  if (!ensureopen() || state_.ImportStopped) return false;
  if (!reader_.nextcard(card_, badsink())) return false;
  if (afterline_) afterline_();
  return true;
}

std::string_view VCardSource::value(int field) { return card_.value(field); }

ReadProgress VCardSource::readprogress() const {
  if (!reader_.isopen()) return {};
  return {reader_.offset(), reader_.size()};
}

void VCardSource::tellend() { state_.messages.errormessage("The record is empty"); }

std::string VCardSource::sample(int field, int record) {
  constexpr int kSampleCards = 50;
  if (!sampled_) {
    sampled_ = true;
    VCardReader own;
    if (own.open(state_.SourceFile.Name)) {
      VCardFields card;
      while (static_cast<int>(samples_.size()) < kSampleCards && own.nextcard(card, {}))
        samples_.push_back(card);
    }
  }
  if (record < 1 || record > static_cast<int>(samples_.size())) return {};
  return samples_[static_cast<std::size_t>(record - 1)].value(field);
}

int VCardSource::count(const CountProgress& progress) {
  VCardReader own;
  if (!own.open(state_.SourceFile.Name)) return 0;
  // Only whether a card ends matters here: no value is kept.
  struct Nothing final : VCardSink {
    void startcard() override {}
    void property(const VCardProperty&) override {}
    int wanted(std::string_view) const override { return 0; }
  } nothing;
  int cards = 0;
  while (!state_.CountCancelled && own.nextcard(nothing, {})) {
    if (++cards % 10 == 0 && progress.show) progress.show(cards);
    if (progress.letinputrun) progress.letinputrun();
    else state_.messages.processevents();
  }
  return cards;
}

}  // namespace vesper
