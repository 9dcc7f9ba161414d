// Memo files beside a dBASE table.
//   .dbt, dBASE III: blocks of 512 bytes; a memo runs from its first block
//        to the first 0x1A byte.
//   .dbt, dBASE IV and later: block size in the header (bytes 20-21); a memo
//        block starts FF FF 08 00 and a 32-bit length that counts those 8 bytes.
//   .fpt, FoxPro: big-endian block size in the header (bytes 6-7); each memo
//        starts with a big-endian type and length.
// Reads are bounded by the memo file's size: a block outside the file gives
// an empty memo, a length past the end is cut at the end.
#include "source/formats/dbase_internal.h"

namespace vesper::dbase {

namespace {

constexpr std::uint32_t kDefaultBlock = 512;

unsigned byteat(std::string_view b, std::size_t at) {
  return at < b.size() ? static_cast<unsigned char>(b[at]) : 0u;
}

bool blockoffset(std::uint64_t block, std::uint32_t blocksize, std::uint64_t filesize,
              std::uint64_t& offset) {
  if (block == 0 || blocksize == 0 || block > filesize / blocksize) return false;
  offset = block * blocksize;
  return offset < filesize;
}

class DbtMemo : public MemoFile {
 public:
  DbtMemo(std::unique_ptr<ByteFile> file, bool level3) : file_(std::move(file)) {
    std::string h = file_->read(0, 32);
    std::uint32_t stated = byteat(h, 20) | (byteat(h, 21) << 8);
    blocksize_ = (!level3 && stated >= 8) ? stated : kDefaultBlock;
  }

  std::string read(std::uint64_t block) const override {
    std::uint64_t offset;
    if (!blockoffset(block, blocksize_, file_->size(), offset)) return {};
    std::string head = file_->read(offset, 8);
    if (head.size() == 8 && byteat(head, 0) == 0xFF && byteat(head, 1) == 0xFF &&
        byteat(head, 2) == 0x08 && byteat(head, 3) == 0x00) {
      std::uint64_t length = byteat(head, 4) | (byteat(head, 5) << 8) | (byteat(head, 6) << 16) |
                             (std::uint64_t(byteat(head, 7)) << 24);
      if (length <= 8) return {};
      std::uint64_t room = file_->size() - offset - 8;
      return file_->read(offset + 8, static_cast<std::size_t>(std::min(length - 8, room)));
    }
    // dBASE III: the text ends at the first end-of-file mark.
    std::string out;
    char chunk[4096];
    for (std::uint64_t at = offset;;) {
      std::size_t n = file_->read(at, sizeof chunk, chunk);
      if (n == 0) break;
      std::string_view got(chunk, n);
      std::size_t end = got.find('\x1A');
      out.append(got.substr(0, end));
      if (end != std::string_view::npos) break;
      at += n;
    }
    return out;
  }

 private:
  std::unique_ptr<ByteFile> file_;
  std::uint32_t blocksize_ = kDefaultBlock;
};

class FptMemo : public MemoFile {
 public:
  explicit FptMemo(std::unique_ptr<ByteFile> file) : file_(std::move(file)) {
    std::string h = file_->read(0, 8);
    std::uint32_t stated = (byteat(h, 6) << 8) | byteat(h, 7);
    blocksize_ = stated ? stated : kDefaultBlock;
  }

  std::string read(std::uint64_t block) const override {
    std::uint64_t offset;
    if (!blockoffset(block, blocksize_, file_->size(), offset)) return {};
    std::string head = file_->read(offset, 8);
    if (head.size() < 8) return {};
    std::uint64_t length = (std::uint64_t(byteat(head, 4)) << 24) | (byteat(head, 5) << 16) |
                           (byteat(head, 6) << 8) | byteat(head, 7);
    std::uint64_t room = file_->size() - offset - 8;
    return file_->read(offset + 8, static_cast<std::size_t>(std::min(length, room)));
  }

 private:
  std::unique_ptr<ByteFile> file_;
  std::uint32_t blocksize_ = kDefaultBlock;
};

}  // namespace

std::unique_ptr<MemoFile> MemoFile::openbeside(const std::string& path, const Structure& s) {
  if (!s.hasmemo()) return nullptr;
  const bool fox = s.layout == Layout::Visual || s.version == 0xF5 || s.version == 0xFB;
  const char* order[2] = {fox ? ".fpt" : ".dbt", fox ? ".dbt" : ".fpt"};
  for (const char* ext : order) {
    std::string name = findbeside(path, ext);
    if (name.empty()) continue;
    auto file = std::make_unique<ByteFile>();
    if (!file->open(name)) continue;
    if (ext[1] == 'f') return std::make_unique<FptMemo>(std::move(file));
    return std::make_unique<DbtMemo>(std::move(file), s.version == 0x83 || s.version == 0x03);
  }
  return nullptr;
}

}  // namespace vesper::dbase
