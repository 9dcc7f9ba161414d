// Arbitrary bytes as an import specification file: the reader either fills
// the state within its bounds or ends with a UserError, nothing else.
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>

#include "app/specfile.h"
#include "base/errors.h"
#include "parse/text.h"
#include "store/sampledata.h"
#include "support/fakes.h"

using namespace vesper;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path =
      (std::filesystem::temp_directory_path() / ("vesper-specfuzz-" + std::to_string(::getpid()) + ".imp")).string();
  static const std::vector<FieldDef> fields = contactfields();
  {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  testing::QuietMessages messages;
  testing::FixedClock clock;
  testing::FixedDisk disk;
  ImportState state(messages, clock, disk);
  try {
    ReadSpecFile(state, path, fields);
  } catch (const UserError&) {
    return 0;
  }
  if (!state.SpecLoaded) return 0;
  for (const auto& a : state.FieldAssignments)
    if (textlength(a) > kAssignmentCapacity) __builtin_trap();
  if (state.SourceFieldCount < 0 || state.SourceFieldCount > kMaxSourceFields) __builtin_trap();
  return 0;
}
