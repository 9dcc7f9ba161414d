#include "engine/badfile.h"

#include <sys/stat.h>

#include "app/importstate.h"
#include "parse/errors.h"

namespace vesper {

const char* const kLowDiskBadFileMessage =
    "Disk space less then 100k. Bad record file will not be writen.";

namespace {

constexpr long long kMinFreeSpace = 100000;

std::string folderof(const std::string& path) {
  auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

void WriteBadRecord(ImportState& state, std::string_view line) {
  TextFileSlot& slot = state.BadFile;
  long long free = state.disk.freeSpace(folderof(slot.Name));
  if (free >= 0 && free < kMinFreeSpace) {  // -1: not known, so try
    state.messages.plainMessage(kLowDiskBadFileMessage);
    return;
  }
  if (slot.State == 0) {
    if (!OpenSlot(slot)) return;
    try {
      RewriteSlot(slot);
    } catch (const IoError& e) {
      slot.State = 1;
      errorbox(state.messages, e.what());
      return;
    }
  }
  WriteSlotLine(slot, std::string(line));
}

bool BadFileTooShort(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return true;
  return st.st_size < 10;
}

}  // namespace vesper
