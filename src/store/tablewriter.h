// What stores new rows into a table file: inserts of built and packed rows,
// several rows with one statement, commit groups, and the journal copied
// back into the file by a thread of its own.
//
// Contract (beyond TableRowWriter's, tablebackend.h, and RowWriter's,
// contactstore.h):
// - A table writer belongs to one thread at a time: the table's own (its
//   store() goes through it) or, handed over for a batch, a writer thread.
//   It touches the connection and its own insert state, never a row builder's
//   pending row, so the reading thread builds the next row meanwhile.
// - Autoincrement fields left empty are numbered when a row is stored; a
//   number given is kept and the counter moves past it.  The counters are
//   read again when another program has written meanwhile.
// - A new row is inserted with a statement naming the columns it gives a
//   value (the non-empty cells), the autoincrement fields and the columns
//   whose declared default is not NULL (those receive the row's value, NULL
//   included), and possibly columns of earlier rows, bound NULL.  An omitted
//   column gets its default, which is NULL, so the stored row is the same.
//   Statements are kept per column set, a few at a time: an import writes
//   much the same columns for every row.
// - insertmany() needs an open group and a table with a key and an
//   autoincrement field (they tell which rows were stored), without
//   triggers; elsewhere it stores nothing.
// - A failed statement inside a group may have taken the whole group with it
//   (disk full, I/O error): that is TableUnavailable, saying the group's rows
//   were not saved, and the group is over.
// - setbackgroundcopy(true): the journal is copied back by a JournalCopier
//   after each group commit instead of by the commit itself; it then grows
//   until it holds `journallimit` bytes, when a commit copies the rest itself
//   and the journal starts over.  Off copies the rest back and empties the
//   journal (unless another program reads it).  Only for a file in WAL mode.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "store/tablebackend.h"

namespace vesper {

struct TableFile;

class alignas(64) TableWriter final : public TableRowWriter {
 public:
  explicit TableWriter(TableFile& file);
  ~TableWriter();
  TableWriter(const TableWriter&) = delete;
  TableWriter& operator=(const TableWriter&) = delete;

  StoreResult insert(const RowBuilder& row) override;
  StoreResult insert(const PackedRow& row) override;
  StoreResult insert(const PackedRow& row, int field, const Cell& value) override;
  void insertmany(const PackedRow* rows, std::size_t count, bool* stored) override;
  std::string lastkeybetween(std::string_view low, std::string_view high) override;

  void begingroup() override;
  void commitgroup() override;
  void rollbackgroup() override;
  bool ingroup() const override;
  void settrail(long long run) override;

  static constexpr long long kJournalLimit = 512LL << 20;
  void setbackgroundcopy(bool on) override { setbackgroundcopy(on, kJournalLimit); }
  void setbackgroundcopy(bool on, long long journallimit);
  long long bytesstored() const override;

  // Stores so far (an insertmany() counts once) and the row id of the last
  // row stored; groups rolled back so far.
  long long rowsstored() const override;
  long long lastrowid() const override;
  long long rollbacks() const override;

 private:
  friend class SqliteBackend;
  // The engine's side.  Fails for the failed statement `rc` of the
  // engine's own (an update), as a failed insert fails.
  [[noreturn]] void failstatement(int rc);
  // Commits an open group, stops the copier and lets go of every statement
  // (before the connection closes).
  void close();

  struct State;
  template <class Source>
  StoreResult storerow(Source& source, const std::uint64_t* valued);
  StoreResult insertpacked(const PackedRow& row, int field, const Cell* value);
  void askedtriggers();

  TableFile& file_;
  std::unique_ptr<State> s_;
};

}  // namespace vesper
