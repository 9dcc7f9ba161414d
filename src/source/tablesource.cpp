#include "source/tablesource.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>

#include "parse/daycount.h"

namespace vesper {

namespace {

std::string twodigits(int n) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d", n);
  return buf;
}

std::string datetextof(int days) {
  int y = 0, m = 0, d = 0;
  decodedate(days, y, m, d);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", m, d, y);
  return buf;
}

std::string timetextof(double fraction) {
  int h = 0, m = 0, s = 0, ms = 0;
  decodetime(fraction, h, m, s, ms);
  return twodigits(h) + ":" + twodigits(m) + ":" + twodigits(s);
}

std::string firstline(const std::string& text) {
  auto end = text.find_first_of("\r\n");
  return end == std::string::npos ? text : text.substr(0, end);
}

}  // namespace

std::string FormatHashDotHash(double value) {
  if (!std::isfinite(value)) return {};
  // The value's 15 significant digits, then rounding to two decimals on those
  // digits, so that 12.345 (held as 12.3449999...) gives 12.35 as written.
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.14e", std::fabs(value));
  // buf: d.dddddddddddddde[+-]xx
  std::string digits;
  for (const char* p = buf; *p && *p != 'e'; ++p)
    if (*p != '.') digits += *p;
  int exponent = std::atoi(std::strchr(buf, 'e') + 1);
  // Digits before the decimal point: exponent + 1 (may be <= 0).
  int intdigits = exponent + 1;
  int keep = intdigits + 2;  // digits kept up to the second decimal
  if (keep < 0) return {};
  std::string kept = digits.substr(0, std::min<std::size_t>(digits.size(), static_cast<std::size_t>(keep)));
  bool roundup = static_cast<std::size_t>(keep) < digits.size() && digits[static_cast<std::size_t>(keep)] >= '5';
  // Work on an integer string of hundredths.
  while (static_cast<int>(kept.size()) < keep) kept += '0';
  if (kept.empty()) kept.push_back('0');
  if (roundup) {
    int i = static_cast<int>(kept.size()) - 1;
    while (i >= 0 && kept[static_cast<std::size_t>(i)] == '9') kept[static_cast<std::size_t>(i--)] = '0';
    if (i < 0)
      kept = "1" + kept;
    else
      ++kept[static_cast<std::size_t>(i)];
  }
  // kept is now the value in hundredths.
  if (kept.size() < 3) kept = std::string(3 - kept.size(), '0') + kept;
  std::string whole = kept.substr(0, kept.size() - 2);
  std::string frac = kept.substr(kept.size() - 2);
  whole.erase(0, whole.find_first_not_of('0'));
  while (!frac.empty() && frac.back() == '0') frac.pop_back();
  if (whole.empty() && frac.empty()) return {};
  std::string out = value < 0 ? "-" : "";
  out += whole;
  if (!frac.empty()) out += "." + frac;
  return out;
}

std::string TableValueText(TableColumnType type, const TableValue& value) {
  if (value.null) return {};
  switch (type) {
    case TableColumnType::String: return value.text;
    case TableColumnType::Short:
    case TableColumnType::Long: return std::to_string(value.integer);
    case TableColumnType::Float:
    case TableColumnType::Currency: return FormatHashDotHash(value.number);
    case TableColumnType::Date:
    case TableColumnType::DateTime: return datetextof(value.date);
    case TableColumnType::Time: return timetextof(value.time);
    case TableColumnType::Memo: return firstline(value.text);
    default: return {};
  }
}

std::string SourceTable::columnname(int index) const {
  if (!file_ || index < 0 || index >= columncount()) return {};
  return file_->columns()[static_cast<std::size_t>(index)].name;
}

int OpenSourceTable(SourceTable& table, const std::string& path, int kind) {
  table.close();
  try {
    table.file_ = table.opener_(path, kind == 2 ? TableFormat::DBase : TableFormat::Paradox);
  } catch (const std::exception&) {
    table.file_.reset();  // refused: no message now, the column count of 0 says it
  }
  return table.columncount();
}

std::string GetTableField(SourceTable& table, int index, int k) {
  SourceTableFile* file = table.file();
  if (!file) return {};
  if (k >= 1) {
    file->first();
    for (int row = 1; row < k && !file->atend(); ++row) file->next();
  }
  if (file->atend() || index < 0 || index >= table.columncount()) return {};
  return TableValueText(file->columns()[static_cast<std::size_t>(index)].type, file->value(index));
}

int TableRowCount(SourceTable& table) {
  SourceTableFile* file = table.file();
  if (!file) return 0;
  long long n = file->recordcount();
  return n > 0x7fffffff ? 0x7fffffff : static_cast<int>(n);
}

}  // namespace vesper
