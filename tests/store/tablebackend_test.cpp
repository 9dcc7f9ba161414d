// The table's own part — the walk, the pending row, store and edit — on an
// engine that keeps its rows in memory, as any engine beneath a table may.
#include "store/tablebackend.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/errors.h"
#include "store/table.h"

namespace vesper {
namespace {

// Rows by id, ids given in insertion order; the key compared as text, an
// empty autoinc field numbered with the row's id.  Its own writer.
class MemoryBackend final : public TableBackend, private TableRowWriter {
 public:
  MemoryBackend(std::vector<FieldDef> fields, int key) : fields_(std::move(fields)), key_(key) {}
  std::map<long long, std::vector<Cell>> rows;
  int updates = 0, busyms = -1;
  std::vector<bool> written;  // of the last update
  bool closed = false;

  const std::vector<FieldDef>& fields() const override { return fields_; }
  int keyfield() const override { return key_; }
  const std::string& path() const override { return name_; }
  const std::string& name() const override { return name_; }
  void setbusytimeout(int ms) override { busyms = ms; }
  void roworder(std::vector<long long>& ids) override {
    ids.clear();
    for (const auto& r : rows) ids.push_back(r.first);
    if (key_ >= 0)
      std::stable_sort(ids.begin(), ids.end(),
                       [&](long long a, long long b) { return rows.at(a)[key_].text < rows.at(b)[key_].text; });
  }
  void readrow(long long id, std::vector<Cell>& cells) override {
    cells = rows.count(id) ? rows.at(id) : std::vector<Cell>(fields_.size());
  }
  long long recordcount() override { return static_cast<long long>(rows.size()); }
  void updaterow(long long id, const std::vector<Cell>& cells, const std::vector<bool>& marked) override {
    ++updates;
    written = marked;
    for (std::size_t i = 0; i < cells.size(); ++i)
      if (marked[i]) rows.at(id)[i] = cells[i];
  }
  TableRowWriter& writer() override { return *this; }
  void close() override { closed = true; }

 private:
  StoreResult insert(const RowBuilder& row) override {
    if (closed) throw EngineError("closed");
    std::vector<Cell> cells = row.cells();
    for (const auto& r : rows)
      if (key_ >= 0 && r.second[key_] == cells[key_])
        return {StoreResult::KeyTaken, "Key " + cells[key_].text + " taken."};
    for (std::size_t i = 0; i < cells.size(); ++i)
      if (fields_[i].type == FieldType::AutoInc && cells[i].kind == Cell::Null) cells[i] = Cell::ofinteger(next_);
    rows[next_] = cells;
    last_ = next_++;
    ++stores_;
    return {};
  }
  // Packed rows are the import's; the table never hands them over.
  StoreResult insert(const PackedRow&) override { throw EngineError("not here"); }
  StoreResult insert(const PackedRow&, int, const Cell&) override { throw EngineError("not here"); }
  void insertmany(const PackedRow*, std::size_t n, bool* stored) override { std::fill(stored, stored + n, false); }
  std::string lastkeybetween(std::string_view, std::string_view) override { throw EngineError("not here"); }
  void begingroup() override { if (depth_++ == 0) before_ = rows; }
  void commitgroup() override { depth_ = std::max(0, depth_ - 1); }
  void rollbackgroup() override {
    rows = before_;
    depth_ = 0;
    ++rollbacks_;
  }
  bool ingroup() const override { return depth_ > 0; }
  void setbackgroundcopy(bool) override {}
  long long bytesstored() const override { return 0; }
  long long rowsstored() const override { return stores_; }
  long long lastrowid() const override { return last_; }
  long long rollbacks() const override { return rollbacks_; }

  std::vector<FieldDef> fields_;
  int key_;
  std::string name_ = "PEOPLE.MEM";
  std::map<long long, std::vector<Cell>> before_;
  long long next_ = 1, last_ = 0, stores_ = 0, rollbacks_ = 0;
  int depth_ = 0;
};

MemoryBackend& openmemory(Table& t, int key) {
  const std::vector<FieldDef> fields = {
      {"Code", FieldType::Alpha, 8}, {"Name", FieldType::Alpha, 10}, {"Id", FieldType::AutoInc, 0}};
  auto engine = std::make_unique<MemoryBackend>(fields, key);
  MemoryBackend& kept = *engine;
  t.open(std::move(engine));
  return kept;
}

void add(Table& t, const char* code) {
  t.newrow();
  t.field("Code").settext(code);
  t.store();
}

std::string walk(Table& t) {
  std::string out;
  for (t.first(); !t.atend(); t.next()) out += t.field("Code").astext() + ",";
  return out;
}

// Stored rows are walked in the engine's order; an edit reaches the engine
// with only its written fields, and the walk goes on from the edited row
// wherever its new key put it.
TEST(TableOnAnyEngine, WalksStoresAndEditsTheEnginesRows) {
  struct Case { int key; const char* codes; const char* seen; const char* after; };
  const Case cases[] = {
      {0, "A,B,C,", "A,", "B,C,D,"},       // key order: A becomes D, the last row
      {-1, "C,A,B,", "C,A,B,", "C,D,B,"},  // insertion order
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    Table t;
    MemoryBackend& engine = openmemory(t, c.key);
    for (const char* code : {"C", "A", "B"}) {
      add(t, code);
      EXPECT_EQ(t.field("Code").astext(), code);  // the row stored is the current row
    }
    EXPECT_EQ(walk(t), c.codes);
    std::string seen;
    for (t.first(); !t.atend(); t.next()) {
      seen += t.field("Code").astext() + ",";
      t.edit();
      if (t.field("Code").astext() == "A") t.field("Code").settext("D");
      t.store();  // an edit with nothing written changes nothing
    }
    EXPECT_EQ(seen, c.seen);
    EXPECT_EQ(engine.updates, 1);
    EXPECT_EQ(engine.written, (std::vector<bool>{true, false, false}));
    EXPECT_EQ(walk(t), c.after);
  }
}

// A refused row stays pending with the engine's message; a row the writer
// stores by itself becomes the current row; a group rolled back takes its
// rows out of the walk under way; the table's busy timeout reaches the
// engine, and closing closes it.
TEST(TableOnAnyEngine, FollowsWhatTheEnginesWriterDid) {
  Table t;
  t.setbusytimeout(250);
  MemoryBackend& engine = openmemory(t, 0);
  EXPECT_EQ(engine.busyms, 250);
  add(t, "A");
  add(t, "B");
  t.newrow();
  t.field("Code").settext("A");
  try {
    t.store();
    FAIL() << "taken key stored";
  } catch (const EngineError& e) {
    EXPECT_STREQ(e.what(), "Key A taken.");
  }
  EXPECT_TRUE(t.ispending());
  EXPECT_EQ(t.field("Code").astext(), "A");
  t.field("Code").settext("E");
  ASSERT_TRUE(t.writer().insert(t.row()).stored());
  t.drop();
  EXPECT_EQ(t.field("Code").astext(), "E");
  t.writer().begingroup();
  add(t, "F");
  add(t, "G");
  t.first();
  t.next();
  t.next();
  EXPECT_EQ(t.field("Code").astext(), "E");
  t.writer().rollbackgroup();
  t.next();
  EXPECT_TRUE(t.atend());
  EXPECT_EQ(t.recordcount(), 3);
  t.close();
  EXPECT_TRUE(engine.closed);
  try {
    t.writer().begingroup();
    FAIL() << "a closed table's writer began a group";
  } catch (const EngineError& e) {
    EXPECT_STREQ(e.what(), "Cannot perform this operation on a closed table.");
  }
}

}  // namespace
}  // namespace vesper
