// Fuzzes the two personal name splitters and the word operations they share.
//
// Input: the whole input is one name text.
// Checked: every part within its capacity (characters); no part holds a byte
// that the input did not supply, apart from the blanks put between words, the
// full stop after an initial and the "-" of an empty surname; a title is
// taken from the front only (what is left is the end of the text) and a
// suffix from the end only (what is left is the start of the text).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "parse/names.h"
#include "parse/text.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

void checkparts(const vesper::NameParts& p, const std::string& in) {
  using namespace vesper;
  check(textlength(p.Prefix) <= PrefixCapacity);
  check(textlength(p.First) <= FirstCapacity);
  check(textlength(p.Middle) <= MiddleCapacity);
  check(textlength(p.Last) <= LastCapacity);
  check(textlength(p.Suffix) <= SuffixCapacity);
  int budget[256] = {};
  for (unsigned char c : in) ++budget[c];
  for (const std::string* part : {&p.Prefix, &p.First, &p.Middle, &p.Last, &p.Suffix})
    for (unsigned char c : *part)
      if (c != ' ' && c != '.' && c != '-') check(--budget[c] >= 0);
  if (in.empty()) check(p.Last == "-" && p.First.empty() && p.Prefix.empty());
}

bool endswith(std::string_view s, std::string_view tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vesper;
  const std::string in(reinterpret_cast<const char*>(data), size);
  checkparts(splitfirstlast(in), in);
  checkparts(splitlastfirst(in), in);

  NameParts p;
  std::string_view text = in;
  if (takefronttitle(text, p)) {
    check(text.size() < in.size() && endswith(in, text));
    check(text.empty() || text[0] == ' ');
  } else {
    check(text == in && p.Prefix.empty());
  }
  text = in;
  if (takesuffixatend(text, p)) {
    check(text.size() < in.size() && std::string_view(in).substr(0, text.size()) == text);
    check(textlength(p.Suffix) <= SuffixCapacity);
  } else {
    check(text == in);
  }
  text = in;
  NameParts q;
  if (takesuffixatfront(text, q)) check(text.size() < in.size() && endswith(in, text));
  else check(text == in);
  return 0;
}
