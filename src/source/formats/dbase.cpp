// The dBASE table as a SourceTableFile: walks the records in file order,
// skipping deleted ones, and turns each field's bytes into a typed value.
// Records are read a chunk at a time; nothing is read outside the record
// area that the header and the file's size agree on.
#include "source/formats/dbase.h"

#include <algorithm>

#include "source/formats/dbase_internal.h"

namespace vesper {

namespace {

using dbase::Field;
using dbase::Reading;

constexpr std::size_t kChunkBytes = 1 << 16;

class DBaseTable : public SourceTableFile {
 public:
  explicit DBaseTable(const std::string& path) : path_(path) {
    if (!file_.open(path)) dbase::refuse(path, "the file cannot be opened");
    s_ = dbase::readstructure(file_, path);
    decoder_ = dbase::TextDecoder::fortable(path, s_.languagedriver, s_.drivername);
    dbase::namefields(s_, decoder_);
    memo_ = dbase::MemoFile::openbeside(path, s_);
    for (std::size_t i = 0; i < s_.fields.size(); ++i) {
      const Field& f = s_.fields[i];
      if (f.reading == Reading::Hidden) continue;
      visible_.push_back(i);
      columns_.push_back(TableColumn{f.name, f.columntype, static_cast<int>(f.width)});
    }
    if (columns_.empty()) dbase::refuse(path, "the table has no fields");
    first();
  }

  const std::vector<TableColumn>& columns() const override { return columns_; }

  long long recordcount() const override {
    if (live_ < 0) live_ = countlive();
    return live_;
  }

  void first() override { advance(0); }
  void next() override {
    if (!atend_) advance(index_ + 1);
  }
  bool atend() const override { return atend_; }

  TableValue value(int column) override {
    if (atend_ || column < 0 || static_cast<std::size_t>(column) >= visible_.size()) return {};
    const Field& f = s_.fields[visible_[column]];
    std::string_view rec(record_);
    if (f.nullbit >= 0 && dbase::nullflag(s_, rec, f.nullbit)) return {};
    return dbase::decodevalue(s_, f, rec, decoder_, memo_.get());
  }

 private:
  // The bytes of record i, read through a buffer of whole records; empty when
  // the file ended early (it shrank since it was opened).
  std::string_view recordat(std::uint64_t i) {
    const std::uint32_t rl = s_.recordlength;
    if (i < bufferfirst_ || i >= bufferfirst_ + buffered_) {
      std::uint64_t want = std::max<std::uint64_t>(1, kChunkBytes / rl);
      want = std::min(want, s_.recordcount - i);
      buffer_.resize(static_cast<std::size_t>(want * rl));
      std::size_t got = file_.read(s_.datastart + i * rl, buffer_.size(), buffer_.data());
      bufferfirst_ = i;
      buffered_ = got / rl;
      if (buffered_ == 0) return {};
    }
    return std::string_view(buffer_).substr(static_cast<std::size_t>((i - bufferfirst_) * rl), rl);
  }

  void advance(std::uint64_t from) {
    for (std::uint64_t i = from; i < s_.recordcount; ++i) {
      std::string_view rec = recordat(i);
      if (rec.empty() || rec[0] == '\x1A') break;  // end of the data
      if (rec[0] == '*') continue;                 // deleted
      index_ = i;
      record_.assign(rec);
      atend_ = false;
      return;
    }
    atend_ = true;
    record_.clear();
  }

  long long countlive() const {
    const std::uint32_t rl = s_.recordlength;
    std::string chunk;
    long long live = 0;
    for (std::uint64_t i = 0; i < s_.recordcount;) {
      std::uint64_t n = std::min<std::uint64_t>(std::max<std::uint64_t>(1, kChunkBytes / rl),
                                                s_.recordcount - i);
      chunk.resize(static_cast<std::size_t>(n * rl));
      std::size_t got = file_.read(s_.datastart + i * rl, chunk.size(), chunk.data()) / rl;
      for (std::size_t k = 0; k < got; ++k) {
        char flag = chunk[k * rl];
        if (flag == '\x1A') return live;
        if (flag != '*') ++live;
      }
      if (got < n) break;
      i += n;
    }
    return live;
  }

  std::string readfault() const override { return file_.fault(); }

  std::string path_;
  dbase::ByteFile file_;
  dbase::Structure s_;
  dbase::TextDecoder decoder_;
  std::unique_ptr<dbase::MemoFile> memo_;
  std::vector<std::size_t> visible_;
  std::vector<TableColumn> columns_;
  mutable long long live_ = -1;

  std::string buffer_;
  std::uint64_t bufferfirst_ = 0;
  std::uint64_t buffered_ = 0;
  std::uint64_t index_ = 0;
  std::string record_;
  bool atend_ = true;
};

}  // namespace

std::unique_ptr<SourceTableFile> opendbasetable(const std::string& path) {
  return std::make_unique<DBaseTable>(path);
}

}  // namespace vesper
