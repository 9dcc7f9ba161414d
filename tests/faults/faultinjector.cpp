// A faulting store for the batch command, linked only into the test program
// vesper-import-faulting.  It passes every file operation on and fails the
// k-th one of a chosen kind, once, the way a failing disk would:
//
//   VESPER_FAULT=KIND:K:ERROR     e.g. write:17:enospc
//   VESPER_FAULT_SOURCE=NAME      the source file's name (no folder)
//   VESPER_FAULT_REPORT=FILE      where the counts are written at exit
//
// Kinds of the contact database files (a SQLite VFS registered as the
// default in front of the real one): write, sync, truncate, read, lock
// (file and shared-memory locks), journal-open (opening any file beside the
// main database: the write-ahead log, a rollback or temporary journal).
// Kinds of the plain files, caught where the program calls the system:
// source-read (read and pread of the source file) and bad-write (writes of
// bad.csv).  Errors: enospc, eio, short (a write that stops half-way, then
// fails; for other operations the same as eio).
//
// The report holds one line per kind, "KIND COUNT", and "fired 0|1".
#include <dlfcn.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

enum Kind { Write, Sync, Truncate, Read, Lock, JournalOpen, SourceRead, BadWrite, KindCount };
const char* const kKindNames[KindCount] = {"write", "sync",         "truncate",    "read",
                                           "lock",  "journal-open", "source-read", "bad-write"};
enum Error { NoError, Enospc, Eio, Short };

struct Plan {
  int kind = -1;
  long k = 0;
  Error error = NoError;
};

Plan plan;
std::atomic<long> counts[KindCount];
std::atomic<bool> fired{false};
std::string sourcename;
std::atomic<bool> shortpending{false};

Plan readplan() {
  Plan p;
  const char* text = std::getenv("VESPER_FAULT");
  if (!text || !*text) return p;
  std::string s = text;
  std::size_t a = s.find(':'), b = s.find(':', a == std::string::npos ? a : a + 1);
  if (a == std::string::npos || b == std::string::npos) return p;
  const std::string kind = s.substr(0, a), error = s.substr(b + 1);
  for (int i = 0; i < KindCount; ++i)
    if (kind == kKindNames[i]) p.kind = i;
  p.k = std::atol(s.substr(a + 1, b - a - 1).c_str());
  p.error = error == "enospc" ? Enospc : error == "eio" ? Eio : error == "short" ? Short : NoError;
  if (p.kind < 0 || p.k <= 0 || p.error == NoError) {
    std::fprintf(stderr, "vesper-import-faulting: cannot read VESPER_FAULT=%s\n", text);
    std::_Exit(3);
  }
  return p;
}

// Counts one operation of `kind`; the error to fail it with, or NoError.
Error next(Kind kind) {
  const long n = ++counts[kind];
  if (kind != plan.kind || n != plan.k) return NoError;
  fired = true;
  return plan.error;
}

void writereport() {
  const char* file = std::getenv("VESPER_FAULT_REPORT");
  if (!file || !*file) return;
  if (std::FILE* f = std::fopen(file, "w")) {
    for (int i = 0; i < KindCount; ++i) std::fprintf(f, "%s %ld\n", kKindNames[i], counts[i].load());
    std::fprintf(f, "fired %d\n", fired.load() ? 1 : 0);
    std::fclose(f);
  }
}

// ---- The SQLite files -------------------------------------------------

sqlite3_vfs* realvfs = nullptr;

struct FaultFile {
  sqlite3_file base;
  sqlite3_file* real;  // the real VFS's file, in the bytes after this one
};

sqlite3_file* real(sqlite3_file* f) { return reinterpret_cast<FaultFile*>(f)->real; }

int faultclose(sqlite3_file* f) { return real(f)->pMethods->xClose(real(f)); }
int faultread(sqlite3_file* f, void* buf, int amt, sqlite3_int64 off) {
  if (next(Read) != NoError) return SQLITE_IOERR_READ;
  return real(f)->pMethods->xRead(real(f), buf, amt, off);
}
int faultwrite(sqlite3_file* f, const void* buf, int amt, sqlite3_int64 off) {
  switch (next(Write)) {
    case NoError: break;
    case Enospc: return SQLITE_FULL;
    case Eio: return SQLITE_IOERR_WRITE;
    case Short:  // half the bytes reach the disk, then it is full
      real(f)->pMethods->xWrite(real(f), buf, amt / 2, off);
      return SQLITE_FULL;
  }
  return real(f)->pMethods->xWrite(real(f), buf, amt, off);
}
int faulttruncate(sqlite3_file* f, sqlite3_int64 size) {
  if (Error e = next(Truncate)) return e == Enospc ? SQLITE_FULL : SQLITE_IOERR_TRUNCATE;
  return real(f)->pMethods->xTruncate(real(f), size);
}
int faultsync(sqlite3_file* f, int flags) {
  if (Error e = next(Sync)) return e == Enospc ? SQLITE_FULL : SQLITE_IOERR_FSYNC;
  return real(f)->pMethods->xSync(real(f), flags);
}
int faultfilesize(sqlite3_file* f, sqlite3_int64* size) { return real(f)->pMethods->xFileSize(real(f), size); }
int faultlock(sqlite3_file* f, int level) {
  if (next(Lock) != NoError) return SQLITE_IOERR_LOCK;
  return real(f)->pMethods->xLock(real(f), level);
}
int faultunlock(sqlite3_file* f, int level) { return real(f)->pMethods->xUnlock(real(f), level); }
int faultcheckreserved(sqlite3_file* f, int* out) { return real(f)->pMethods->xCheckReservedLock(real(f), out); }
int faultcontrol(sqlite3_file* f, int op, void* arg) { return real(f)->pMethods->xFileControl(real(f), op, arg); }
int faultsectorsize(sqlite3_file* f) { return real(f)->pMethods->xSectorSize(real(f)); }
int faultdevice(sqlite3_file* f) { return real(f)->pMethods->xDeviceCharacteristics(real(f)); }
int faultshmmap(sqlite3_file* f, int page, int size, int extend, void volatile** out) {
  return real(f)->pMethods->xShmMap(real(f), page, size, extend, out);
}
int faultshmlock(sqlite3_file* f, int offset, int n, int flags) {
  // Only taking a lock can fail; letting one go always succeeds.
  if ((flags & SQLITE_SHM_LOCK) && next(Lock) != NoError) return SQLITE_IOERR_SHMLOCK;
  return real(f)->pMethods->xShmLock(real(f), offset, n, flags);
}
void faultshmbarrier(sqlite3_file* f) { real(f)->pMethods->xShmBarrier(real(f)); }
int faultshmunmap(sqlite3_file* f, int remove) { return real(f)->pMethods->xShmUnmap(real(f), remove); }
int faultfetch(sqlite3_file* f, sqlite3_int64 off, int amt, void** out) {
  return real(f)->pMethods->xFetch(real(f), off, amt, out);
}
int faultunfetch(sqlite3_file* f, sqlite3_int64 off, void* p) { return real(f)->pMethods->xUnfetch(real(f), off, p); }

const sqlite3_io_methods kMethods = {
    3,           faultclose,    faultread,          faultwrite,   faulttruncate, faultsync,
    faultfilesize, faultlock,   faultunlock,        faultcheckreserved, faultcontrol, faultsectorsize,
    faultdevice, faultshmmap,   faultshmlock,       faultshmbarrier, faultshmunmap, faultfetch,
    faultunfetch};

int faultopen(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* f, int flags, int* outflags) {
  auto* ff = reinterpret_cast<FaultFile*>(f);
  ff->base.pMethods = nullptr;
  ff->real = reinterpret_cast<sqlite3_file*>(ff + 1);
  const int beside = SQLITE_OPEN_MAIN_JOURNAL | SQLITE_OPEN_TEMP_JOURNAL | SQLITE_OPEN_SUBJOURNAL |
                     SQLITE_OPEN_SUPER_JOURNAL | SQLITE_OPEN_WAL;
  if ((flags & beside) && next(JournalOpen) != NoError) return SQLITE_CANTOPEN;
  int rc = realvfs->xOpen(realvfs, name, ff->real, flags, outflags);
  if (ff->real->pMethods) ff->base.pMethods = &kMethods;
  if (rc != SQLITE_OK && ff->real->pMethods) {
    ff->real->pMethods->xClose(ff->real);
    ff->base.pMethods = nullptr;
  }
  return rc;
}

int faultdelete(sqlite3_vfs*, const char* name, int sync) { return realvfs->xDelete(realvfs, name, sync); }
int faultaccess(sqlite3_vfs*, const char* name, int flags, int* out) {
  return realvfs->xAccess(realvfs, name, flags, out);
}
int faultfullname(sqlite3_vfs*, const char* name, int n, char* out) {
  return realvfs->xFullPathname(realvfs, name, n, out);
}
void* faultdlopen(sqlite3_vfs*, const char* name) { return realvfs->xDlOpen(realvfs, name); }
void faultdlerror(sqlite3_vfs*, int n, char* out) { realvfs->xDlError(realvfs, n, out); }
void (*faultdlsym(sqlite3_vfs*, void* h, const char* name))(void) { return realvfs->xDlSym(realvfs, h, name); }
void faultdlclose(sqlite3_vfs*, void* h) { realvfs->xDlClose(realvfs, h); }
int faultrandomness(sqlite3_vfs*, int n, char* out) { return realvfs->xRandomness(realvfs, n, out); }
int faultsleep(sqlite3_vfs*, int us) { return realvfs->xSleep(realvfs, us); }
int faultcurrenttime(sqlite3_vfs*, double* out) { return realvfs->xCurrentTime(realvfs, out); }
int faultlasterror(sqlite3_vfs*, int n, char* out) { return realvfs->xGetLastError(realvfs, n, out); }
int faultcurrenttime64(sqlite3_vfs*, sqlite3_int64* out) { return realvfs->xCurrentTimeInt64(realvfs, out); }

sqlite3_vfs faultvfs;

// ---- The plain files: the system calls ---------------------------------

// What each descriptor is: 0 another file, 1 the source, 2 bad.csv.
std::atomic<unsigned char> fdkinds[4096];

template <typename F>
F realcall(const char* name) {
  return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

void classify(int fd, const char* path) {
  if (fd < 0 || fd >= 4096) return;
  const char* slash = std::strrchr(path, '/');
  const char* base = slash ? slash + 1 : path;
  unsigned char kind = 0;
  if (!sourcename.empty() && sourcename == base) kind = 1;
  if (strcasecmp(base, "bad.csv") == 0) kind = 2;
  fdkinds[fd] = kind;
}

unsigned char kindof(int fd) { return fd >= 0 && fd < 4096 ? fdkinds[fd].load() : 0; }

int failwith(Error e) {
  errno = e == Enospc ? ENOSPC : EIO;
  return -1;
}

struct Setup {
  Setup() {
    plan = readplan();
    if (const char* s = std::getenv("VESPER_FAULT_SOURCE")) sourcename = s;
    realvfs = sqlite3_vfs_find(nullptr);
    faultvfs = *realvfs;
    faultvfs.szOsFile = static_cast<int>(sizeof(FaultFile)) + realvfs->szOsFile;
    faultvfs.zName = "faulting";
    faultvfs.pNext = nullptr;
    faultvfs.xOpen = faultopen;
    faultvfs.xDelete = faultdelete;
    faultvfs.xAccess = faultaccess;
    faultvfs.xFullPathname = faultfullname;
    faultvfs.xDlOpen = faultdlopen;
    faultvfs.xDlError = faultdlerror;
    faultvfs.xDlSym = faultdlsym;
    faultvfs.xDlClose = faultdlclose;
    faultvfs.xRandomness = faultrandomness;
    faultvfs.xSleep = faultsleep;
    faultvfs.xCurrentTime = faultcurrenttime;
    faultvfs.xGetLastError = faultlasterror;
    faultvfs.xCurrentTimeInt64 = faultcurrenttime64;
    faultvfs.xSetSystemCall = nullptr;
    faultvfs.xGetSystemCall = nullptr;
    faultvfs.xNextSystemCall = nullptr;
    faultvfs.iVersion = 2;
    sqlite3_vfs_register(&faultvfs, 1);
    std::atexit(writereport);
  }
} setup;

// The descriptor an open gave, noted by what it reads or writes.
int classified(int fd, const char* path) {
  classify(fd, path);
  return fd;
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
  static auto real = realcall<int (*)(const char*, int, ...)>("open");
  va_list ap;
  va_start(ap, flags);
  const mode_t mode = flags & (O_CREAT | O_TMPFILE) ? va_arg(ap, mode_t) : 0;
  va_end(ap);
  return classified(real(path, flags, mode), path);
}

int open64(const char* path, int flags, ...) {
  static auto real = realcall<int (*)(const char*, int, ...)>("open64");
  va_list ap;
  va_start(ap, flags);
  const mode_t mode = flags & (O_CREAT | O_TMPFILE) ? va_arg(ap, mode_t) : 0;
  va_end(ap);
  return classified(real(path, flags, mode), path);
}

ssize_t read(int fd, void* buf, size_t n) {
  static auto real = realcall<ssize_t (*)(int, void*, size_t)>("read");
  if (kindof(fd) == 1)
    if (Error e = next(SourceRead)) return failwith(e);
  return real(fd, buf, n);
}

ssize_t pread(int fd, void* buf, size_t n, off_t off) {
  static auto real = realcall<ssize_t (*)(int, void*, size_t, off_t)>("pread");
  if (kindof(fd) == 1)
    if (Error e = next(SourceRead)) return failwith(e);
  return real(fd, buf, n, off);
}

ssize_t pread64(int fd, void* buf, size_t n, off_t off) {
  static auto real = realcall<ssize_t (*)(int, void*, size_t, off_t)>("pread64");
  if (kindof(fd) == 1)
    if (Error e = next(SourceRead)) return failwith(e);
  return real(fd, buf, n, off);
}

ssize_t write(int fd, const void* buf, size_t n) {
  static auto real = realcall<ssize_t (*)(int, const void*, size_t)>("write");
  if (kindof(fd) == 2) {
    if (shortpending.exchange(false)) return failwith(Enospc);
    switch (next(BadWrite)) {
      case NoError: break;
      case Short: {  // half the line reaches the disk, then it is full
        const ssize_t done = n > 1 ? real(fd, buf, n / 2) : 0;
        if (done <= 0) return failwith(Enospc);
        shortpending = true;  // the rest, written next, does not fit
        return done;
      }
      case Enospc: return failwith(Enospc);
      case Eio: return failwith(Eio);
    }
  }
  return real(fd, buf, n);
}

int close(int fd) {
  static auto real = realcall<int (*)(int)>("close");
  if (fd >= 0 && fd < 4096) fdkinds[fd] = 0;
  return real(fd);
}

}  // extern "C"
