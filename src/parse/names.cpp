#include "parse/names.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "parse/nametables.h"
#include "parse/text.h"

namespace vesper {

namespace {

// Position (1-based) of the first space, 0 when there is none.
std::size_t firstblank(std::string_view text) {
  std::size_t p = text.find(' ');
  return p == std::string_view::npos ? 0 : p + 1;
}

// Bytes of the character that starts at byte i: the byte and the UTF-8
// continuation bytes after it (the same notion of a character as cuttext).
std::size_t charbytes(std::string_view text, std::size_t i) {
  std::size_t n = 1;
  while (i + n < text.size() && (static_cast<unsigned char>(text[i + n]) & 0xC0) == 0x80) ++n;
  return n;
}

// The second character's first byte, or 0 when the text has one character.
char secondchar(std::string_view text) {
  if (text.empty()) return 0;
  std::size_t i = charbytes(text, 0);
  return i < text.size() ? text[i] : 0;
}

// Cleaning without copying: leading blanks (space, CR, LF, backspace) off the
// front, then trailing blanks (space, tab) off the end.
std::string_view cleanview(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && isleadingblank(text[i])) ++i;
  text.remove_prefix(i);
  while (!text.empty() && istrailingblank(text.back())) text.remove_suffix(1);
  return text;
}

std::string_view trimleftview(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && isleadingblank(text[i])) ++i;
  return text.substr(i);
}

// "Add X to a part": one blank, then X, held to the part's capacity.
// Joined in place: only a part that passes its capacity in bytes can pass it
// in characters, and then it keeps the characters that fit.
void addto(std::string& part, std::string_view x, std::size_t capacity) {
  part += ' ';
  part += x;
  if (part.size() > capacity) part.resize(cutview(part, capacity).size());
}

// "Extend a part with X": X without a blank, held to the part's capacity.
void extend(std::string& part, std::string_view x, std::size_t capacity) {
  part += x;
  if (part.size() > capacity) part.resize(cutview(part, capacity).size());
}

// A word table for lookups by the whole word, ASCII letter case ignored: the
// words in lower case, packed into two machine words with their length, in a
// hash table of four times as many places as words (linear probing), so a
// lookup is one case-folding copy and a probe or two (none for a length no
// word has).  Words longer than 16 bytes would be compared one by one; the
// tables hold none.
class WordSet {
 public:
  template <std::size_t N>
  explicit WordSet(const std::array<std::string_view, N>& words) {
    while ((std::size_t{1} << bits_) < 4 * N) ++bits_;
    places_.resize(std::size_t{1} << bits_);
    for (std::string_view w : words) {
      if (w.empty()) {
        empty_ = true;
      } else if (w.size() <= kPacked) {
        const Key k = keyof(w);
        sizes_ |= 1u << w.size();
        std::size_t at = place(k);
        while (places_[at].size != 0 && !(places_[at] == k)) at = (at + 1) & (places_.size() - 1);
        places_[at] = k;
      } else {
        long_.push_back(w);
      }
    }
  }
  bool contains(std::string_view word) const {
    if (word.empty()) return empty_;
    if (word.size() <= kPacked) {
      if (!(sizes_ >> word.size() & 1)) return false;
      const Key k = keyof(word);
      for (std::size_t at = place(k);; at = (at + 1) & (places_.size() - 1)) {
        if (places_[at].size == 0) return false;  // an empty place ends the probe
        if (places_[at] == k) return true;
      }
    }
    for (std::string_view w : long_)
      if (sametext(word, w)) return true;
    return false;
  }

 private:
  static constexpr std::size_t kPacked = 16;
  struct Key {
    std::uint64_t front = 0, back = 0;
    std::size_t size = 0;  // 0: an empty place
    bool operator==(const Key&) const = default;
  };
  static Key keyof(std::string_view w) {
    char folded[kPacked] = {};
    for (std::size_t i = 0; i < w.size(); ++i) folded[i] = lowerchar(w[i]);
    Key k;
    k.size = w.size();
    std::memcpy(&k.front, folded, 8);
    std::memcpy(&k.back, folded + 8, 8);
    return k;
  }
  std::size_t place(const Key& k) const {
    const std::uint64_t h = (k.front * 0x9E3779B97F4A7C15ull) ^ (k.back * 0xC2B2AE3D27D4EB4Full) ^ k.size;
    return static_cast<std::size_t>((h ^ (h >> 29)) * 0x9E3779B97F4A7C15ull >> (64 - bits_));
  }
  std::vector<Key> places_;
  int bits_ = 1;
  std::uint32_t sizes_ = 0;  // bit n: some packed word has n bytes
  bool empty_ = false;       // the table holds an empty word
  std::vector<std::string_view> long_;
};

const WordSet& titles() {
  static const WordSet set(TitleWords);
  return set;
}
const WordSet& suffixes() {
  static const WordSet set(SuffixWords);
  return set;
}
const WordSet& particles() {
  static const WordSet set(ParticleWords);
  return set;
}

// The word is a table word, or a table word followed by a full stop.
bool intable(std::string_view word, const WordSet& table) {
  if (table.contains(word)) return true;
  return !word.empty() && word.back() == '.' && table.contains(word.substr(0, word.size() - 1));
}

// A suffix word at the end of a name: the whole word, or the word followed by
// ".", "," or ";" and possibly more ("Jr.," and "MD;PhD" are suffixes).  So
// the candidates are the whole word and the part before each of those marks.
bool suffixatend(std::string_view word) {
  if (suffixes().contains(word)) return true;
  for (std::size_t i = 0; i < word.size(); ++i) {
    const char c = word[i];
    if ((c == '.' || c == ',' || c == ';') && suffixes().contains(word.substr(0, i))) return true;
  }
  return false;
}

}  // namespace

bool takefronttitle(std::string_view& text, NameParts& parts) {
  std::size_t w = text.find(' ');
  if (w == std::string_view::npos) w = text.size();
  std::string_view word = text.substr(0, w);
  if (word.empty()) return false;
  if (!intable(word, titles()) && !sametext(word, "and") && word != "&") return false;
  addto(parts.Prefix, word, PrefixCapacity);
  text.remove_prefix(w);  // the blank after the word stays in front of the rest
  return true;
}

bool isparticle(std::string_view text) {
  std::size_t w = text.find(' ');
  if (w == std::string_view::npos) return false;
  return particles().contains(text.substr(0, w));
}

bool takesuffixatend(std::string_view& text, NameParts& parts) {
  std::size_t b = text.rfind(' ');
  if (b == std::string_view::npos) return false;
  std::string_view tail = text.substr(b);  // " word"
  if (!suffixatend(tail.substr(1))) return false;
  addto(parts.Suffix, tail, SuffixCapacity);
  // The tail is cut off where it stands, at the end.  Searching the text for
  // the first occurrence of the tail instead would cut " Sr" out of
  // "Ravi Srinivasan Sr" and leave "Raviinivasan Sr".
  text = text.substr(0, b);
  return true;
}

bool takesuffixatfront(std::string_view& text, NameParts& parts) {
  std::size_t w = text.find(' ');
  if (w == std::string_view::npos) w = text.size();
  std::string_view word = text.substr(0, w);
  if (word.empty() || !intable(word, suffixes())) return false;
  std::string joined(word);
  joined += ' ';
  joined += parts.Suffix;
  parts.Suffix = cuttext(joined, SuffixCapacity);
  text.remove_prefix(w);
  return true;
}

// States of splitfirstlast.
namespace {
enum FirstLastState {
  kFirstLastStart = 0,       // nothing recognised yet
  kFirstLastTitle = 1,       // a title was taken from the front
  kFirstLastNoTitle = 2,     // no more titles
  kFirstLastSuffix = 3,      // a suffix was taken from the end
  kFirstLastGiven = 4,       // taking given names and initials
  kFirstLastParticle = 5,    // a particle starts the surname
};
}  // namespace

NameParts splitfirstlast(std::string_view input) {
  NameParts parts;
  if (input.empty()) {
    parts.Last.push_back('-');  // an empty name still has a surname mark
    return parts;
  }
  // Commas become blanks; a name without one is worked on where it stands.
  std::string buffer;
  std::string_view text = input;  // the working text only ever shrinks
  if (input.find(',') != std::string_view::npos) {
    buffer = replacechar(input, ',', ' ');
    text = buffer;
  }
  int state = kFirstLastStart;
  for (;;) {
    text = cleanview(text);
    std::size_t w = firstblank(text);
    if (w == 0 && state == kFirstLastStart) {  // one word: a given name alone
      parts.First = cuttext(text, FirstCapacity);
      break;
    }
    if (state == kFirstLastParticle) {  // the particle and all after it
      parts.Last = cuttext(text, LastCapacity);
      break;
    }
    if (state > kFirstLastStart && w == 0) {  // the last word left
      parts.Last = cuttext(text, LastCapacity);
      break;
    }
    if (state < kFirstLastNoTitle) state = takefronttitle(text, parts) ? kFirstLastTitle : kFirstLastNoTitle;
    if (state == kFirstLastGiven) {
      // w still holds for the text: no operation ran on it in this round.
      std::string_view word = text.substr(0, w - 1);
      std::size_t c1 = charbytes(word, 0);
      bool initial = !parts.First.empty() &&
                     ((c1 == word.size() && word != "&") ||
                      (c1 + 1 == word.size() && word.back() == '.'));
      if (isparticle(text)) {
        state = kFirstLastParticle;
      } else if (initial) {
        std::string letter(word.substr(0, c1));
        letter += '.';
        addto(parts.Middle, letter, MiddleCapacity);
        text.remove_prefix(w - 1);
      } else {
        addto(parts.First, word, FirstCapacity);
        text.remove_prefix(w - 1);
      }
    }
    if (state == kFirstLastNoTitle || state == kFirstLastSuffix)
      state = takesuffixatend(text, parts) ? kFirstLastSuffix : kFirstLastGiven;
  }
  return parts;
}

// States of splitlastfirst.
namespace {
enum LastFirstState {
  kLastFirstStart = 0,         // nothing recognised yet
  kLastFirstFrontTitle = 1,    // a title was taken at the very front
  kLastFirstNoFrontTitle = 2,  // no (more) titles at the front
  kLastFirstSurname = 3,       // the next word is the surname
  kLastFirstSurnameTaken = 4,  // the surname is taken
  kLastFirstTitleAfter = 5,    // a title was taken after the surname
  kLastFirstSuffixes = 6,      // looking for suffixes after the surname
  kLastFirstGiven = 7,         // the next word is a given name or an initial
};
}  // namespace

NameParts splitlastfirst(std::string_view input) {
  NameParts parts;
  if (input.empty()) {
    parts.Last.push_back('-');  // an empty name still has a surname mark
    return parts;
  }
  std::string buffer(input);
  std::string_view text = buffer;  // the working text only ever shrinks
  int state = kLastFirstStart;
  for (;;) {
    text = cleanview(text);
    std::size_t w = firstblank(text);
    if (w == 0 && state == kLastFirstStart) {  // one word, commas still in it
      if (!text.empty() && text.back() == ',') {
        parts.Last = cuttext(text.substr(0, text.size() - 1), LastCapacity);
      } else if (!text.empty() && text.front() == ',') {
        parts.First = cuttext(text.substr(1), FirstCapacity);
        parts.Last.push_back('-');
      } else {
        parts.Last = cuttext(text, LastCapacity);
      }
      break;
    }
    // Commas become blanks.  The whole buffer is changed in place in the first
    // round (the view keeps pointing into it), so later rounds find none.
    if (state == kLastFirstStart)
      for (char& c : buffer)
        if (c == ',') c = ' ';
    text = cleanview(text);
    w = firstblank(text);
    if (state == kLastFirstSurnameTaken || state == kLastFirstTitleAfter)
      state = takefronttitle(text, parts) ? kLastFirstTitleAfter : kLastFirstSuffixes;
    if (state == kLastFirstSuffixes) state = takesuffixatfront(text, parts) ? kLastFirstSuffixes : kLastFirstGiven;
    if (w == 0) {  // one word was left before the title or suffix test
      if (state <= kLastFirstSurname)
        addto(parts.Last, text, LastCapacity);
      else if (text.empty())
        ;  // the word was a title or a suffix
      else if (!parts.First.empty() && secondchar(text) == '.')
        addto(parts.Middle, text, MiddleCapacity);
      else
        addto(parts.First, text, FirstCapacity);
      break;
    }
    if (state < kLastFirstNoFrontTitle)
      state = takefronttitle(text, parts) ? kLastFirstFrontTitle : kLastFirstNoFrontTitle;
    text = trimleftview(text);
    if (state == kLastFirstNoFrontTitle) {
      if (isparticle(text)) {  // the particle joins the surname word after it
        std::size_t b = text.find(' ');
        extend(parts.Last, text.substr(0, b + 1), LastCapacity);
        text.remove_prefix(b + 1);
      }
      state = kLastFirstSurname;
    }
    w = firstblank(text);
    if (state == kLastFirstSurname) {
      state = kLastFirstSurnameTaken;
      if (w == 0) {
        extend(parts.Last, text, LastCapacity);
        break;
      }
      extend(parts.Last, text.substr(0, w), LastCapacity);
      text.remove_prefix(w);
    }
    w = firstblank(text);
    if (w == 0 || state != kLastFirstGiven) continue;
    // A given name or an initial, with more words after it.
    char second = secondchar(text);
    if (!parts.First.empty() && (second == ' ' || second == '.')) {
      addto(parts.Middle, text.substr(0, w), MiddleCapacity);
      text.remove_prefix(w - 1);
      state = kLastFirstSurnameTaken;
      continue;
    }
    addto(parts.First, text.substr(0, w), FirstCapacity);
    text = trimleftview(text.substr(w - 1));
    w = firstblank(text);
    if (w > 0 && sametext(text.substr(0, w), "AND ")) {
      // "John and Mary": the "and" and the next name stay in the given names
      addto(parts.First, text.substr(0, w), FirstCapacity);
      text.remove_prefix(w - 1);
      extend(parts.First, " ", FirstCapacity);
    }
    state = kLastFirstSurnameTaken;
  }
  return parts;
}

}  // namespace vesper
