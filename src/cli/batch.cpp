#include "cli/batch.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>

#include "app/startup.h"
#include "app/session.h"
#include "app/textlayoutnames.h"
#include "cli/batchinputs.h"
#include "cli/historycommand.h"
#include "engine/runreport.h"
#include "base/errors.h"
#include "source/counting.h"
#include "source/standardcsv.h"
#include "parse/text.h"
#include "store/engine.h"
#include "store/sampledata.h"
#include "store/serverdatabase.h"
#include "store/systemdisk.h"

namespace vesper {

namespace {

class ConsoleMessages : public Messages {
 public:
  int shown = 0;
  void beep() override {}
  // Error and plain boxes go to standard error; information boxes (the end
  // message above all) to standard output.
  void errormessage(const std::string& t) override { say("Error", t); }
  void infomessage(const std::string& t) override {
    ++shown;
    std::printf("%s\n", t.c_str());
    std::fflush(stdout);
  }
  void plainmessage(const std::string& t) override { say("", t); }
  void processevents() override {}

 private:
  void say(const char* kind, const std::string& t) {
    ++shown;
    std::fflush(stdout);
    if (*kind)
      std::fprintf(stderr, "%s: %s\n", kind, t.c_str());
    else
      std::fprintf(stderr, "%s\n", t.c_str());
  }
};

class SystemClock : public Clock {
 public:
  LocalTime now() override {
    auto tp = std::chrono::system_clock::now();
    std::time_t secs = std::chrono::system_clock::to_time_t(tp);
    // The local calendar time is worked out once per second (a run reads the
    // clock several times for every record).
    if (secs != cachedsecs_) {
      localtime_r(&secs, &tm_);
      cachedsecs_ = secs;
    }
    int ms = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                  tp.time_since_epoch()).count() % 1000);
    return {tm_.tm_year + 1900, tm_.tm_mon + 1, tm_.tm_mday, tm_.tm_hour, tm_.tm_min, tm_.tm_sec, ms};
  }
  // Read several times for every record to pace the run (commits, counters,
  // the free-space check), all in steps of 50 ms or more: the coarse clock,
  // a few milliseconds fine and far cheaper to read, is fine enough.
  std::int64_t ticks() override {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &t);
    return static_cast<std::int64_t>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
  }

 private:
  std::time_t cachedsecs_ = -1;
  std::tm tm_{};
};

struct Options {
  std::string database, spec, source, createfolder, createdatabase, schema;
  std::string undo, report;  // --undo RUN, --report FILE.csv
  bool history = false;
  enum { All, Percent, Count } mode = All;
  int amount = 100;
  bool mixed = false;
  bool seeded = false;
  bool progress = false;
  unsigned long long seed = 0;
  bool help = false;
  bool autoassign = false;
  ImportRun::Duplicates duplicates = ImportRun::Duplicates::Import;
  LayoutChoice layout;
};

// False (with a message) on a usage error.
bool parseargs(int argc, char** argv, Options& o, std::string& error) {
  int modes = 0;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) { error = a + " needs a value"; return false; }
      out = argv[++i];
      return true;
    };
    auto number = [&](long long lo, long long hi, long long& out) {
      std::string v;
      if (!value(v)) return false;
      char* end = nullptr;
      errno = 0;
      out = std::strtoll(v.c_str(), &end, 10);
      if (v.empty() || *end || errno || out < lo || out > hi) {
        error = a + " takes a whole number from " + std::to_string(lo) + " to " + std::to_string(hi);
        return false;
      }
      return true;
    };
    long long n = 0;
    if (a == "--help" || a == "-h") o.help = true;
    else if (a == "--database") { if (!value(o.database)) return false; }
    else if (a == "--spec") { if (!value(o.spec)) return false; }
    else if (a == "--create-data-folder") { if (!value(o.createfolder)) return false; }
    else if (a == "--create-database") { if (!value(o.createdatabase)) return false; }
    else if (a == "--schema") { if (!value(o.schema)) return false; }
    else if (a == "--history") o.history = true;
    else if (a == "--undo") { if (!value(o.undo)) return false; }
    else if (a == "--report") { if (!value(o.report)) return false; }
    else if (a == "--all") { o.mode = Options::All; ++modes; }
    else if (a == "--percent") { if (!number(1, 100, n)) return false; o.mode = Options::Percent; o.amount = int(n); ++modes; }
    else if (a == "--count") { if (!number(0, 2000000000, n)) return false; o.mode = Options::Count; o.amount = int(n); ++modes; }
    else if (a == "--auto-assign") o.autoassign = true;
    else if (a == "--separator") {
      std::string v;
      if (!value(v)) return false;
      auto c = separatorfromname(v);
      if (!c) { error = "--separator takes , ; tab or |"; return false; }
      o.layout.separator = *c;
    }
    else if (a == "--header") {
      std::string v;
      if (!value(v)) return false;
      auto h = headerfromname(v);
      if (!h) { error = "--header takes yes, no or auto"; return false; }
      o.layout.header = *h;
    }
    else if (a == "--sheet") { if (!value(o.layout.sheet)) return false; }
    else if (a == "--mixed-case") o.mixed = true;
    else if (a == "--duplicates") {
      std::string v;
      if (!value(v)) return false;
      if (v == "import") o.duplicates = ImportRun::Duplicates::Import;
      else if (v == "skip") o.duplicates = ImportRun::Duplicates::Skip;
      else if (v == "report") o.duplicates = ImportRun::Duplicates::Report;
      else { error = "--duplicates takes import, skip or report"; return false; }
    }
    else if (a == "--progress") o.progress = true;
    else if (a == "--seed") { if (!number(0, 9223372036854775807LL, n)) return false; o.seeded = true; o.seed = n; }
    else if (!a.empty() && a[0] == '-' && a != "-") { error = "unknown option " + a; return false; }
    else if (o.source.empty()) o.source = a;
    else { error = "only one source file can be imported at a time"; return false; }
  }
  if (o.help || !o.createfolder.empty() || !o.createdatabase.empty() || o.history || !o.undo.empty()) return true;
  if (modes > 1) { error = "choose one of --all, --percent and --count"; return false; }
  if (o.database.empty()) { error = "--database is required"; return false; }
  if (o.spec.empty() && !o.autoassign) { error = "--spec is required"; return false; }
  if (o.source.empty()) { error = "a source file is required"; return false; }
  return true;
}

class ConsoleRunView : public RunView {
 public:
  explicit ConsoleRunView(bool progress) : lines(progress) {}
  ImportRun* run = nullptr;
  bool terminal = ::isatty(2);
  bool lines = false;  // --progress: one line per refresh when not a terminal
  bool askabort() override { return true; }
  bool showscounters() const override { return terminal || lines; }
  bool reviews() const override { return false; }
  void statuschanged() override {
    if ((!terminal && !lines) || !run) return;
    // The words of the summary: the stored rows are "Imported", the records
    // the user or the draw passed over "Passed over".  A terminal gets one
    // line redrawn, with the share read, the pace and the time left.
    if (!terminal) {
      std::fprintf(stderr, "Imported: %s  Passed over: %s\n", run->lblAccepted().c_str(), run->lblRejected().c_str());
    } else {
      const RunProgress p = run->progress();
      std::string line = p.share >= 0 ? std::to_string(static_cast<int>(p.share * 100)) + "%  " : "";
      line += "Imported: " + run->lblAccepted() + "  Passed over: " + run->lblRejected();
      if (p.persecond > 0) line += "  " + std::to_string(static_cast<long long>(p.persecond)) + " records/s";
      if (p.secondsleft >= 0) {
        const long long s = static_cast<long long>(p.secondsleft + 0.5);
        char left[32];
        std::snprintf(left, sizeof left, "  %lld:%02lld left", s / 60, s % 60);
        line += left;
      }
      std::fprintf(stderr, "\r%-78s", line.c_str());
    }
    std::fflush(stderr);
  }
  void fewerrecords(int asked, int found) override {
    std::fprintf(stderr, "--count %d asks for more records than the %d found: all %d are imported.\n",
                 asked, found, found);
  }
  void finishline() {
    if (terminal && run) std::fputc('\n', stderr);
  }
};

// What the import did: whether it ran to its end, and its summary.
struct BatchResult {
  bool completed = false;
  RunSummary summary;
  bool reportfailed = false;
};

// The run of the started session: every record, or the share asked for.
BatchResult runbatch(ImportSession& session, const Options& o) {
  ConsoleRunView view(o.progress);
  std::unique_ptr<ImportRun> run = session.makerun(view);
  view.run = run.get();
  run->setmixed(o.mixed);
  run->setduplicates(o.duplicates);
  if (run->start()) {
    if (o.mode == Options::All)
      run->acceptall();
    else if (o.mode == Options::Count)
      run->acceptrandom(RandomShare::count(o.amount));
    else
      run->acceptrandom(RandomShare::percent(o.amount));
  }
  view.finishline();
  view.run = nullptr;
  BatchResult result{run->outcome() == ImportRun::Outcome::Ok, run->summary()};
  std::string why;
  if (!o.report.empty() && !writereport(run->issues(), o.report, why)) {
    std::fprintf(stderr, "Error: The report %s could not be written: %s\n", o.report.c_str(), why.c_str());
    result.reportfailed = true;
  }
  return result;
}

// With --auto-assign, a specification file is read only when it exists;
// otherwise the assignment is made from the source's header line and saved
// under that name when the import completes.
bool assignsfromheader(const Options& o) {
  std::error_code error;
  return o.autoassign && (o.spec.empty() || !std::filesystem::exists(o.spec, error));
}

// The session's start: under the specification file given, which must load
// and fit the source, or with the proposal made from the header line.
bool startbatch(ImportSession& session, const Options& o) {
  const bool fromheader = assignsfromheader(o);
  session.choosespec(fromheader ? std::string() : o.spec);
  session.chooselayout(o.layout);
  if (!session.checkstart(true) || !session.opentarget() || !session.loadspec() || !session.opensource())
    return false;
  if (!fromheader) return session.specloaded();
  if (!session.propose()) {
    std::fprintf(stderr, "Error: %s\n",
                 session.headerrecognised()
                     ? "No assignment could be proposed from the header line. Give a --spec file."
                     : "The source has no header line of column names, so --auto-assign cannot assign "
                       "its fields. Give a --spec file, or --header yes if its first line holds them.");
    return false;
  }
  if (!session.acceptproposal()) return false;
  session.saveas(o.spec);
  return true;
}

}  // namespace

std::string summarytext(const RunSummary& s, int notelines, int toolong) {
  std::string out;
  auto line = [&](const std::string& label, long long n) { out += label + ": " + std::to_string(n) + "\n"; };
  if (notelines > 0) line("Note lines before the header passed over", notelines);
  line("Records read", s.read);
  line("Imported", s.imported);
  line("Passed over", s.passedover);
  line("Without values", s.empty);
  line("Rejected lines written to bad.csv", s.badlines);
  if (toolong > 0) line("  of them records longer than " + std::to_string(kMaxRecordBytes / 1024) + " KB", toolong);
  if (s.badlineslost > 0) line("Rejected lines lost (" + s.badlineslostwhy + ")", s.badlineslost);
  line("Failed with an error", s.failed);
  if (s.duplicatesskipped > 0) line("Likely duplicates left out", s.duplicatesskipped);
  if (s.duplicatesstored > 0) line("Likely duplicates imported", s.duplicatesstored);
  auto perfield = [&](const std::string& label, long long FieldNotes::*count) {
    for (const FieldNotes& f : s.fields)
      if (f.*count > 0) line(label + " " + f.field, f.*count);
  };
  perfield("Values cut to the width of", &FieldNotes::cut);
  perfield("Dates not read (left empty) in", &FieldNotes::unreadabledates);
  perfield("Numbers out of range (left empty) for", &FieldNotes::numbersnotfit);
  return out;
}

const char* batchusage() {
  return "Usage:\n"
         "  vesper-import [SOURCE]             open the import wizard (with SOURCE as the source)\n"
         "  vesper-import --database NAME --spec FILE.IMP [--all | --percent P | --count X]\n"
         "                [--mixed-case] [--seed N] [--progress] [--duplicates import|skip|report]\n"
         "                [--separator X] [--header yes|no|auto] [--sheet NAME] SOURCE\n"
         "  vesper-import --database NAME --auto-assign [--spec FILE.IMP] [options] SOURCE\n"
         "                                     import SOURCE into the database NAME\n"
         "  vesper-import --history             list the imports recorded, with their numbers\n"
         "  vesper-import --undo RUN|last      remove the contacts import RUN stored (those\n"
         "                                     not changed since)\n"
         "  vesper-import --create-data-folder DIR\n"
         "                                     create an empty contact data folder\n"
         "  vesper-import --create-database CONNECTION [--schema NAME]\n"
         "                                     create an empty contact database on a\n"
         "                                     PostgreSQL server (CONNECTION: a libpq\n"
         "                                     connection text or postgresql:// URI, without\n"
         "                                     a password: ~/.pgpass gives it), in the schema\n"
         "                                     NAME (pnant, the alias PNANT's, when not given)\n"
         "\n"
         "  --database NAME   the target database (a DB name of DATABASE.DB)\n"
         "  --spec FILE.IMP   the import specification: source kind, field assignment,\n"
         "                    date layouts (written by an earlier import)\n"
         "  --auto-assign     assign the fields from the source's header line of column\n"
         "                    names, when no FILE.IMP exists yet (the assignment is\n"
         "                    written to FILE.IMP, or IMPORT.IMP, when the import\n"
         "                    completes; a FILE.IMP that exists is used instead)\n"
         "  --separator X     the field separator of a text source: , ; tab or |\n"
         "                    (recognised from the first lines when not given)\n"
         "  --header yes|no|auto\n"
         "                    whether the first line holds column names (auto: recognised)\n"
         "  --sheet NAME      the sheet of an .xlsx or .ods workbook (the first when not given)\n"
         "  --all             accept every record (the default)\n"
         "  --percent P       accept each record with a chance of P percent (1-100)\n"
         "  --count X         count the records, then accept exactly X of them at random\n"
         "  --mixed-case      JOHN SMITH becomes John Smith\n"
         "  --seed N          repeatable random selection\n"
         "  --progress        report the counters on standard error as the import goes\n"
         "  --report FILE.csv write a line for each record not imported as it stood\n"
         "\n"
         "The data folder is the one of the alias PNANT in the engine configuration\n"
         "($PENNANT_ENGINE_CONFIG, else $XDG_CONFIG_HOME/pennant/engine.cfg).\n"
         "Rejected lines go to bad.csv in the current folder; the specification is\n"
         "written back to FILE.IMP when the import completes.  Rows are committed\n"
         "in groups: every 100 ms while the counters show (a terminal, --progress),\n"
         "so every count shown is stored; otherwise about every second.\n"
         "Exit codes: 0 completed, 1 failed, 2 usage error.\n";
}

int batchmain(int argc, char** argv) {
  Options o;
  std::string error;
  if (!parseargs(argc, argv, o, error)) {
    std::fprintf(stderr, "vesper-import: %s\nTry 'vesper-import --help'.\n", error.c_str());
    return 2;
  }
  if (o.help) {
    std::fputs(batchusage(), stdout);
    return 0;
  }
  try {
    if (!o.createfolder.empty()) {
      createsampledatafolder(o.createfolder);
      std::printf("Created the data folder %s\n", o.createfolder.c_str());
      return 0;
    }
    if (!o.createdatabase.empty()) {
      ServerDatabase server{o.createdatabase, o.schema.empty() ? lowertext(kDataAlias) : o.schema};
      createserverdatabase(server);
      std::printf("Created the contact database %s, schema %s\n", describeconnection(server.connection).c_str(),
                  server.schema.c_str());
      return 0;
    }
    if (o.history || !o.undo.empty()) {
      ConsoleMessages messages;
      Engine engine;
      if (!startupcheck(engine, messages, programfolder())) return 1;
      return o.history ? historycommand(engine.place()) : undocommand(engine.place(), o.undo);
    }
    // A wrong path is told here, by name, before the data folder is touched.
    const std::string specproblem = assignsfromheader(o) ? std::string() : specfileproblem(o.spec);
    for (const std::string& problem : {sourcefileproblem(o.source), specproblem}) {
      if (problem.empty()) continue;
      std::fprintf(stderr, "Error: %s\n", problem.c_str());
      return 1;
    }
    ConsoleMessages messages;
    SystemClock clock;
    SystemDisk disk;
    Engine engine;
    SystemFolders folders;
    const std::string programdir = programfolder();
    if (!startupcheck(engine, messages, programdir, folders)) {
      // The batch command asks nothing: it names the command that makes the
      // installed program's first data folder.
      if (cancreatedatafolder(engine, programdir, folders))
        std::fprintf(stderr, "Create an empty contact data folder there with:\n  vesper-import --create-data-folder %s\n",
                     engine.datafolder().c_str());
      return 1;
    }
    ImportState state(messages, clock, disk);
    if (o.seeded) state.random.pin(o.seed);
    ImportSession session(state, engine);
    session.begin();
    session.setsource(o.source);
    if (!session.choosedatabase(o.database)) return 1;
    bool started = startbatch(session, o);
    BatchResult result;
    if (started) {
      result = runbatch(session, o);
      session.endstart();
    }
    session.close();
    if (!result.completed) return 1;
    std::fputs(summarytext(result.summary, state.SourceLayout.preamblelines, state.SourceLayout.recordstoolong).c_str(), stdout);
    return result.summary.stoppedbyerror || result.reportfailed ? 1 : 0;
  } catch (const UserError& e) {
    std::fprintf(stderr, "Error: %s\n", e.what());
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Error: %s\n", e.what());
    return 1;
  }
}

}  // namespace vesper
