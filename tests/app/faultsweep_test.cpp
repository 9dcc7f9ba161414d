// Every file operation of an import failed in turn.  A clean run of each
// workload counts the operations of every kind (vesper-import-faulting, see
// tests/faults/faultinjector.cpp); then one run per operation fails it, and
// after each the contact table must be sound, hold exactly the rows the run
// reported, and take the next import.  VESPER_FAULT_SWEEP=full fails every
// operation (tests/faults/sweep.sh); otherwise a spread of them is failed.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "support/batchcommand.h"

namespace vesper {
namespace {

namespace fs = std::filesystem;

struct Workload {
  const char* name;
  const char* source;
  const char* spec;
  // Whether a failed read of the source stops the run with a message (every
  // reader does now; a workload that could not would leave its reads out).
  bool readfaultstold;
};
const Workload kWorkloads[] = {{"delimited", "contacts.csv", "contacts.imp", true},
                               {"lineperfield", "contacts-lines.txt", "contacts-lines.imp", true},
                               {"dbase", "contacts.dbf", "contacts-dbf.imp", true}};

struct Kind {
  const char* name;
  std::vector<const char*> errors;
};
const Kind kKinds[] = {{"write", {"enospc", "eio", "short"}}, {"sync", {"eio", "enospc"}},
                       {"truncate", {"eio", "enospc"}},       {"read", {"eio"}},
                       {"lock", {"eio"}},                     {"journal-open", {"eio"}},
                       {"source-read", {"eio"}},              {"bad-write", {"enospc", "eio", "short"}}};

bool fullsweep() {
  const char* s = std::getenv("VESPER_FAULT_SWEEP");
  return s && std::string(s) == "full";
}

// The operations of a kind to fail: every one in a full sweep, else the
// first few, the last and an even spread between (about `spread` in all).
std::vector<long> chosen(long count, long spread) {
  std::vector<long> ks;
  for (long k = 1; k <= count; ++k)
    if (fullsweep() || k <= 3 || k == count || k % std::max(1L, count / spread) == 0) ks.push_back(k);
  return ks;
}

long long number(const std::string& text, const std::string& label) {
  auto at = text.rfind(label);
  return at == std::string::npos ? -1 : std::atoll(text.c_str() + at + label.size());
}

struct Outcome {
  int code = -1;
  std::string out, err;
  std::map<std::string, long> counts;
  bool fired = false;
};

struct FaultSweepTest : testing::BatchCommandTest, ::testing::WithParamInterface<Workload> {
  FaultSweepTest() : BatchCommandTest("faults") {}
  std::set<std::string> sourcelines;
  long long cleanread = 0;

  void SetUp() override {
    BatchCommandTest::SetUp();
    const std::string gen = std::string("'" VESPER_TESTCONTACTS "' --records ") +
                            (fullsweep() ? "3000" : "1500") + " --bad-percent 4 --seed 20 --out '" +
                            dir.string() + "' --forms csv,lines,dbf >/dev/null";
    ASSERT_EQ(std::system(gen.c_str()), 0);
    ASSERT_EQ(run("--create-data-folder pristine").code, 0);
    std::ifstream in(dir / "contacts.csv", std::ios::binary);
    std::string first;
    for (std::string l; std::getline(in, l);) {
      if (!l.empty() && l.back() == '\r') l.pop_back();
      if (first.empty()) first = l;
      sourcelines.insert(l);
    }
    std::ofstream(dir / "few.csv", std::ios::binary) << first << "\r\n";
  }

  void freshfolder() {
    fs::remove_all(dir / "data");
    fs::copy(dir / "pristine", dir / "data", fs::copy_options::recursive);
    fs::remove(dir / "bad.csv");
  }

  Outcome runfaulting(const std::string& fault) {
    const Workload& w = GetParam();
    fs::remove(dir / "report.txt");
    std::string cmd = "cd '" + dir.string() + "' && VESPER_FAULT='" + fault + "' VESPER_FAULT_SOURCE='" +
                      w.source + "' VESPER_FAULT_REPORT=report.txt '" VESPER_FAULTING_BINARY "' --database MAIN "
                      "--spec " + w.spec + " " + w.source + " >out.txt 2>err.txt";
    int status = std::system(cmd.c_str());
    Outcome o;
    o.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    o.out = slurp(dir / "out.txt");
    o.err = slurp(dir / "err.txt");
    std::istringstream report(slurp(dir / "report.txt"));
    std::string name;
    for (long n; report >> name >> n;) name == "fired" ? void(o.fired = n != 0) : void(o.counts[name] = n);
    return o;
  }

  std::string sql(const std::string& query, bool* opened = nullptr) {
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2((dir / "data" / "CONTACT.DB").c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    if (opened) *opened = rc == SQLITE_OK;
    std::string out;
    if (rc == SQLITE_OK)
      rc = sqlite3_exec(db, query.c_str(), [](void* o, int, char** v, char**) {
        *static_cast<std::string*>(o) += v[0] ? v[0] : ""; return 0; }, &out, nullptr);
    sqlite3_close(db);
    return rc == SQLITE_OK ? out : "error " + std::to_string(rc);
  }

  // What is wrong after a run, empty when nothing; counts rows lost and
  // corruptions.
  std::string check(const Outcome& o, long& lost, long& corrupt) {
    std::string why;
    if (o.code != 0 && o.code != 1) why += "exit code " + std::to_string(o.code) + "; ";
    if (o.code == 1 && o.err.empty()) why += "stopped without a message; ";
    // A run that ended well read every record of the source.
    const long long read = number(o.out, "Records read: "), bad = number(o.out, "Rejected lines written to bad.csv: ");
    const std::size_t lostat = o.out.find("Rejected lines lost (");
    const long long badlost = lostat == std::string::npos ? 0 : number(o.out.substr(lostat), "): ");
    if (o.code == 0 && read + std::max(0LL, bad) + badlost != cleanread)
      why += "ended well after reading " + std::to_string(read) + " of " + std::to_string(cleanread) + "; ";
    long long reported = number(o.out, "Finished. Imported ");
    if (reported < 0) reported = 0;
    if (o.code == 0 && number(o.out, "Imported: ") != reported) why += "the summary and end message differ; ";
    bool opened = false;
    const std::string sound = sql("pragma integrity_check", &opened);
    if (!opened || sound != "ok") {
      ++corrupt;
      return why + "the table is unsound: " + sound;
    }
    const long long rows = std::atoll(sql("select count(*) from contact").c_str());
    if (rows < reported) lost += reported - rows;
    if (rows != reported)
      why += std::to_string(rows) + " rows for " + std::to_string(reported) + " reported; ";
    const std::string half = sql("select count(*) from contact where Recno is null or DB is null or "
                                 "DateAdded is null or coalesce(LastName, '') = ''");
    if (half != "0") why += half + " half-written rows; ";
    const std::string badtext = slurp(dir / "bad.csv");
    if (!badtext.empty() && badtext.substr(badtext.size() - std::min<std::size_t>(2, badtext.size())) != "\r\n")
      why += "bad.csv ends in a piece of a line; ";
    for (std::size_t p = 0, e; (e = badtext.find("\r\n", p)) != std::string::npos; p = e + 2)
      if (!sourcelines.count(badtext.substr(p, e - p))) why += "bad.csv holds a line not of the source; ";
    // The next import into the same data folder goes through.
    const testing::CommandResult next = run("--database MAIN --spec contacts.imp few.csv");
    if (next.code != 0 ||
        std::atoll(sql("select count(*) from contact").c_str()) != rows + number(next.out, "Imported: "))
      why += "the next import failed: " + next.err;
    return why;
  }
};

TEST_P(FaultSweepTest, EveryOperationFailedInTurn) {
  freshfolder();
  const Outcome clean = runfaulting("write:999999999:eio");
  ASSERT_EQ(clean.code, 0) << clean.err;
  ASSERT_FALSE(clean.fired);
  cleanread = number(clean.out, "Records read: ") + std::max(0LL, number(clean.out, "Rejected lines written to bad.csv: "));
  ASSERT_GT(number(clean.out, "Imported: "), 1000) << clean.out;
  long runs = 0, fired = 0, stopped = 0, lost = 0, corrupt = 0, faulty = 0;
  for (const Kind& kind : kKinds) {
    if (std::string(kind.name) == "source-read" && !GetParam().readfaultstold) continue;
    const long count = clean.counts.at(kind.name);
    for (long k : chosen(count, fullsweep() ? count : 8)) {
      const std::size_t first = fullsweep() ? 0 : static_cast<std::size_t>(k) % kind.errors.size();
      const std::size_t last = fullsweep() ? kind.errors.size() : first + 1;
      for (std::size_t e = first; e < last; ++e) {
        const std::string fault = std::string(kind.name) + ":" + std::to_string(k) + ":" + kind.errors[e];
        freshfolder();
        const Outcome o = runfaulting(fault);
        ++runs;
        fired += o.fired;
        stopped += o.code != 0;
        const std::string why = check(o, lost, corrupt);
        if (!why.empty()) ++faulty;
        EXPECT_TRUE(why.empty()) << fault << ": " << why << "\n" << o.err.substr(0, 400);
      }
    }
  }
  std::printf("%s: %ld runs, %ld faults fired, %ld runs stopped, %ld rows lost, %ld corruptions, %ld faulty\n",
              GetParam().name, runs, fired, stopped, lost, corrupt, faulty);
  for (const Kind& kind : kKinds) std::printf("  %s: %ld operations\n", kind.name, clean.counts.at(kind.name));
  EXPECT_EQ(lost, 0);
  EXPECT_EQ(corrupt, 0);
}

INSTANTIATE_TEST_SUITE_P(Workloads, FaultSweepTest, ::testing::ValuesIn(kWorkloads),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vesper
