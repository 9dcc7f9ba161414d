// Fuzzer for the delimited scanner, the line-per-field join and the run's
// record reader.
//
// Properties checked on every input:
//  - the field count equals the number of fields split out, the split fields
//    joined with commas give the line back, and each extracted field is the
//    cleaned split field, never longer than the line;
//  - values joined into a line-per-field record come back unchanged, each in
//    its place;
//  - reading the input as a delimited file, every record and every bad line
//    is a piece of the file as it stands, in file order.  The file is the
//    input made ASCII (high bit cleared): the line reader decodes other
//    encodings to UTF-8, and ASCII is the text that every encoding delivers
//    byte for byte.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "source/delimited.h"
#include "support/fakes.h"
#include "source/lineperfield.h"
#include "source/sourceline.h"
#include "source/sourcestate.h"

namespace {

using namespace vesper;

using QuietMessages = testing::QuietMessages;
using StillClock = testing::FixedClock;
using BigDisk = testing::FixedDisk;

void check(bool ok) {
  if (!ok) std::abort();
}

void scanner(std::string_view line) {
  const int n = CountDelimitedFields(line);
  auto parts = SplitDelimitedLine(line);
  check(n >= 1 && static_cast<int>(parts.size()) == n);
  std::string back;
  for (int i = 0; i < n; ++i) {
    if (i) back += ',';
    back += parts[static_cast<std::size_t>(i)];
    std::string field = GetDelimitedField(line, i + 1);
    std::string want = CleanValue(parts[static_cast<std::size_t>(i)]);
    std::replace(want.begin(), want.end(), kJoinedComma, ',');
    check(field == want);
    check(field.size() <= line.size());
  }
  check(back == line);
  check(GetDelimitedField(line, n + 1).empty());
}

void join(SourceState& state, std::string_view data) {
  std::vector<std::string> values;
  std::size_t start = 0;
  while (start <= data.size()) {
    std::size_t end = data.find('\n', start);
    if (end == std::string_view::npos) end = data.size();
    std::string v(data.substr(start, end - start));
    for (char& c : v)
      if (static_cast<unsigned char>(c) < 32) c = ' ';  // as the line reader gives them
    values.push_back(CleanValue(v));
    start = end + 1;
  }
  state.JoinLength = 0;
  std::size_t joined = 0;
  while (joined < values.size() && JoinValue(state, values[joined])) ++joined;
  check(state.RecordLength() <= kLineCapacity);
  std::string_view record = state.RecordBuffer.view();
  if (joined > 0) check(CountDelimitedFields(record) == static_cast<int>(joined));
  for (std::size_t i = 0; i < joined; ++i)
    check(GetDelimitedField(record, static_cast<int>(i + 1)) == values[i]);
}

void readFile(SourceState& state, const std::string& path, std::string_view data) {
  { std::ofstream(path, std::ios::binary | std::ios::trunc) << data; }
  state.SourceFile.setup(state.messages, path, "Source file");
  state.SourceFieldCount = CountFirstLineFields(state);
  RewindSourceFile(state);
  std::size_t at = 0;
  auto seen = [&](std::string_view line) {
    std::size_t found = data.find(line, at);
    check(found != std::string_view::npos);
    at = found + line.size();
  };
  int records = 0;
  while (ReadNextDelimitedRecord(state, seen)) {
    check(CountDelimitedFields(state.RecordBuffer.view()) == state.SourceFieldCount);
    seen(LineBytes(state.RecordBuffer));
    check(++records <= static_cast<int>(data.size()) + 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  static QuietMessages messages;
  static StillClock clock;
  static BigDisk disk;
  static SourceState state(messages, clock, disk);
  static const std::string path = "/tmp/vesper-delimited-fuzz-" + std::to_string(::getpid());
  std::string_view data(reinterpret_cast<const char*>(bytes), size);
  scanner(data.substr(0, std::min<std::size_t>(size, 8000)));
  join(state, data);
  std::string ascii(data);
  for (char& c : ascii) c = static_cast<char>(c & 0x7f);
  readFile(state, path, ascii);
  return 0;
}
