#include "source/formats/workbookparts.h"

#include <cstdio>
#include <cstdlib>

namespace vesper {

int cellcolumn(std::string_view ref) {
  long long col = 0;
  std::size_t i = 0;
  for (; i < ref.size(); ++i) {
    char c = ref[i];
    if (c == '$') continue;
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c < 'A' || c > 'Z') break;
    col = col * 26 + (c - 'A' + 1);
    if (col > kMaxSheetColumns) return kMaxSheetColumns + 1;
  }
  return static_cast<int>(col);
}

long long cellrow(std::string_view ref) {
  std::size_t i = 0;
  while (i < ref.size() && !(ref[i] >= '0' && ref[i] <= '9')) ++i;
  long long row = 0;
  for (; i < ref.size() && ref[i] >= '0' && ref[i] <= '9'; ++i) {
    row = row * 10 + (ref[i] - '0');
    if (row > (1LL << 40)) return 0;
  }
  return row;
}

void findmergerefs(std::string& text, std::vector<CellArea>& areas) {
  std::size_t done = 0;
  for (;;) {
    const std::size_t at = text.find("mergeCell ", done);
    if (at == std::string::npos) break;
    const std::size_t close = text.find('>', at);
    if (close == std::string::npos) {
      done = at;
      text.erase(0, done);
      return;
    }
    std::string_view element(text.data() + at, close - at);
    const std::size_t ref = element.find("ref=");
    if (ref != std::string_view::npos && ref + 5 < element.size()) {
      const char quote = element[ref + 4];
      const std::size_t end = element.find(quote, ref + 5);
      std::string_view value = element.substr(ref + 5, end == std::string_view::npos ? 0 : end - ref - 5);
      const std::size_t colon = value.find(':');
      if (colon != std::string_view::npos) {
        CellArea a{cellrow(value.substr(0, colon)), cellrow(value.substr(colon + 1)),
                   cellcolumn(value.substr(0, colon)), cellcolumn(value.substr(colon + 1))};
        areas.push_back(a);
      }
    }
    done = close + 1;
  }
  // Keep a tail long enough to hold the start of an element cut by the chunk.
  const std::size_t keep = 16;
  text.erase(0, text.size() > keep ? text.size() - keep : 0);
}

DateShow dateshowofformat(std::string_view code) {
  // Only the first section (positive numbers) decides.
  bool date = false, time = false;
  for (std::size_t i = 0; i < code.size(); ++i) {
    const char c = code[i];
    if (c == ';') break;
    if (c == '"') {
      const std::size_t end = code.find('"', i + 1);
      if (end == std::string_view::npos) break;
      i = end;
      continue;
    }
    if (c == '\\' || c == '_' || c == '*') {
      ++i;
      continue;
    }
    if (c == '[') {
      // Colours and conditions are no codes; [h], [mm], [ss] are elapsed time.
      const std::size_t end = code.find(']', i + 1);
      if (end == std::string_view::npos) break;
      const char first = i + 1 < end ? static_cast<char>(code[i + 1] | 0x20) : 0;
      if (first == 'h' || first == 's' || (first == 'm' && end == i + 2) ||
          (first == 'm' && end > i + 2 && (code[i + 2] | 0x20) == 'm'))
        time = true;
      i = end;
      continue;
    }
    const char l = static_cast<char>(c | 0x20);
    if (l == 'd' || l == 'y') date = true;
    else if (l == 'h' || l == 's') time = true;
    else if (l == 'm' && (c == 'm' || c == 'M')) {
      // A month among dates, minutes beside hours and seconds: decided below.
    }
  }
  if (!date && !time) {
    // "mmm" or "mmmm" alone is a month; a lone "m" with nothing else is too.
    for (char c : code)
      if (c == 'm' || c == 'M') return DateShow::Date;
    return DateShow::Number;
  }
  if (date && time) return DateShow::DateTime;
  return date ? DateShow::Date : DateShow::Time;
}

DateShow dateshowofbuiltin(int id) {
  if ((id >= 14 && id <= 17) || (id >= 27 && id <= 31) || (id >= 34 && id <= 36) ||
      (id >= 50 && id <= 58))
    return DateShow::Date;
  if ((id >= 18 && id <= 21) || (id >= 45 && id <= 47) || id == 32 || id == 33) return DateShow::Time;
  if (id == 22) return DateShow::DateTime;
  return DateShow::Number;
}

std::string isodatetext(std::string_view text) {
  const std::size_t t = text.find('T');
  if (t == std::string_view::npos) return std::string(text);
  std::string_view time = text.substr(t + 1);
  const std::size_t dot = time.find_first_of(".Z+");
  if (dot != std::string_view::npos) time = time.substr(0, dot);
  if (time.empty() || time == "00:00:00" || time == "00:00") return std::string(text.substr(0, t));
  return std::string(text.substr(0, t)) + " " + std::string(time);
}

std::string isotimetext(std::string_view text) {
  // PT[nH][nM][n[.f]S]
  int h = 0, m = 0;
  double s = 0;
  std::size_t i = text.find('T');
  if (i == std::string_view::npos) return std::string(text);
  std::string number;
  for (++i; i < text.size(); ++i) {
    const char c = text[i];
    if ((c >= '0' && c <= '9') || c == '.') {
      number += c;
      continue;
    }
    const double v = number.empty() ? 0 : std::strtod(number.c_str(), nullptr);
    number.clear();
    if (c == 'H') h = static_cast<int>(v);
    else if (c == 'M') m = static_cast<int>(v);
    else if (c == 'S') s = v;
  }
  const int sec = static_cast<int>(s + 0.5);
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", h, m, sec);
  return buffer;
}

std::string unescapecontrols(std::string_view text) {
  std::string out;
  std::size_t from = 0;
  for (std::size_t at = text.find("_x"); at != std::string_view::npos; at = text.find("_x", at + 1)) {
    if (at + 7 > text.size() || text[at + 6] != '_') continue;
    unsigned code = 0;
    bool hex = true;
    for (std::size_t i = at + 2; i < at + 6 && hex; ++i) {
      const char c = text[i];
      const int d = c >= '0' && c <= '9' ? c - '0' : (c | 0x20) >= 'a' && (c | 0x20) <= 'f' ? (c | 0x20) - 'a' + 10 : -1;
      hex = d >= 0;
      code = code * 16 + static_cast<unsigned>(d);
    }
    if (!hex || code >= 0x80) continue;  // only the ASCII ones are ever escaped for XML's sake
    out.append(text.substr(from, at - from));
    out += static_cast<char>(code);
    from = at + 7;
    at += 6;
  }
  if (from == 0) return std::string(text);
  out.append(text.substr(from));
  return out;
}

}  // namespace vesper
