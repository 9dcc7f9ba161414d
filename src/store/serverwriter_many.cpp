// Packed rows stored many at a time with one COPY (insertmany).
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include "parse/text.h"
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
  }
  // The rows as COPY text, in one buffer kept from call to call; a broken
  // packed row throws here, before anything is sent.
  s.copy.clear();
  s.rowbytes.assign(count, 0);
  long long greatest = 0;
  int numbered = -1;  // an autoincrement field whose numbers the rows give
  std::vector<std::uint64_t> bits(words);
  for (std::size_t j = 0; j < count; ++j) {
    std::memcpy(bits.data(), rows[j].data, words * 8);
    PackedValues values{bits.data(), rows[j].data + words * 8, rows[j].data + rows[j].size, l.name};
    bool first = true;
    for (std::size_t i = 0; i < n; ++i) {
      if (!s.named(s.copymask, i)) {
        if (!l.sequences[i].empty()) s.rowbytes[j] += 8;  // numbered by the server
        continue;
      }
      const CellRef c = values.at(i);
      if (!first) s.copy += '\t';
      first = false;
      appendvalue(s.copy, l.fields[i], c);
      if (c.kind != Cell::Null) s.rowbytes[j] += cellbytes(c);
      if (!l.sequences[i].empty() && c.kind == Cell::Integer) {
        numbered = static_cast<int>(i);
        greatest = std::max(greatest, c.integer);
      }
      if (i == key && j == count - 1) {
        s.keyscratch.clear();
        l.paramtext(l.key, c, s.keyscratch);
      }
      if (i == key && s.trailrun) {
        if (s.copykeys.size() < count) s.copykeys.resize(count);
        s.copykeys[j].clear();
        l.paramtext(l.key, c, s.copykeys[j]);
      }
    }
    s.copy += '\n';
  }
  if (!together) return;

  PgResult failed = copyrows(l.conn, s.copysql, s.copy);
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
  if (s.trailrun)
    for (std::size_t j = 0; j < count; ++j)
      if (stored[j]) s.trailkeys.push_back(s.copykeys[j]);
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
  if (ServerLink::ok(failed.get())) failed = copyrows(l.conn, "COPY pg_temp.vesper_staged (" + s.stagecolumns + ") FROM STDIN", s.copy);
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
