#include "engine/badfile.h"

#include <sys/stat.h>

#include "base/errors.h"
#include "engine/runstate.h"

namespace vesper {

const char* const kLowDiskBadFileMessage =
    "Disk space less then 100k. Bad record file will not be writen.";

const char* const kLowDiskBadFileReason = "less than 100,000 bytes free on the disk";

namespace {

constexpr long long kMinFreeSpace = 100000;

std::string folderof(const std::string& path) {
  auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

std::string WriteBadRecord(RunState& state, std::string_view line) {
  TextFileSlot& slot = state.BadFile;
  long long free = state.disk.freespace(folderof(slot.Name));
  if (free >= 0 && free < kMinFreeSpace) {  // -1: not known, so try
    state.messages.plainmessage(kLowDiskBadFileMessage);
    return kLowDiskBadFileReason;
  }
  if (slot.State == 0) {
    if (!OpenSlot(slot)) return slot.fault;
    try {
      RewriteSlot(slot);
    } catch (const IoError& e) {
      slot.State = 1;
      slot.fault = e.what();
      errorbox(state.messages, e.what());
      return slot.fault;
    }
  }
  if (slot.State == -1) WriteSlotLine(slot, std::string(line));
  if (slot.State == -1) return {};
  return slot.fault.empty() ? std::string("the file could not be written") : slot.fault;
}

bool BadFileTooShort(const std::string& path) {
  struct stat st {};
  // Anything but a file (a folder of that name) holds no lines either.
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return true;
  return st.st_size < 10;
}

}  // namespace vesper
