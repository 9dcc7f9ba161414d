// Speed of the delimited scanner, the run's record reader and the count.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "source/counting.h"
#include "source/delimited.h"
#include "support/fakes.h"
#include "source/sourceline.h"
#include "source/sourcestate.h"
#include "source/tablesource.h"

namespace {

using namespace vesper;

using QuietMessages = testing::QuietMessages;
using StillClock = testing::FixedClock;
using BigDisk = testing::FixedDisk;

// The shared corpora lie beside the repository.
const std::string kUs500 = [] {
  std::string here = __FILE__;
  return here.substr(0, here.rfind("/bench/")) + "/../shared/corpora/csv/us-500/us-500.csv";
}();
const std::string kLine =
    "\"James\",\"Butt\",\"Benton, John B Jr\",\"6649 N Blue Gum St\",\"New Orleans\",\"Orleans\","
    "\"LA\",70116,\"504-621-8927\",\"504-845-1427\",\"jbutt@gmail.com\",\"http://www.bentonjohnbjr.com\"";

void BM_CountAndExtractLine(benchmark::State& st) {
  for (auto _ : st) {
    int n = CountDelimitedFields(kLine);
    for (int i = 1; i <= n; ++i) benchmark::DoNotOptimize(GetDelimitedField(kLine, i));
  }
  st.SetBytesProcessed(static_cast<std::int64_t>(st.iterations() * kLine.size()));
}
BENCHMARK(BM_CountAndExtractLine);

struct Source {
  QuietMessages messages;
  StillClock clock;
  BigDisk disk;
  SourceState state{messages, clock, disk};
  explicit Source(const std::string& path) {
    state.SourceFile.setup(messages, path, "Source file");
    state.SourceType = kDelimited;
    state.SourceFieldCount = CountFirstLineFields(state);
  }
};

void BM_ReadRecordsUs500(benchmark::State& st) {
  Source s(kUs500);
  for (auto _ : st) {
    RewindSourceFile(s.state);
    int records = 0;
    while (ReadNextDelimitedRecord(s.state, {})) ++records;
    benchmark::DoNotOptimize(records);
  }
  st.SetItemsProcessed(st.iterations() * 501);
}
BENCHMARK(BM_ReadRecordsUs500);

void BM_CountFiftyThousandLines(benchmark::State& st) {
  const std::string path = "/tmp/vesper-count-bench-" + std::to_string(::getpid()) + ".csv";
  {
    std::ofstream out(path, std::ios::binary);
    for (int i = 0; i < 50000; ++i) out << kLine << "\r\n";
  }
  Source s(path);
  SourceTable table;
  std::unique_ptr<RecordSource> source = MakeRecordSource(s.state, table);
  for (auto _ : st) {
    doit(s.state, *source);
    benchmark::DoNotOptimize(s.state.SourceRecordCount);
  }
  st.SetItemsProcessed(st.iterations() * 50000);
  ::unlink(path.c_str());
}
BENCHMARK(BM_CountFiftyThousandLines)->Unit(benchmark::kMillisecond);

}  // namespace
