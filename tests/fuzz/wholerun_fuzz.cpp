// Arbitrary bytes as a whole source file: identification, the assignment
// dialog's samples and a full accept-all run into a scratch data folder.
// Nothing may crash, hang or leave the contact table unsound.
#include <sqlite3.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/importstate.h"
#include "assign/samples.h"
#include "engine/importrun.h"
#include "source/delimited.h"
#include "source/tablesource.h"
#include "store/sampledata.h"
#include "support/fakes.h"

namespace {

namespace fs = std::filesystem;
using namespace vesper;

struct StillClock : Clock {
  std::int64_t t = 0;
  LocalTime now() override { return {2026, 12, 7, 12, 0, 0, 0}; }
  std::int64_t ticks() override { return t += 7; }
};
struct Yes : RunView {
  bool askabort() override { return true; }
};

fs::path scratch() {
  static fs::path dir = [] {
    fs::path d = fs::temp_directory_path() / ("vesper-wholerun-" + std::to_string(::getpid()));
    fs::remove_all(d);
    createsampledatafolder((d / "data").string());
    fs::current_path(d);  // bad.csv goes here
    return d;
  }();
  return dir;
}

const char* const kTargets[] = {"x2firstlast", "Company", "x8addr1&2", "x5citystatezip", "Date1",
                                "Memo", "Category", "Money1", "Num1", "x7zipsuffix",
                                "x6middleinitial", "State", "TimeAdded", "x1notused"};
const char* const kNames[] = {"src.csv", "src.txt", "src.dbf", "src.db"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static int runs = 0;
  fs::path dir = scratch();
  if (size < 1) return 0;
  fs::path source = dir / kNames[data[0] % 4];
  {
    std::ofstream out(source, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data + 1), static_cast<std::streamsize>(size - 1));
  }
  testing::QuietMessages messages;
  StillClock clock;
  testing::FixedDisk disk;
  ImportState state(messages, clock, disk);
  SourceTable table;
  SourceIdentity id = IdentifySource(state, source.string(), table);
  if (id.kind != kLinePerField && (id.fieldcount < 1 || id.fieldcount > kMaxSourceFields)) return 0;
  state.SourceType = id.kind;
  state.SourceFieldCount = id.kind == kLinePerField ? 1 + data[0] % 5 : id.fieldcount;
  for (int i = 1; i <= state.SourceFieldCount; ++i)
    state.FieldAssignments[i] = kTargets[(i + data[0] / 4) % (sizeof kTargets / sizeof *kTargets)];
  state.DateFormats[5] = 1 + data[0] % 12;
  std::unique_ptr<RecordSource> records = MakeRecordSource(state, table);
  SourceSamples samples(*records);
  for (int f = 1; f <= std::min(state.SourceFieldCount, 3); ++f)
    for (int r = 1; r <= 8; ++r) samples.sample(f, r);
  ContactTable contact;
  contact.open((dir / "data").string(), "CONTACT.DB");
  state.TargetFieldCount = contact.fieldcount();
  state.DatabaseName = "MAIN";
  Yes view;
  {
    ImportRun run(state, contact, *records, DataPlace::folder((dir / "data").string()), view);
    run.FormCreate();
    if (run.outcome() == ImportRun::Outcome::Open) run.btAllClick();
    const RunSummary& s = run.summary();
    if (s.imported + s.passedover + s.empty + s.failed > s.read + 1) __builtin_trap();
  }
  if (++runs % 500 == 0) {  // keep the table small
    sqlite3* db = nullptr;
    sqlite3_open((dir / "data" / "CONTACT.DB").c_str(), &db);
    sqlite3_exec(db, "DELETE FROM contact", nullptr, nullptr, nullptr);
    sqlite3_close(db);
  }
  return 0;
}
