// Fuzzer for the standard reading of delimited text: layout recognition, the
// record reader, samples and count over arbitrary bytes.
//
// Properties checked on every input:
//  - nothing crashes and memory stays bounded: no value is longer than a
//    record may be (its line breaks given as CR LF at most double it), no bad
//    line longer than what is kept of one;
//  - every record has at least SourceFieldCount values, every bad line is a
//    piece of the file (the input made ASCII, so that the text read is the
//    bytes written), in file order;
//  - the count equals the records the run reads.
// Once per process the bound is tried on purpose: a value of 10 MB in quotes
// that never close is one bad line of the kept length, and no record.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "source/recordsource.h"
#include "source/sourcestate.h"
#include "source/standardcsv.h"
#include "source/tablesource.h"
#include "support/fakes.h"

namespace {

using namespace vesper;

void check(bool ok) {
  if (!ok) std::abort();
}

// Takes a line for a header when every cell is a short word of letters.
bool words(const std::vector<std::string>& cells) {
  for (const std::string& c : cells) {
    if (c.empty() || c.size() > 20) return false;
    for (char ch : c)
      if (!((ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || ch == ' ')) return false;
  }
  return true;
}

struct Reading {
  int records = 0;
  std::vector<std::string> bad;
};

Reading readAll(SourceState& state, SourceTable& table, const std::string& path, std::string_view data,
                LayoutChoice choice) {
  { std::ofstream(path, std::ios::binary | std::ios::trunc) << data; }
  state.SourceLayoutChoice = choice;
  SourceIdentity id = IdentifySource(state, path, table, words);
  state.SourceType = id.kind;
  state.SourceFieldCount = id.fieldcount;
  Reading r;
  if (state.SourceLayout.quoting != Quoting::Standard) return r;
  std::unique_ptr<RecordSource> source = MakeRecordSource(state, table);
  std::size_t at = 0;
  source->setbadlinesink([&](std::string_view line) {
    check(line.size() <= kMaxKeptBytes);
    std::size_t found = data.find(line, at);
    check(found != std::string_view::npos);
    at = found + line.size();
    r.bad.emplace_back(line.substr(0, 64));
  });
  source->sample(1, 2);
  source->rewind();
  while (source->next()) {
    ++r.records;
    check(r.records <= static_cast<int>(data.size()) + 1);
    for (int i = 1; i <= state.SourceFieldCount; ++i) check(source->value(i).size() <= 2 * kMaxRecordBytes);
  }
  check(source->count({}) == r.records);
  source->close();
  return r;
}

void tenMegabytes(SourceState& state, SourceTable& table, const std::string& path) {
  std::string big = "Name,Notes\r\nAnn,\"";
  big.append(10 * 1024 * 1024, 'x');
  big += "\r\nBob,b\r\n";
  Reading r = readAll(state, table, path, big, {});
  check(r.records == 0 && r.bad.size() == 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  static testing::QuietMessages messages;
  static testing::FixedClock clock;
  static testing::FixedDisk disk;
  static SourceState state(messages, clock, disk);
  static SourceTable table([](const std::string&, TableFormat) -> std::unique_ptr<SourceTableFile> {
    return nullptr;
  });
  static const std::string path = "/tmp/vesper-standardcsv-fuzz-" + std::to_string(::getpid()) + ".csv";
  static bool bound = (tenMegabytes(state, table, path), true);
  (void)bound;
  if (size == 0) return 0;
  // The first byte picks the choice; the rest is the file.
  const std::uint8_t pick = bytes[0];
  LayoutChoice choice;
  static const char kSeparators[] = {0, ',', ';', '\t', '|'};
  choice.separator = kSeparators[pick % 5];
  choice.header = static_cast<HeaderChoice>((pick / 5) % 3);
  choice.quoting = (pick / 15) % 2 ? QuotingChoice::Standard : QuotingChoice::Auto;
  std::string ascii(reinterpret_cast<const char*>(bytes) + 1, size - 1);
  for (char& c : ascii) c = static_cast<char>(c & 0x7f);
  readAll(state, table, path, ascii, choice);
  return 0;
}
