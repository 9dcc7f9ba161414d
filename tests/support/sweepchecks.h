// What a batch import that met a fault may leave behind, checked the same
// way whatever the store (app/faultsweep_test.cpp over a data folder,
// app/serversweep_test.cpp over a PostgreSQL server): each check gives what
// is wrong, empty when nothing.
//
//   SweepCheck c = checkrun(code, out, err, cleanread, "The connection to");
//   why += c.why + checkrows(rows, c.reported, half, lost) + checkbadlines(badtext, lines);
#pragma once

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

namespace vesper::testing {

// The number after the last `label` in `text`, -1 when there is none.
inline long long lastnumber(const std::string& text, const std::string& label) {
  const auto at = text.rfind(label);
  return at == std::string::npos ? -1 : std::atoll(text.c_str() + at + label.size());
}

// The records a run read: those read, those written to bad.csv and those
// the run could not write there.
inline long long recordsread(const std::string& out) {
  const std::size_t lostat = out.find("Rejected lines lost (");
  const long long badlost = lostat == std::string::npos ? 0 : lastnumber(out.substr(lostat), "): ");
  return lastnumber(out, "Records read: ") + std::max(0LL, lastnumber(out, "Rejected lines written to bad.csv: ")) +
         badlost;
}

// A contact row no import stores: one missing what every stored row has.
inline const char* const kHalfWrittenRow =
    "\"Recno\" is null or \"DB\" is null or \"DateAdded\" is null or coalesce(\"LastName\", '') = ''";

struct SweepCheck {
  std::string why;
  long long reported = 0;  // the rows the run said it imported
};

// The exit code, message and counts of a run: 0 or 1; a stopped run says
// why in a message holding `fault`; a run that ended well read all
// `cleanread` records and its summary and end message agree.
inline SweepCheck checkrun(int code, const std::string& out, const std::string& err, long long cleanread,
                           const std::string& fault = "") {
  SweepCheck c;
  if (code != 0 && code != 1) c.why += "exit code " + std::to_string(code) + "; ";
  if (code == 1 && (err.empty() || err.find(fault) == std::string::npos))
    c.why += fault.empty() ? "stopped without a message; " : "stopped without a message naming \"" + fault + "\"; ";
  if (code == 0 && recordsread(out) != cleanread)
    c.why += "ended well after reading " + std::to_string(recordsread(out)) + " of " + std::to_string(cleanread) + "; ";
  c.reported = std::max(0LL, lastnumber(out, "Finished. Imported "));
  if (code == 0 && lastnumber(out, "Imported: ") != c.reported) c.why += "the summary and end message differ; ";
  return c;
}

// The table holds `rows` after a run that reported `reported`, `half` of
// them half-written (as the query counted them); rows the run reported
// but the table lacks are added to `lost`.
inline std::string checkrows(long long rows, long long reported, const std::string& half, long& lost) {
  std::string why;
  if (rows < reported) lost += reported - rows;
  if (rows != reported) why += std::to_string(rows) + " rows for " + std::to_string(reported) + " reported; ";
  if (half != "0") why += half + " half-written rows; ";
  return why;
}

// The lines of a source file without their line ends.
inline std::set<std::string> linesof(const std::string& path) {
  std::set<std::string> lines;
  std::ifstream in(path, std::ios::binary);
  for (std::string l; std::getline(in, l);) {
    if (!l.empty() && l.back() == '\r') l.pop_back();
    lines.insert(l);
  }
  return lines;
}

// A generated list of `records` contacts with some bad lines in `dir`
// (contacts.csv and contacts.imp, by the generator at `generator`), its
// specification storing each record's reference (the last column) in User1
// so that a row stored twice shows, and few.csv, its first 20 lines, for the
// import after a run.  Returns the list's lines; empty when it could not be
// made.
inline std::set<std::string> makesweeplist(const std::string& generator, const std::string& dir, int records,
                                           int seed) {
  const std::string gen = "'" + generator + "' --records " + std::to_string(records) +
                          " --bad-percent 4 --seed " + std::to_string(seed) + " --out '" + dir +
                          "' --forms csv >/dev/null";
  if (std::system(gen.c_str()) != 0) return {};
  std::string spec;
  {
    std::ifstream in(dir + "/contacts.imp", std::ios::binary);
    spec.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  const auto at = spec.find("x1notused");
  if (at == std::string::npos) return {};
  spec.replace(at, 9, "User1");
  std::ofstream(dir + "/contacts.imp", std::ios::binary) << spec;
  std::ifstream in(dir + "/contacts.csv", std::ios::binary);
  std::ofstream few(dir + "/few.csv", std::ios::binary);
  std::string line;
  for (int i = 0; i < 20 && std::getline(in, line); ++i) few << line << "\n";
  return linesof(dir + "/contacts.csv");
}

// bad.csv holds whole lines of the source only.
inline std::string checkbadlines(const std::string& badtext, const std::set<std::string>& sourcelines) {
  std::string why;
  if (!badtext.empty() && badtext.substr(badtext.size() - std::min<std::size_t>(2, badtext.size())) != "\r\n")
    why += "bad.csv ends in a piece of a line; ";
  for (std::size_t p = 0, e; (e = badtext.find("\r\n", p)) != std::string::npos; p = e + 2)
    if (!sourcelines.count(badtext.substr(p, e - p))) {
      why += "bad.csv holds a line not of the source; ";
      break;
    }
  return why;
}

}  // namespace vesper::testing
