#include "engine/contactwriter.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <set>
#include <thread>
#include <type_traits>

#include "store/sampledata.h"
#include "store/table.h"
#include "support/refusingtrigger.h"

namespace vesper {
namespace {

namespace fs = std::filesystem;

struct ContactWriterTest : ::testing::Test {
  fs::path dir = fs::temp_directory_path() / ("vesper-writer-" + std::to_string(::getpid()));
  ContactTable contact;
  int recno = -1, last = -1;

  void SetUp() override {
    fs::remove_all(dir);
    createsampledatafolder((dir / "data").string());
    contact.open((dir / "data").string(), "contact.db");
    recno = contact.fieldindex("Recno");
    last = contact.fieldindex("LastName");
  }
  void TearDown() override {
    contact.close();
    fs::remove_all(dir);
  }
  // Builds a row in the table's pending row and hands it to the writer.
  void hand(ContactWriter& w, const std::string& lastname, RecordKeyTime key, long long record,
            const std::string& memo = "") {
    contact.newrow();
    contact.settext(last, lastname);
    if (!memo.empty()) contact.settext(contact.fieldindex("Memo"), memo);
    contact.settext(recno, composerecordkey(recordkeynamepiece("", lastname), key));
    w.submit(recordkeynamepiece("", lastname), key, record);
  }
  // A row of the name "Taken" stored at once under the key step `at`.
  void storetaken(RecordKeyTime at) {
    contact.newrow();
    contact.settext(last, "Taken");
    contact.settext(recno, composerecordkey("TAKEN", at));
    contact.store();
  }
  // Rows committed, as another program sees them.
  long long committed() {
    sqlite3* db = nullptr;
    sqlite3_open_v2((dir / "data" / "CONTACT.DB").c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    long long n = -1;
    sqlite3_exec(db, "select count(*) from contact", [](void* o, int, char** v, char**) {
      *static_cast<long long*>(o) = std::atoll(v[0]); return 0; }, &n, nullptr);
    sqlite3_close(db);
    return n;
  }
  std::vector<std::string> keys() {
    std::vector<std::string> out;
    for (contact.first(); !contact.atend(); contact.next()) out.push_back(contact.astext(recno));
    return out;
  }
};

// The store's answers decide the tries: a taken key moves on to the step
// after the newest key of the piece in the table, a row refused for another
// reason is not tried again, and the tries end at kStoreAttempts.
TEST_F(ContactWriterTest, StoreKeyedTriesAnotherKeyOnlyForATakenKey) {
  const RecordKeyTime at{9000, 4000000};
  storetaken(at);
  struct Case {
    std::vector<StoreResult::Kind> answers;  // then KeyTaken for every later try
    bool stored;
    int tries;
  };
  const Case cases[] = {
      {{StoreResult::Stored}, true, 1},
      {{StoreResult::KeyTaken, StoreResult::KeyTaken, StoreResult::Stored}, true, 3},
      {{StoreResult::Refused}, false, 1},
      {{StoreResult::KeyTaken, StoreResult::Refused}, false, 2},
      {{}, false, kStoreAttempts},
  };
  for (const Case& c : cases) {
    std::vector<RecordKeyTime> steps;
    KeyedStore s = storekeyed(contact.writer(), "TAKEN", at, [&](RecordKeyTime t) {
      const std::size_t n = steps.size();
      steps.push_back(t);
      StoreResult r;
      r.kind = n < c.answers.size() ? c.answers[n] : StoreResult::KeyTaken;
      r.message = "answer " + std::to_string(n);
      return r;
    });
    const std::string what = "case of " + std::to_string(c.tries) + " tries";
    EXPECT_EQ(s.stored, c.stored) << what;
    ASSERT_EQ(static_cast<int>(steps.size()), c.tries) << what;
    EXPECT_EQ(steps[0].step, at.step) << what;
    if (c.tries > 1) {
      EXPECT_EQ(steps[1].step, nextrecordkeytime(at).step) << what;  // after the key in the table
    }
    for (std::size_t k = 1; k < steps.size(); ++k) EXPECT_GT(steps[k].step, steps[k - 1].step) << what;
    if (s.stored) {
      EXPECT_EQ(s.used.step, steps.back().step) << what;
    } else {
      EXPECT_EQ(s.lasterror, "answer " + std::to_string(c.tries - 1)) << what;
    }
  }
}

// More rows than the queue holds (a queue of 4 KB: rows of many sizes wrap
// at every offset of its end; long memos go over the heap), some of them
// under keys the table holds already: every row is stored by the time
// drain() returns, each under a key of its own, with its own values.
TEST_F(ContactWriterTest, DrainReturnsWhenEveryRowIsStored) {
  const RecordKeyTime at{9000, 4000000};
  storetaken(at);
  const int n = 2000;
  auto memo = [](int i) { return i % 97 == 0 ? std::string(1500 + i, 'm') : std::string(i % 13, 'x'); };
  {
    ContactWriter w(contact, recno, 4096);
    for (int i = 0; i < n; ++i) {
      if (i % 500 == 3) {
        EXPECT_THROW(w.submit("NONE", at, -1), EngineError);  // no row pending: the queue is left alone
      }
      hand(w, i % 10 == 0 ? "Taken" : "Name" + std::to_string(i) + std::string(i % 7, 'z'), at, i + 1, memo(i));
    }
    ContactWriter::Drained d = w.drain();
    EXPECT_TRUE(d.refused.empty());
    EXPECT_FALSE(d.unavailable);
    EXPECT_EQ(d.unavailablerows, 0);
    EXPECT_EQ(contact.recordcount(), n + 1);  // drain gave the table back: no other thread uses it
  }
  std::vector<std::string> k = keys();
  EXPECT_EQ(std::set<std::string>(k.begin(), k.end()).size(), k.size());
  // Each row kept its own values, in the order handed over.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open((dir / "data" / "CONTACT.DB").c_str(), &db), SQLITE_OK);
  sqlite3_stmt* st = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "select LastName, coalesce(Memo, '') from contact order by rowid", -1, &st, nullptr),
            SQLITE_OK);
  ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);  // the row stored before
  for (int i = 0; i < n && sqlite3_step(st) == SQLITE_ROW; ++i) {
    std::string name = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    EXPECT_EQ(name, i % 10 == 0 ? "Taken" : "Name" + std::to_string(i) + std::string(i % 7, 'z')) << i;
    EXPECT_EQ(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)), memo(i)) << i;
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
  // The rows of the taken piece went to the steps after the stored key.
  EXPECT_EQ(std::count_if(k.begin(), k.end(), [](const std::string& s) { return s.rfind("TAKEN", 0) == 0; }),
            1 + (n + 9) / 10);
}

// A table that another program holds: the first row fails as unavailable and
// nothing after it is tried; drain() says so once, for every row.
TEST_F(ContactWriterTest, UnavailableTableFailsTheRowsBehindIt) {
  contact.setbusytimeout(20);
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open((dir / "data" / "CONTACT.DB").c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
  {
    ContactWriter w(contact, recno);
    for (int i = 0; i < 40; ++i) hand(w, "Held" + std::to_string(i), {9000, 100 + i}, i + 1);
    ContactWriter::Drained d = w.drain();
    EXPECT_TRUE(d.unavailable);
    EXPECT_NE(d.error.find("is locked by another user or program"), std::string::npos) << d.error;
    EXPECT_EQ(d.unavailablerows, 40);
    EXPECT_TRUE(d.refused.empty());
    // The next drain starts afresh: once the lock is gone rows are stored again.
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    hand(w, "Later", {9000, 5}, 41);
    d = w.drain();
    EXPECT_FALSE(d.unavailable);
    EXPECT_EQ(d.unavailablerows, 0);
  }
  sqlite3_close(other);
  EXPECT_EQ(contact.recordcount(), 1);
}

// The writer commits the group at the rows handed over when the commit was
// asked, not at those handed over since; the rows it could not store by then
// are reported with the commit, once.
TEST_F(ContactWriterTest, CommitSoonCommitsTheRowsHandedSoFar) {
  testing::refuselastname(dir / "data" / "CONTACT.DB", "Refused", "not this one");
  contact.writer().begingroup();
  {
    ContactWriter w(contact, recno);
    for (int i = 0; i < 10; ++i) hand(w, i == 3 ? "Refused" : "Name" + std::to_string(i), {9000, 10 * i}, i + 1);
    w.commitsoon();
    for (int i = 0; i < 5; ++i) hand(w, "After" + std::to_string(i), {9000, 10 * i}, 11 + i);
    long long failed = -1;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!w.committed(failed) && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(failed, 1);
    EXPECT_EQ(committed(), 9);
    EXPECT_FALSE(w.committed(failed));  // said once
    ContactWriter::Drained d = w.drain();
    ASSERT_EQ(d.refused.size(), 1u);
    EXPECT_EQ(d.refused[0].record, 4);
    EXPECT_EQ(w.rowsingroup(), 5);  // the rows handed after the ask, in the group the writer opened
    EXPECT_EQ(committed(), 9);
    contact.writer().commitgroup();
    w.groupended();
    EXPECT_EQ(w.rowsingroup(), 0);
  }
  EXPECT_EQ(committed(), 14);
}

// In a group, as a batch run writes, rows go to the table a chunk at a time.
// A row whose key the table holds is stored after the others of its chunk,
// one by one: each row is stored once with its own values, and the numbers
// and key steps follow the order the rows were stored in.
TEST_F(ContactWriterTest, ChunksInAGroupStoreEveryRowOnce) {
  const RecordKeyTime at{9000, 4000000};
  storetaken(at);
  const int n = 100;
  auto name = [](int i) { return i % 7 == 3 ? std::string("Taken") : "Name" + std::to_string(i); };
  contact.writer().begingroup();
  {
    ContactWriter w(contact, recno);
    for (int i = 0; i < n; ++i) {
      hand(w, name(i), i % 7 == 3 ? at : RecordKeyTime{9000, 100 + i}, i + 1, "memo " + std::to_string(i));
    }
    ContactWriter::Drained d = w.drain();
    EXPECT_TRUE(d.refused.empty());
    EXPECT_FALSE(d.unavailable);
    EXPECT_EQ(w.rowsingroup(), n);
  }
  contact.writer().commitgroup();
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open((dir / "data" / "CONTACT.DB").c_str(), &db), SQLITE_OK);
  sqlite3_stmt* st = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "select LastName, Memo, customid, Recno from contact where rowid > 1 order by rowid",
                               -1, &st, nullptr), SQLITE_OK);
  std::vector<int> others;  // the rows not taken, by their memo number, as stored
  std::set<std::string> memos, keys;
  long long lastId = 1;
  std::string lastTaken = composerecordkey("TAKEN", at);
  while (sqlite3_step(st) == SQLITE_ROW) {
    std::string lastname = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    std::string memo = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
    long long id = sqlite3_column_int64(st, 2);
    std::string key = reinterpret_cast<const char*>(sqlite3_column_text(st, 3));
    int i = std::stoi(memo.substr(5));
    EXPECT_EQ(lastname, name(i)) << memo;  // its own values
    EXPECT_TRUE(memos.insert(memo).second) << memo;
    EXPECT_TRUE(keys.insert(key).second) << key;
    EXPECT_GT(id, lastId) << memo;
    lastId = id;
    if (lastname == "Taken") {
      EXPECT_GT(key, lastTaken);  // the steps after the newest key of the name
      lastTaken = key;
    } else {
      others.push_back(i);
    }
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
  EXPECT_EQ(memos.size(), static_cast<std::size_t>(n));
  EXPECT_TRUE(std::is_sorted(others.begin(), others.end()));  // the others in the order handed over
}

// A store that asks for `many` rows at a time and notes how the writer
// gives them: the sizes of its insertmany() calls and the rows inserted one
// by one.  The rows go on into the table (insertmany one by one as well).
struct ManyCountingStore final : ContactStore, RowWriter {
  ContactTable& table;
  std::size_t many;
  std::vector<std::size_t> calls;
  std::size_t single = 0;
  ManyCountingStore(ContactTable& t, std::size_t m) : table(t), many(m) {}
  RowWriter& inner() { return table.writer(); }

  bool isopen() const override { return table.isopen(); }
  RowBuilder& row() override { return table.row(); }
  void close() override {}
  RowWriter& rowwriter() override { return *this; }

  StoreResult insert(const RowBuilder& r) override { return ++single, inner().insert(r); }
  StoreResult insert(const PackedRow& r) override { return ++single, inner().insert(r); }
  StoreResult insert(const PackedRow& r, int f, const Cell& v) override { return ++single, inner().insert(r, f, v); }
  void insertmany(const PackedRow* rows, std::size_t count, bool* stored) override {
    calls.push_back(count);
    for (std::size_t j = 0; j < count; ++j) stored[j] = inner().insert(rows[j]).stored();
  }
  std::size_t manyrows() const override { return many; }
  std::string lastkeybetween(std::string_view l, std::string_view h) override { return inner().lastkeybetween(l, h); }
  void begingroup() override { inner().begingroup(); }
  void commitgroup() override { inner().commitgroup(); }
  void rollbackgroup() override { inner().rollbackgroup(); }
  bool ingroup() const override { return table.writer().ingroup(); }
  void setbackgroundcopy(bool on) override { inner().setbackgroundcopy(on); }
  long long bytesstored() const override { return table.writer().bytesstored(); }
};

// Rows handed over and drained (fewer than wake an idle writer, so it takes
// them all at once) go to the store as many at a time as it asks for, up to
// kWriterManyRows; a short last chunk goes together too unless it is shorter
// than kWriterChunkRows.
TEST_F(ContactWriterTest, RowsGoTogetherAsManyAsTheStoreAsksFor) {
  struct Case {
    std::size_t many;
    int rows;
    std::vector<std::size_t> calls;
    std::size_t single;
  };
  const Case cases[] = {
      {16, 40, {16, 16}, 8},        // a table file's chunks
      {64, 100, {64, 36}, 0},       // a short last chunk, together
      {64, 70, {64}, 6},            // ... too short: one by one
      {4096, 500, {500}, 0},        // a server's: all of them in one call
      {100000, 300, {300}, 0},      // asked for more than the writer gives at once
  };
  ASSERT_LT(500u, kWriterWakeRows);
  const long long before = committed();
  int base = 0;
  for (const Case& c : cases) {
    ManyCountingStore store(contact, c.many);
    const std::string what = "manyrows " + std::to_string(c.many) + ", rows " + std::to_string(c.rows);
    contact.writer().begingroup();
    {
      ContactWriter w(store, recno);
      for (int i = 0; i < c.rows; ++i) hand(w, "Many" + std::to_string(base + i), {9000, 100 + base + i}, i + 1);
      ContactWriter::Drained d = w.drain();
      EXPECT_TRUE(d.refused.empty()) << what;
      EXPECT_EQ(w.rowsingroup(), c.rows) << what;
      w.stop();
    }
    contact.writer().commitgroup();
    EXPECT_EQ(store.calls, c.calls) << what;
    EXPECT_EQ(store.single, c.single) << what;
    base += c.rows;
  }
  EXPECT_EQ(committed(), before + base);
}

// Whoever holds no handle cannot reach the store's writer: not through the
// store, not by making a handle or a turn of a bare RowWriter, not by
// copying one that someone else holds.
template <class T, class = void>
struct ReachesWriter : std::false_type {};
template <class T>
struct ReachesWriter<T, std::void_t<decltype(std::declval<T&>().writer())>> : std::true_type {};
static_assert(!ReachesWriter<ContactStore>::value);
static_assert(!std::is_constructible_v<WriterHandle, RowWriter&>);
static_assert(!std::is_constructible_v<WriterTurn, RowWriter&>);
static_assert(!std::is_copy_constructible_v<WriterHandle> && !std::is_copy_assignable_v<WriterHandle>);
static_assert(!std::is_copy_constructible_v<WriterTurn> && !std::is_copy_assignable_v<WriterTurn>);

// The store's writer is the writer thread's while it runs: the store hands
// out no second handle, the run thread commits with the turn drain() gives
// back, and stop() hands the handle on; a writer ended without stop() gives
// it back to the store.
TEST_F(ContactWriterTest, TheStoresWriterComesBackOnlyByDrainAndStop) {
  ContactStore& store = contact;
  WriterHandle own = store.takewriter();
  EXPECT_THROW(store.takewriter(), EngineError);  // one holder at a time
  own->begingroup();
  {
    ContactWriter w(contact.row(), std::move(own), recno);
    EXPECT_FALSE(own);
    EXPECT_THROW(store.takewriter(), EngineError);
    for (int i = 0; i < 3; ++i) hand(w, "Name" + std::to_string(i), {9000, 10 * i}, i + 1);
    ContactWriter::Drained d = w.drain();
    ASSERT_TRUE(d.writer->ingroup());
    d.writer->commitgroup();
    EXPECT_EQ(committed(), 3);
    own = w.stop();
  }
  ASSERT_TRUE(own);
  EXPECT_FALSE(own->ingroup());
  EXPECT_THROW(store.takewriter(), EngineError);
  own = WriterHandle();
  { ContactWriter w(contact, recno); }
  EXPECT_NO_THROW(store.takewriter());
}

}  // namespace
}  // namespace vesper
