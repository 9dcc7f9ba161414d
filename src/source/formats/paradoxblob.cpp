#include "source/formats/paradoxblob.h"

#include <filesystem>
#include <system_error>

#include "parse/text.h"

namespace vesper {

namespace {

constexpr std::uint32_t kChunk = 4096;
constexpr int kOwnBlock = 2;
constexpr int kSharedBlock = 3;
constexpr std::uint32_t kOwnSlot = 0xFF;
constexpr std::uint32_t kSlots = 64;
constexpr std::uint32_t kSlotTable = 12;

unsigned byteat(const std::string& s, std::size_t i) { return static_cast<unsigned char>(s[i]); }

}  // namespace

void ParadoxBlobFile::open(const std::string& path) {
  if (path.empty() || !file_.open(path)) file_.close();
}

std::optional<std::string> ParadoxBlobFile::read(std::uint32_t offset, std::uint32_t length) {
  if (!file_.isopen() || length == 0) return std::nullopt;
  std::uint64_t block = offset & ~std::uint32_t(0xFF);
  std::uint32_t slot = offset & 0xFF;
  std::string head;
  std::string data;
  if (slot == kOwnSlot) {
    if (!file_.read(block, 9, head) || byteat(head, 0) != kOwnBlock) return std::nullopt;
    std::uint64_t chunks = byteat(head, 1) | (byteat(head, 2) << 8);
    std::uint64_t stored = byteat(head, 3) | (byteat(head, 4) << 8) | (byteat(head, 5) << 16) |
                           (std::uint64_t(byteat(head, 6)) << 24);
    if (stored < length || 9 + std::uint64_t(length) > chunks * kChunk) return std::nullopt;
    if (!file_.read(block + 9, length, data)) return std::nullopt;
    return data;
  }
  if (slot >= kSlots) return std::nullopt;
  if (!file_.read(block, 1, head) || byteat(head, 0) != kSharedBlock) return std::nullopt;
  if (!file_.read(block + kSlotTable + 5 * slot, 5, head)) return std::nullopt;
  std::uint64_t start = std::uint64_t(byteat(head, 0)) * 16;
  std::uint64_t room = std::uint64_t(byteat(head, 1)) * 16;
  if (start == 0 || length > room || start + length > kChunk) return std::nullopt;
  if (!file_.read(block + start, length, data)) return std::nullopt;
  return data;
}

std::string findparadoxblobfile(const std::string& tablepath) {
  namespace fs = std::filesystem;
  fs::path table(tablepath);
  fs::path folder = table.parent_path();
  if (folder.empty()) folder = ".";
  std::string wanted = table.stem().string() + ".mb";
  std::error_code ec;
  fs::directory_iterator it(folder, ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    std::error_code kind;
    if (sametext(name, wanted) && it->is_regular_file(kind)) return it->path().string();
  }
  return {};
}

}  // namespace vesper
