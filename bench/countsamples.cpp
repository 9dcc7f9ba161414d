// Times the two source passes a user waits for before a run: counting the
// records ("&Count Records", doit) and loading the sample values of the first
// source field in the field assignment dialog (FieldAssignmentModel::FormCreate).
//
//   countsamples SOURCE [REPEATS]
//
// Prints one line per measurement, "name value unit", best of REPEATS (3).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/importstate.h"
#include "assign/assignment.h"
#include "assign/samples.h"
#include "source/counting.h"
#include "source/delimited.h"
#include "source/tablesource.h"
#include "store/sampledata.h"

namespace {

using namespace vesper;

class QuietMessages : public Messages {
 public:
  void beep() override {}
  void errormessage(const std::string& t) override { std::fprintf(stderr, "Error: %s\n", t.c_str()); }
  void infomessage(const std::string&) override {}
  void plainmessage(const std::string&) override {}
  void processevents() override {}
};
class StillClock : public Clock {
 public:
  LocalTime now() override { return {2024, 1, 1, 12, 0, 0, 0}; }
  std::int64_t ticks() override { return 0; }
};
class BigDisk : public Disk {
 public:
  long long freespace(const std::string&) override { return 1LL << 40; }
};
class NoDates : public DateFormatAsker {
 public:
  void askdateformat(AssignState&) override {}
};

double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: countsamples SOURCE [REPEATS]\n");
    return 2;
  }
  const std::string path = argv[1];
  const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  QuietMessages messages;
  StillClock clock;
  BigDisk disk;
  ImportState state(messages, clock, disk);
  SourceTable table;
  SourceIdentity id = IdentifySource(state, path, table);
  state.SourceType = id.kind;
  state.SourceFieldCount = id.fieldcount;
  std::unique_ptr<RecordSource> source = MakeRecordSource(state, table);

  double bestcount = 1e30;
  long long counted = 0;
  for (int r = 0; r < repeats; ++r) {
    auto start = std::chrono::steady_clock::now();
    doit(state, *source);
    bestcount = std::min(bestcount, seconds(start));
    counted = state.SourceRecordCount;
  }

  double bestSamples = 1e30;
  std::size_t found = 0;
  for (int r = 0; r < repeats; ++r) {
    SourceSamples samples(*source);
    NoDates dates;
    FieldAssignmentModel model(state, contactfields(), CatalogueLabels{}, samples, dates);
    auto start = std::chrono::steady_clock::now();
    model.FormCreate();
    bestSamples = std::min(bestSamples, seconds(start));
    found = model.samplelist().size();
  }

  std::printf("count_records %lld records\n", counted);
  std::printf("count_seconds %.3f s\n", bestcount);
  std::printf("count_rate %.0f records/s\n", counted / bestcount);
  std::printf("samples_found %zu values\n", found);
  std::printf("samples_seconds %.6f s\n", bestSamples);
  return counted > 0 && found > 0 ? 0 : 1;
}
