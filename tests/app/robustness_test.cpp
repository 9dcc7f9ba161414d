// What real files and faults do to a batch import: messy sources, a kill in
// the middle, another program holding the contact table.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <thread>

#include "source/textdecode.h"
#include "support/batchcommand.h"

namespace vesper {
namespace {

namespace fs = std::filesystem;

struct RobustnessTest : testing::BatchCommandTest {
  RobustnessTest() : BatchCommandTest("robust") {}
  void SetUp() override {
    BatchCommandTest::SetUp();
    ASSERT_EQ(shell("--create-data-folder data"), 0);
    // Three fields: last name, first name, city.
    std::string imp = "1\r\nLastName\r\nFirstName\r\nCity\r\n";
    for (int i = 4; i <= 210; ++i) imp += "\r\n";
    imp += "20\r\n";
    for (int i = 1; i <= 210; ++i) imp += "-1\r\n";
    std::ofstream(dir / "three.imp", std::ios::binary) << imp;
  }
  int shell(const std::string& args) { return run(args).code; }
  long long number(const std::string& text, const std::string& label) {
    auto at = text.find(label);
    return at == std::string::npos ? -1 : std::atoll(text.c_str() + at + label.size());
  }
  std::string sql(const std::string& query) {
    sqlite3* db = nullptr;
    sqlite3_open((dir / "data" / "CONTACT.DB").c_str(), &db);
    std::string out;
    sqlite3_exec(db, query.c_str(), [](void* o, int, char** v, char**) {
      *static_cast<std::string*>(o) += v[0] ? v[0] : ""; return 0; }, &out, nullptr);
    sqlite3_close(db);
    return out;
  }
};

// Lines of every awkward kind; the numbers must add up and every bad line
// must be a line of the source.
TEST_F(RobustnessTest, MessyFilesLoseNothing) {
  long long total = 0;
  for (bool windows1252 : {false, true}) {
    std::mt19937 rng(windows1252 ? 7 : 3);
    std::vector<std::string> lines = {"First,Line,Ok"};
    const std::vector<std::string> shapes = {
        "Smith,John,Boston", "Jones,\"Ann, Jr\",Denver", "a,b", "a,b,c,d", "", "   ",
        "\"unclosed,quote,x", "tab\there,ctl\x01x,y", "x,\"\"\"\",z", std::string(4500, 'w') + ",a,b",
        std::string(5000, 'v'), "M\xC3\xBCller,J\xC3\xB6rg,K\xC3\xB6ln", ",,"};
    for (int i = 0; i < 400; ++i) {
      std::string l = shapes[rng() % shapes.size()];
      if (windows1252 && rng() % 5 == 0) l += "\xE9";
      lines.push_back(l);
    }
    std::string text;
    for (auto& l : lines) text += l + ((rng() % 3) ? "\r\n" : "\n");
    std::ofstream(dir / "messy.csv", std::ios::binary) << text;
    fs::remove(dir / "bad.csv");
    ASSERT_EQ(shell("--database MAIN --spec three.imp messy.csv"), 0) << slurp(dir / "err.txt");
    std::string out = slurp(dir / "out.txt");
    long long read = number(out, "Records read: "), imported = number(out, "Imported: "),
              passed = number(out, "Passed over: "), empty = number(out, "Without values: "),
              bad = number(out, "Rejected lines written to bad.csv: "),
              failed = number(out, "Failed with an error: ");
    EXPECT_EQ(read + bad, static_cast<long long>(lines.size())) << out;
    EXPECT_EQ(imported + passed + empty + failed, read) << out;
    // Every line of BAD.CSV is a line of the source, as UTF-8.
    TextDecoder decoder(windows1252 ? TextEncoding::Windows1252 : TextEncoding::Utf8);
    std::set<std::string> source;
    for (auto& l : lines) {
      std::string u;
      decoder.decode(l, u, true);
      source.insert(u);
    }
    std::string badtext = slurp(dir / "bad.csv");
    long long count = 0;
    for (std::size_t p = 0, e; (e = badtext.find("\r\n", p)) != std::string::npos; p = e + 2, ++count)
      EXPECT_TRUE(source.count(badtext.substr(p, e - p))) << badtext.substr(p, std::min<std::size_t>(e - p, 60));
    EXPECT_EQ(count, bad);
    total += imported;
    EXPECT_EQ(sql("select count(*) from contact"), std::to_string(total));
  }
}

// A kill in the middle of a large import leaves a sound table holding at
// least every row the progress output reported.
TEST_F(RobustnessTest, KilledInTheMiddle) {
  {
    std::ofstream big(dir / "big.csv", std::ios::binary);
    for (int i = 0; i < 400000; ++i) big << "Last" << i << ",First" << i << ",City" << (i % 97) << "\r\n";
  }
  pid_t child = ::fork();
  if (child == 0) {
    ::chdir(dir.c_str());
    int err = ::open("progress.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(err, 2);
    int out = ::open("/dev/null", O_WRONLY);
    ::dup2(out, 1);
    ::execl(VESPER_BINARY, VESPER_BINARY, "--database", "MAIN", "--spec", "three.imp", "--progress",
            "big.csv", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  // Wait until some thousands are reported, then kill.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < deadline) {
    std::string p = slurp(dir / "progress.txt");
    std::size_t at = p.rfind("Imported: ");
    if (at != std::string::npos && std::atoll(p.c_str() + at + 10) > 5000) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status)) << "the import ended before it could be killed";
  std::string progress = slurp(dir / "progress.txt");
  std::size_t last = progress.rfind("Imported: ");
  ASSERT_NE(last, std::string::npos);
  long long reported = std::atoll(progress.c_str() + last + 10);
  EXPECT_GT(reported, 0);
  EXPECT_EQ(sql("pragma integrity_check"), "ok");
  long long rows = std::atoll(sql("select count(*) from contact").c_str());
  EXPECT_GE(rows, reported);
  EXPECT_LT(rows, 400000);
  EXPECT_EQ(sql("select count(*) from contact where Recno is null or DB is null or DateAdded is null"), "0");
}

// Another program holds CONTACT.DB: a short lock is waited for; one that does
// not clear ends the run with a clear message and nothing half-written.
TEST_F(RobustnessTest, LockedContactTable) {
  std::ofstream(dir / "few.csv", std::ios::binary) << "Smith,John,Boston\r\nJones,Ann,Denver\r\n";
  struct Case { int holdMillis; int wantCode; const char* rows; };
  const Case cases[] = {{1500, 0, "2"}, {8000, 1, "2"}};
  for (const auto& c : cases) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t holder = ::fork();
    if (holder == 0) {
      sqlite3* db = nullptr;
      sqlite3_open((dir / "data" / "CONTACT.DB").c_str(), &db);
      sqlite3_exec(db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr);
      char one = 1;
      (void)!::write(ready[1], &one, 1);
      std::this_thread::sleep_for(std::chrono::milliseconds(c.holdMillis));
      sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
      sqlite3_close(db);
      ::_exit(0);
    }
    char one;
    (void)!::read(ready[0], &one, 1);
    int code = shell("--database MAIN --spec three.imp few.csv");
    int status;
    ::waitpid(holder, &status, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_EQ(code, c.wantCode) << slurp(dir / "err.txt");
    if (c.wantCode == 1) {
      EXPECT_NE(slurp(dir / "err.txt").find("is locked by another user or program"), std::string::npos)
          << slurp(dir / "err.txt");
    }
    EXPECT_EQ(sql("pragma integrity_check"), "ok");
    EXPECT_EQ(sql("select count(*) from contact"), c.rows);
  }
}

// Real write failures of the contact table: a file system that turns
// read-only, and one that fills up.  Needs a small file system of its own
// (tmpfs; room for a few commit groups of this file's rows before it is
// full); skipped where mounting is not allowed.
TEST_F(RobustnessTest, UnwritableContactTable) {
  fs::path mnt = dir / "mnt";
  fs::create_directories(mnt);
  if (std::system(("mount -t tmpfs -o size=40m tmpfs '" + mnt.string() + "' 2>/dev/null").c_str()) != 0)
    GTEST_SKIP() << "cannot mount a small file system here";
  struct Unmount {
    fs::path m;
    ~Unmount() { (void)!std::system(("umount '" + m.string() + "' 2>/dev/null").c_str()); }
  } unmount{mnt};
  std::ofstream(dir / "engine.cfg") << "[PNANT]\nTYPE=STANDARD\nPATH=" << (mnt / "data").string()
                                    << "\nDEFAULT DRIVER=PARADOX\n";
  ASSERT_EQ(shell("--create-data-folder mnt/data"), 0);
  {
    std::ofstream big(dir / "big.csv", std::ios::binary);
    for (int i = 0; i < 400000; ++i)
      big << "Lastname" << i << ",Firstname" << i << ",A city called number " << i << "\r\n";
  }
  // Rows in the table as another program reads them (-1 when it cannot):
  // read-write while it can, so rows still in the journal of a full disk are
  // read, read-only on the read-only file system (as unchanging media when
  // no journal is left: SQLite cannot make the journal's index there).
  auto count = [&] {
    std::string out = "-1";
    const std::string file = (mnt / "data" / "CONTACT.DB").string();
    const std::string media = "file:" + file + "?immutable=1";
    const bool journal = fs::exists(file + "-wal");
    for (int flags : {SQLITE_OPEN_READWRITE, SQLITE_OPEN_READONLY, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI}) {
      if ((flags & SQLITE_OPEN_URI) && journal) break;
      sqlite3* db = nullptr;
      int rc = sqlite3_open_v2((flags & SQLITE_OPEN_URI ? media : file).c_str(), &db, flags, nullptr);
      if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, "select count(*) from contact", [](void* o, int, char** v, char**) {
          *static_cast<std::string*>(o) = v[0]; return 0; }, &out, nullptr);
      sqlite3_close(db);
      if (rc == SQLITE_OK) break;
    }
    return std::atoll(out.c_str());
  };
  // Full: the run stops with a message; the rows it reported stay.  With the
  // counters on show (--progress) the groups are small enough for a few to
  // be committed before the disk is full.
  int code = shell("--database MAIN --spec three.imp --progress big.csv");
  std::string err = slurp(dir / "err.txt"), out = slurp(dir / "out.txt");
  EXPECT_NE(code, 0) << out;
  EXPECT_TRUE(err.find("full") != std::string::npos || err.find("Disk space less then 10k") != std::string::npos ||
              out.find("Disk space less then 10k") != std::string::npos) << err << out;
  long long imported = number(out, "Imported: ");
  long long rows = count();
  EXPECT_GT(rows, 0) << out << err;
  EXPECT_EQ(rows, imported) << out;  // the end message counts only stored rows
  EXPECT_EQ(number(out, "Records read: "), imported + number(out, "Failed with an error: ")) << out;
  EXPECT_NE(out.find("Finished. Imported " + std::to_string(imported) + " records."), std::string::npos);
  // Read-only: a clear message, nothing lost.
  fs::remove(dir / "big.csv");
  std::ofstream(dir / "few.csv", std::ios::binary) << "Smith,John,Boston\r\n";
  ASSERT_EQ(std::system(("mount -o remount,ro '" + mnt.string() + "'").c_str()), 0);
  code = shell("--database MAIN --spec three.imp few.csv");
  err = slurp(dir / "err.txt");
  EXPECT_EQ(code, 1);
  EXPECT_FALSE(err.empty());
  EXPECT_EQ(count(), rows);
}

}  // namespace
}  // namespace vesper
