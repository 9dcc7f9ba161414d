// Fuzzer for the vCard source: cards, bad lines, samples and count over
// arbitrary bytes.
//
// Properties checked on every input:
//  - nothing crashes, and no value is longer than what is kept of one
//    (a quoted-printable value decodes shorter, a charset conversion may
//    triple it, the notes add up to one more);
//  - every bad line is a piece of the file, in file order;
//  - the count equals the cards the reading gives.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "source/recordsource.h"
#include "source/sourcestate.h"
#include "source/tablesource.h"
#include "source/vcardsource.h"
#include "support/fakes.h"

namespace {

using namespace vesper;

void check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  static testing::RecordingMessages messages;
  static testing::FixedClock clock;
  static testing::FixedDisk disk;
  static SourceState state{messages, clock, disk};
  static SourceTable table;
  static const std::string path = "/tmp/vesper-vcard-fuzz-" + std::to_string(::getpid()) + ".vcf";
  const std::string data(reinterpret_cast<const char*>(bytes), size);
  { std::ofstream(path, std::ios::binary | std::ios::trunc) << data; }

  OpenedSource opened = OpenRecordSource(state, path, table);
  check(opened.source->kind() == kVCard);
  state.SourceFieldCount = opened.fieldcount;
  RecordSource& source = *opened.source;
  std::size_t at = 0;
  source.setbadlinesink([&](std::string_view line) {
    std::size_t found = data.find(line, at);
    check(found != std::string::npos);
    at = found + line.size();
  });
  int cards = 0;
  source.rewind();
  while (source.more() && source.next()) {
    ++cards;
    for (int f = 1; f <= kVCardFieldCount; ++f) check(source.value(f).size() <= 4 * kMaxValueBytes + 16);
  }
  check(source.count({{}, [] {}}) == cards);
  for (int f = 1; f <= kVCardFieldCount; f += 7) (void)source.sample(f, 1);
  source.close();
  return 0;
}
