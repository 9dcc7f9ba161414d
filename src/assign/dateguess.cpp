// Guessing the layout of dates from the values of a column.
#include <map>
#include <string>
#include <vector>

#include "assign/dates.h"
#include "assign/proposal.h"

namespace vesper {

namespace {

struct Token {
  std::string text;
  bool number = false;
};

// The runs of digits and of letters, and the first character between them.
std::vector<Token> tokensof(const std::string& value, char& separator) {
  std::vector<Token> out;
  separator = 0;
  for (std::size_t i = 0; i < value.size();) {
    unsigned char c = value[i];
    bool digit = c >= '0' && c <= '9';
    bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (!digit && !letter) {
      if (out.size() == 1 && !separator && c != ' ') separator = static_cast<char>(c);
      ++i;
      continue;
    }
    std::size_t j = i;
    while (j < value.size() && (digit ? (value[j] >= '0' && value[j] <= '9')
                                      : ((value[j] | 0x20) >= 'a' && (value[j] | 0x20) <= 'z')))
      ++j;
    out.push_back({value.substr(i, j - i), digit});
    i = j;
  }
  return out;
}

// The value of a run of digits, read no further than four of them.
int small(const std::string& digits) {
  int n = 0;
  for (std::size_t i = 0; i < digits.size() && i < 4; ++i) n = n * 10 + (digits[i] - '0');
  return n;
}

// What the numeric values of day-month-year dates say about their order.
struct NumericVotes {
  int count = 0;
  int fourdigityears = 0;
  bool dayfirst = false;    // a first part above 12
  bool monthfirst = false;  // a second part above 12
  char separator = 0;       // of the first such date
};

}  // namespace

int guessdateformat(const std::vector<std::string>& values) {
  std::map<int, int> votes;  // layout code -> values written so
  NumericVotes numeric;
  for (const std::string& value : values) {
    char separator = 0;
    std::vector<Token> t = tokensof(value, separator);
    if (t.size() == 1 && t[0].number && t[0].text.size() == 8) {
      int year = small(t[0].text.substr(0, 4));
      if (year >= 1800 && year <= 2199) ++votes[2];
      continue;
    }
    if (t.size() != 3) continue;
    int named = -1;
    for (int k = 0; k < 3; ++k)
      if (!t[k].number) named = monthfromname(t[k].text) && named < 0 ? k : 9;
    if (named == 9 || named == 2) continue;  // a word that is no month, or two
    if (named == 0) {
      ++votes[t[2].text.size() == 4 ? 10 : 9];
      continue;
    }
    if (named == 1) {
      if (t[0].text.size() == 4) ++votes[8];
      else if (t[2].text.size() == 4) ++votes[12];
      else if (small(t[0].text) > 31) ++votes[7];
      else ++votes[11];
      continue;
    }
    if (t[0].text.size() == 4) {
      ++votes[2];
      continue;
    }
    if (t[0].text.size() > 2 || t[1].text.size() > 2) continue;
    ++numeric.count;
    if (t[2].text.size() == 4) ++numeric.fourdigityears;
    if (small(t[0].text) > 12) numeric.dayfirst = true;
    if (small(t[1].text) > 12) numeric.monthfirst = true;
    if (!numeric.separator) numeric.separator = separator;
  }
  int best = 2, bestcount = 0;
  for (auto [code, count] : votes)
    if (count > bestcount) best = code, bestcount = count;
  if (numeric.count <= bestcount) return best;
  bool dayfirst = numeric.dayfirst && !numeric.monthfirst;
  if (!numeric.dayfirst && !numeric.monthfirst)
    dayfirst = numeric.separator == '.' || numeric.separator == '-';
  bool year4 = 2 * numeric.fourdigityears >= numeric.count;
  if (dayfirst) return year4 ? 6 : 5;
  return year4 ? 4 : 3;
}

}  // namespace vesper
