// Packed rows stored many at a time with one COPY (insertmany).
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include "parse/text.h"
#include "store/rowprint.h"
#include "store/serverhistory.h"
#include "store/servertables.h"
#include "store/serverwriter.h"
#include "store/serverwriterstate.h"

namespace vesper {

namespace {

// Runs `sql`, whose COPY reads `data`; the first failed result, or null
// when every statement ran.
PgResult copyrows(PGconn* conn, const std::string& sql, const std::string& data) {
  PgResult failed = pgresult(nullptr);
  if (!PQsendQuery(conn, sql.c_str())) return pgresult(PQmakeEmptyPGresult(conn, PGRES_FATAL_ERROR));
  while (PGresult* r = PQgetResult(conn)) {
    const ExecStatusType status = PQresultStatus(r);
    if (status == PGRES_COPY_IN) {
      const bool sent = PQputCopyData(conn, data.data(), static_cast<int>(data.size())) == 1;
      PQputCopyEnd(conn, sent ? nullptr : "the rows could not be sent");
      PQclear(r);
    } else if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK && !failed) {
      failed = pgresult(r);
    } else {
      PQclear(r);
    }
  }
  return failed;
}

// One COPY whose rows are sent while the later ones are still being made:
// the server stores the first rows of a chunk meanwhile, instead of waiting
// for the whole buffer.  `data` is the caller's buffer of COPY rows, which
// grows behind what was sent and is kept whole (a taken key sends it again
// into a temporary table).
class CopySender {
 public:
  CopySender(PGconn* conn, const std::string& data) : conn_(conn), data_(data) {}
  CopySender(const CopySender&) = delete;
  CopySender& operator=(const CopySender&) = delete;
  ~CopySender() { finish("the rows could not be made"); }

  // Sends `sql`, whose COPY reads the rows, and waits until the server reads
  // them; false (the failure kept for finish()) when it does not.
  bool start(const std::string& sql) {
    sent_ = 0;
    broken_ = false;
    if (!PQsendQuery(conn_, sql.c_str())) {
      keep(PQmakeEmptyPGresult(conn_, PGRES_FATAL_ERROR));
      return false;
    }
    while (PGresult* r = PQgetResult(conn_)) {
      if (PQresultStatus(r) == PGRES_COPY_IN) {
        PQclear(r);
        copying_ = true;
        return true;
      }
      keep(r);
    }
    if (!failed_) failed_ = pgresult(PQmakeEmptyPGresult(conn_, PGRES_FATAL_ERROR));
    return false;
  }
  // Sends the rows made since the last send once there are enough of them
  // to be worth a message (`all`: whatever is waiting).
  void send(bool all) {
    if (!copying_ || broken_) return;
    const std::size_t waiting = data_.size() - sent_;
    if (waiting == 0 || (!all && waiting < kSendBytes)) return;
    broken_ = PQputCopyData(conn_, data_.data() + sent_, static_cast<int>(waiting)) != 1;
    sent_ = data_.size();
  }
  // Ends the COPY (failing it with `error` when given) and collects the
  // results of the statements: the first failed one, or null.
  PgResult finish(const char* error) {
    if (copying_) {
      if (!error) send(true);
      copying_ = false;
      PQputCopyEnd(conn_, error ? error : broken_ ? "the rows could not be sent" : nullptr);
      while (PGresult* r = PQgetResult(conn_)) keep(r);
    }
    return std::move(failed_);
  }

 private:
  static constexpr std::size_t kSendBytes = std::size_t{32} << 10;
  void keep(PGresult* r) {
    const ExecStatusType status = PQresultStatus(r);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK && status != PGRES_COPY_IN && !failed_)
      failed_ = pgresult(r);
    else
      PQclear(r);
  }

  PGconn* conn_;
  const std::string& data_;
  std::size_t sent_ = 0;
  bool copying_ = false, broken_ = false;
  PgResult failed_ = pgresult(nullptr);
};

// A value as COPY reads it, a text cut to its alpha field's size.
void appendvalue(std::string& out, const FieldDef& def, CellRef c) {
  if (c.kind == Cell::Text && def.type == FieldType::Alpha && def.size > 0)
    c.size = cutview(std::string_view(c.data, c.size), static_cast<std::size_t>(def.size)).size();
  appendcopyvalue(out, def, c);
}

}  // namespace

void ServerWriter::insertmany(const PackedRow* rows, std::size_t count, bool* stored) {
  ServerLink& l = link_;
  if (!l.isopen()) throw EngineError("Cannot perform this operation on a closed table.");
  State& s = *s_;
  std::fill(stored, stored + count, false);
  if (count == 0 || s.groupdepth == 0 || l.key < 0) return;
  const std::size_t n = l.fields.size(), words = (n + 63) / 64;
  const std::size_t key = static_cast<std::size_t>(l.key);
  // The columns: those any row gives a value.  Rows that cannot share one
  // COPY go one by one: a row without key, and numbers given to an
  // autoincrement field by some rows and left to the server by others.
  std::vector<std::uint64_t>& any = s.rowmask;
  any.assign(words, 0);
  std::vector<std::uint64_t>& all = s.packedbits;
  all.assign(words, ~std::uint64_t{0});
  for (std::size_t j = 0; j < count; ++j) {
    if (rows[j].size < words * 8) throw EngineError("Table " + l.name + ": a packed row of the wrong width.");
    for (std::size_t w = 0; w < words; ++w) {
      std::uint64_t bits;
      std::memcpy(&bits, rows[j].data + w * 8, 8);
      any[w] |= bits;
      all[w] &= bits;
    }
  }
  bool together = s.named(all, key);
  for (std::size_t i = 0; i < n; ++i)
    if (!l.sequences[i].empty() && s.named(any, i) != s.named(all, i)) together = false;
  s.columnsfor(any.data(), s.copymask);
  if (s.copymask != s.copiedmask || s.copycolumns.empty()) {
    s.copycolumns.clear();
    s.stagecolumns.clear();
    for (std::size_t i = 0; i < n; ++i) {
      if (!s.named(s.copymask, i)) continue;
      s.copycolumns += (s.copycolumns.empty() ? "" : ", ") + l.columns[i];
      s.stagecolumns += (s.stagecolumns.empty() ? "c" : ", c") + std::to_string(i);
    }
    s.copiedmask = s.copymask;
    s.copysql = "SAVEPOINT vesper_many; COPY " + l.table + " (" + s.copycolumns +
                ") FROM STDIN; RELEASE SAVEPOINT vesper_many";
    s.copysqlbinary = "SAVEPOINT vesper_many; COPY " + l.table + " (" + s.copycolumns +
                      ") FROM STDIN (FORMAT binary); RELEASE SAVEPOINT vesper_many";
    s.copykinds.clear();
    s.copybinary = true;
    for (std::size_t i = 0; i < n; ++i) {
      if (!s.named(s.copymask, i)) continue;
      s.copykinds.push_back(binarycolumn(l.types[i]));
      if (s.copykinds.back() == BinaryColumn::None) s.copybinary = false;
    }
  }
  // The rows in COPY's binary form when every column has one, else in its
  // text form, in one buffer kept from call to call, sent as they are made.
  // A value the binary form does not take (see appendbinaryvalue) sends the
  // rows again as text, and the rows of this column set go as text from then
  // on.  A broken packed row throws, failing the COPY first.
  CopySender sender(l.conn, s.copy);
  bool binary = s.copybinary;
  bool sending = together && sender.start(binary ? s.copysqlbinary : s.copysql);
  long long greatest = 0;
  int numbered = -1;  // an autoincrement field whose numbers the rows give
  std::vector<std::uint64_t> bits(words);
  const bool trailed = s.trail.run() != 0;
  s.rowprints.resize(count);
  for (;;) {
    s.copy.clear();
    s.rowbytes.assign(count, 0);
    greatest = 0;
    numbered = -1;
    bool made = true;
    try {
      if (binary) appendbinaryheader(s.copy);
      for (std::size_t j = 0; j < count && made; ++j) {
        std::memcpy(bits.data(), rows[j].data, words * 8);
        PackedValues values{bits.data(), rows[j].data + words * 8, rows[j].data + rows[j].size, l.name};
        if (binary) appendbinarycount(s.copy, s.copykinds.size());
        RowPrint print;  // of the values sent, for the import history
        std::size_t column = 0;
        for (std::size_t i = 0; i < n; ++i) {
          if (!s.named(s.copymask, i)) {
            if (!l.sequences[i].empty()) s.rowbytes[j] += 8;  // numbered by the server
            continue;
          }
          const CellRef c = values.at(i);
          if (trailed) addheld(print, l, static_cast<int>(i), c);
          if (binary) {
            const BinaryColumn kind = s.copykinds[column];
            std::string_view text;
            if (kind == BinaryColumn::Text && c.kind == Cell::Text) {
              text = std::string_view(c.data, c.size);
              if (l.fields[i].type == FieldType::Alpha && l.fields[i].size > 0)
                text = cutview(text, static_cast<std::size_t>(l.fields[i].size));
            } else if (kind == BinaryColumn::Text) {
              s.valuetext.clear();
              l.paramtext(static_cast<int>(i), c, s.valuetext);
              text = s.valuetext;
            }
            if (!appendbinaryvalue(s.copy, kind, c, text)) {
              made = false;
              break;
            }
          } else {
            if (column > 0) s.copy += '\t';
            appendvalue(s.copy, l.fields[i], c);
          }
          ++column;
          if (c.kind != Cell::Null) s.rowbytes[j] += cellbytes(c);
          if (!l.sequences[i].empty() && c.kind == Cell::Integer) {
            numbered = static_cast<int>(i);
            greatest = std::max(greatest, c.integer);
          }
          if (i == key && j == count - 1) {
            s.keyscratch.clear();
            l.paramtext(l.key, c, s.keyscratch);
          }
        }
        s.rowprints[j] = print.value();
        if (!binary) s.copy += '\n';
        if (sending && made) sender.send(false);
      }
      if (binary && made) appendbinarytrailer(s.copy);
    } catch (...) {
      // A broken row: the COPY begun is failed and undone, nothing stored.
      if (sending) {
        sender.finish("a row could not be made");
        if (!l.connected()) s.failure(nullptr);
        s.exec("ROLLBACK TO SAVEPOINT vesper_many; RELEASE SAVEPOINT vesper_many");
      }
      throw;
    }
    if (made) break;
    if (sending) {
      sender.finish("a value goes as text");
      if (!l.connected()) s.failure(nullptr);
      s.exec("ROLLBACK TO SAVEPOINT vesper_many; RELEASE SAVEPOINT vesper_many");
      sending = sender.start(s.copysql);
    }
    s.copybinary = binary = false;
  }
  s.copyisbinary = binary;
  if (!together) return;

  PgResult failed = sender.finish(nullptr);
  if (!failed && l.connected()) {
    std::fill(stored, stored + count, true);
  } else {
    if (!l.connected()) s.failure(failed.get());
    s.exec("ROLLBACK TO SAVEPOINT vesper_many");
    if (!ServerLink::keytaken(failed.get())) {
      // Not a taken key: none of the rows is stored, each goes on its own.
      s.exec("RELEASE SAVEPOINT vesper_many");
      if (l.unavailable(failed.get())) throw TableUnavailable(l.describe(failed.get()));
      return;
    }
    storestaged(rows, count, stored);
  }
  long long bytes = 0;
  std::size_t last = count;
  for (std::size_t j = 0; j < count; ++j)
    if (stored[j]) bytes += s.rowbytes[j], last = j;
  if (last == count) return;
  if (trailed) {
    for (std::size_t j = 0; j < count; ++j) {
      if (!stored[j]) continue;
      std::memcpy(bits.data(), rows[j].data, words * 8);
      PackedValues values{bits.data(), rows[j].data + words * 8, rows[j].data + rows[j].size, l.name};
      s.valuetext.clear();
      l.paramtext(l.key, values.at(key), s.valuetext);
      s.trailrow(s.valuetext, s.rowprints[j]);
    }
  }
  if (last != count - 1) {
    std::memcpy(bits.data(), rows[last].data, words * 8);
    PackedValues values{bits.data(), rows[last].data + words * 8, rows[last].data + rows[last].size, l.name};
    s.keyscratch.clear();
    l.paramtext(l.key, values.at(key), s.keyscratch);
  }
  if (numbered >= 0) s.numberpast(numbered, greatest);
  s.stored(s.keyscratch, bytes);
}

// The rows of the COPY buffer go into a temporary table first, and from
// there into the table passing over the keys it holds; the keys stored tell
// which rows were (of rows sharing a key, the first).  Inside the savepoint
// of insertmany(), which is released at the end; a failure undoes it all
// and stores none of the rows.
void ServerWriter::storestaged(const PackedRow* rows, std::size_t count, bool* stored) {
  State& s = *s_;
  ServerLink& l = link_;
  const std::size_t n = l.fields.size(), words = (n + 63) / 64;
  std::string create = "CREATE TEMP TABLE vesper_staged (vesper_n bigint GENERATED ALWAYS AS IDENTITY";
  for (std::size_t i = 0; i < n; ++i)
    if (s.named(s.copymask, i)) create += ", c" + std::to_string(i) + " " + l.types[i];
  create += ")";
  const std::string& keycolumn = l.columns[static_cast<std::size_t>(l.key)];
  const std::string insert = "INSERT INTO " + l.table + " (" + s.copycolumns + ") SELECT " + s.stagecolumns +
                             " FROM pg_temp.vesper_staged ORDER BY vesper_n ON CONFLICT (" + keycolumn +
                             ") DO NOTHING RETURNING " + keycolumn;
  PgResult failed = pgresult(PQexec(l.conn, create.c_str()));
  if (ServerLink::ok(failed.get())) failed = copyrows(l.conn, "COPY pg_temp.vesper_staged (" + s.stagecolumns + ") FROM STDIN" +
                                      (s.copyisbinary ? " (FORMAT binary)" : ""), s.copy);
  PgResult taken = pgresult(nullptr);
  if (!failed) {
    taken = pgresult(PQexec(l.conn, insert.c_str()));
    if (!ServerLink::ok(taken.get())) failed = std::move(taken);
  }
  if (failed || !l.connected()) {
    if (!l.connected()) s.failure(failed.get());
    s.exec("ROLLBACK TO SAVEPOINT vesper_many; RELEASE SAVEPOINT vesper_many");
    if (l.unavailable(failed.get())) throw TableUnavailable(l.describe(failed.get()));
    return;
  }
  s.exec("DROP TABLE pg_temp.vesper_staged; RELEASE SAVEPOINT vesper_many");
  std::unordered_map<std::string, int> keys;
  for (int t = 0; t < PQntuples(taken.get()); ++t) ++keys[PQgetvalue(taken.get(), t, 0)];
  std::vector<std::uint64_t> bits(words);
  std::string key;
  for (std::size_t j = 0; j < count; ++j) {
    std::memcpy(bits.data(), rows[j].data, words * 8);
    PackedValues values{bits.data(), rows[j].data + words * 8, rows[j].data + rows[j].size, l.name};
    key.clear();
    l.paramtext(l.key, values.at(static_cast<std::size_t>(l.key)), key);
    auto found = keys.find(key);
    if (found != keys.end() && found->second > 0) {
      stored[j] = true;
      --found->second;
    }
  }
}

}  // namespace vesper
