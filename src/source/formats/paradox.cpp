#include "source/formats/paradox.h"

#include <cstdint>
#include <string_view>
#include <vector>

#include "base/errors.h"
#include "source/formats/codepage.h"
#include "source/formats/paradoxblob.h"
#include "source/formats/paradoxfield.h"
#include "source/formats/paradoxfile.h"

namespace vesper {

namespace {

// Fixed part of the header, common to every version.
constexpr std::size_t kFixedHeader = 0x58;
// Version 4.0 and later data tables add 0x20 bytes before the descriptors.
constexpr std::size_t kExtendedHeader = 0x78;
constexpr int kFirstExtendedVersion = 5;   // version ids: 3 = 3.0, 4 = 3.5, 5-9 = 4.x,
constexpr int kLongTableNameVersion = 12;  // 10-11 = 5.x, 12 = 7.x
constexpr int kBlockHeader = 6;

unsigned u8(std::string_view h, std::size_t at) { return static_cast<unsigned char>(h[at]); }
unsigned u16(std::string_view h, std::size_t at) { return u8(h, at) | (u8(h, at + 1) << 8); }
std::uint32_t u32(std::string_view h, std::size_t at) {
  return u16(h, at) | (std::uint32_t(u16(h, at + 2)) << 16);
}

class ParadoxTable : public SourceTableFile {
 public:
  explicit ParadoxTable(const std::string& path) : path_(path) {
    if (!file_.open(path)) fail("The table " + path + " cannot be opened.");
    readheader();
    readblockchain();
    if (hasblobs_) blobs_.open(findparadoxblobfile(path));
    first();
  }

  const std::vector<TableColumn>& columns() const override { return columns_; }
  long long recordcount() const override { return rows_; }

  void first() override {
    block_ = 0;
    row_ = 0;
    loadblock();
  }

  void next() override {
    if (atend_) return;
    if (++row_ < blocks_[block_].count) return;
    ++block_;
    row_ = 0;
    loadblock();
  }

  bool atend() const override { return atend_; }

  TableValue value(int column) override {
    if (atend_ || column < 0 || column >= int(fields_.size())) return {};
    const Field& f = fields_[column];
    std::string_view record(data_);
    std::string_view bytes = record.substr(std::size_t(row_) * recordsize_ + f.offset, f.width);
    if (!isparadoxblob(f.code)) return decodeparadoxfield(f.code, bytes, codepage_);
    ParadoxBlobRef ref = paradoxblobref(bytes);
    if (ref.length == 0) return {};
    if (ref.length <= ref.leading.size())
      return paradoxblobvalue(f.code, ref.leading.substr(0, ref.length), codepage_);
    auto blob = blobs_.read(ref.offset, ref.length);
    if (!blob) return {};
    return paradoxblobvalue(f.code, *blob, codepage_);
  }

 private:
  struct Field {
    int code;
    int width;
    std::size_t offset;
  };
  struct Block {
    std::uint64_t offset;
    int count;
  };

  [[noreturn]] void fail(const std::string& message) { throw EngineError(message); }
  [[noreturn]] void notatable() { fail("The file " + path_ + " is not a Paradox table."); }
  [[noreturn]] void damaged() { fail("The table " + path_ + " is damaged and cannot be read."); }

  void readheader() {
    std::string fixed;
    if (!file_.read(0, kFixedHeader, fixed)) notatable();
    recordsize_ = u16(fixed, 0x00);
    headersize_ = u16(fixed, 0x02);
    unsigned filetype = u8(fixed, 0x04);
    unsigned blockkb = u8(fixed, 0x05);
    firstblock_ = u16(fixed, 0x0E);
    unsigned fieldcount = u16(fixed, 0x21);
    version_ = int(u8(fixed, 0x39));
    // 0 and 2 are the keyed and unkeyed data tables; the others are indexes.
    if (filetype != 0 && filetype != 2) notatable();
    if (version_ < 3 || version_ > 12) notatable();
    if (blockkb != 1 && blockkb != 2 && blockkb != 3 && blockkb != 4 && blockkb != 8 &&
        blockkb != 16 && blockkb != 32)
      notatable();
    blocksize_ = blockkb * 1024;
    if (fieldcount == 0 || recordsize_ == 0 || recordsize_ + kBlockHeader > blocksize_) damaged();
    if (headersize_ < kFixedHeader || !file_.holds(0, headersize_)) damaged();

    std::string header;
    if (!file_.read(0, headersize_, header)) damaged();
    bool extended = version_ >= kFirstExtendedVersion;
    if (extended && headersize_ < kExtendedHeader) damaged();
    bool encrypted = extended ? u32(header, 0x5C) != 0 : u32(header, 0x25) != 0;
    if (encrypted) fail("The table " + path_ + " is encrypted and cannot be read.");
    codepage_ = codepagename(extended ? int(u16(header, 0x6A)) : 0);

    // Field descriptors (type, size), then a pointer to the table name and
    // one to each field name (meaningful only in memory), the table name in
    // a fixed-size slot, and the field names, each ended by a NUL.
    std::size_t at = extended ? kExtendedHeader : kFixedHeader;
    if (at + 2 * std::size_t(fieldcount) > header.size()) damaged();
    std::size_t offset = 0;
    for (unsigned i = 0; i < fieldcount; ++i) {
      int code = int(u8(header, at + 2 * i));
      int size = int(u8(header, at + 2 * i + 1));
      int width = paradoxfieldwidth(code, size);
      if (width == 0) damaged();
      fields_.push_back({code, width, offset});
      offset += width;
      hasblobs_ = hasblobs_ || isparadoxblob(code);
      columns_.push_back({"", paradoxcolumntype(code), size});
    }
    if (offset > recordsize_) damaged();
    at += 2 * std::size_t(fieldcount) + 4 + 4 * std::size_t(fieldcount);
    at += version_ >= kLongTableNameVersion ? 261 : 79;
    for (TableColumn& c : columns_) {
      if (at >= header.size()) damaged();
      std::size_t nul = header.find('\0', at);
      if (nul == std::string::npos) damaged();
      c.name = toutf8(std::string_view(header).substr(at, nul - at), codepage_);
      at = nul + 1;
    }
  }

  // Follows the chain from the first block; each block's header gives the
  // next block's number (0 ends the chain) and, as the offset of its last
  // record, how many records it holds.  A chain that leaves the file or
  // comes back to a block already seen is damage, and so is a block whose
  // records do not fit in it or in the file.
  void readblockchain() {
    // The last block may be cut short after its last record.
    std::uint64_t blocksinfile = (file_.size() - headersize_ + blocksize_ - 1) / blocksize_;
    std::vector<bool> seen(blocksinfile + 1, false);
    std::string head;
    for (std::uint64_t b = firstblock_; b != 0;) {
      if (b > blocksinfile || seen[b]) damaged();
      seen[b] = true;
      std::uint64_t at = headersize_ + (b - 1) * blocksize_;
      if (!file_.read(at, kBlockHeader, head)) damaged();
      int lastoffset = static_cast<std::int16_t>(u16(head, 4));
      int count = lastoffset < 0 ? 0 : lastoffset / int(recordsize_) + 1;
      std::uint64_t used = kBlockHeader + std::uint64_t(count) * recordsize_;
      if (used > blocksize_ || !file_.holds(at, used)) damaged();
      if (count > 0) blocks_.push_back({at, count});
      rows_ += count;
      b = u16(head, 0);
    }
  }

  void loadblock() {
    atend_ = block_ >= blocks_.size();
    if (atend_) return;
    const Block& b = blocks_[block_];
    if (!file_.read(b.offset + kBlockHeader, std::size_t(b.count) * recordsize_, data_))
      atend_ = true;  // the file shrank since it was opened
  }

  std::string path_;
  ParadoxFile file_;
  ParadoxBlobFile blobs_;
  std::vector<TableColumn> columns_;
  std::vector<Field> fields_;
  std::vector<Block> blocks_;
  std::string codepage_;
  int version_ = 0;
  unsigned recordsize_ = 0;
  std::size_t headersize_ = 0;
  std::size_t blocksize_ = 0;
  unsigned firstblock_ = 0;
  bool hasblobs_ = false;
  long long rows_ = 0;
  std::size_t block_ = 0;
  int row_ = 0;
  std::string data_;
  bool atend_ = true;
};

}  // namespace

std::unique_ptr<SourceTableFile> openparadoxtable(const std::string& path) {
  return std::make_unique<ParadoxTable>(path);
}

}  // namespace vesper
