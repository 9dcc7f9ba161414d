#include "app/undo.h"

#include "base/errors.h"
#include "store/table.h"

namespace vesper {

namespace {

ImportHistory& historyof(ContactTable& table, const DataPlace& place) {
  place.open(table, "CONTACT.DB");
  ImportHistory* history = table.history();
  if (!history) throw EngineError("The contact table keeps no import history.");
  return *history;
}

std::string count(long long n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

std::vector<ImportRecord> listimports(const DataPlace& place) {
  ContactTable table;
  return historyof(table, place).runs();
}

bool lastimport(const DataPlace& place, ImportRecord& run) {
  std::vector<ImportRecord> runs = listimports(place);
  if (runs.empty()) return false;
  run = runs.back();
  return true;
}

UndoOutcome undoimport(const DataPlace& place, long long run, const std::function<void()>& midway) {
  ContactTable table;
  return historyof(table, place).undo(run, midway);
}

std::string historyline(const ImportRecord& r) {
  std::string line = std::to_string(r.run) + "  " + r.when + "  " + r.source + "  " + r.database + "  read " +
                     std::to_string(r.read) + ", imported " + std::to_string(r.imported) + ", rejected " +
                     std::to_string(r.rejected) + ", bad " + std::to_string(r.bad);
  if (r.state == ImportRecord::State::Undone) line += " (undone)";
  if (r.state == ImportRecord::State::Running) line += " (stopped)";
  return line;
}

std::string runname(const ImportRecord& r) {
  return "run " + std::to_string(r.run) + " of " + r.when + " from " + (r.source.empty() ? "an unnamed source" : r.source);
}

std::string undoquestion(const ImportRecord& r) {
  return "Undo the import " + runname(r) + "? Its " + count(r.imported, "contact", "contacts") +
         " will be removed from " + r.database + ", except any changed since.";
}

std::string undomessage(const UndoOutcome& o, long long run) {
  switch (o.result) {
    case UndoOutcome::Result::NoSuchRun:
      return "There is no import run " + std::to_string(run) + " in the history.";
    case UndoOutcome::Result::AlreadyUndone:
      return "The import " + runname(o.run) + " was undone already.";
    case UndoOutcome::Result::Done:
      break;
  }
  std::string text = "Undid the import " + runname(o.run) + ": " + count(o.removed, "contact", "contacts") + " removed.";
  if (!o.kept.empty()) {
    text += " " + count(static_cast<long long>(o.kept.size()), "contact was", "contacts were") +
            " changed since and kept:";
    for (std::size_t i = 0; i < o.kept.size(); ++i) text += (i ? ", " : " ") + o.kept[i];
    text += ".";
  }
  if (o.gone > 0) text += " " + count(o.gone, "contact was", "contacts were") + " no longer there.";
  return text;
}

}  // namespace vesper
