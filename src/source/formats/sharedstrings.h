// The shared strings of an .xlsx workbook, which any cell of a sheet may name
// by number, held compactly: in blocks of kBlockStrings strings, in memory
// while they are few, and once they pass `heldbytes` (a megabyte) in a temporary file of
// their own (removed as soon as it is made, so nothing is left behind),
// read back through a small cache of blocks.  A sheet names most strings once,
// in the order they were written, so that cache mostly hits.  The strings it
// names more than once (a city, a date, a title that many rows share) are
// named all over the sheet: told how often each is named (`keeprepeated`,
// from a look through the sheet), the store keeps in memory those named
// most, as many as kRepeatBytes holds.  A million contacts' strings then
// take about ten megabytes of memory instead of a hundred.
//
// Contract.  `add` the strings in order, then `get` them by number in any
// order; a string got stays valid until the next `get` or `keeprepeated`.  When no temporary
// file can be made or written the strings stay in memory, as they would
// have been without one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vesper {

// How often a sheet names each shared string: four bits a string (string i
// in byte i / 2, the low half for an even i), counted up to 15.
struct StringUses {
  static constexpr unsigned kMost = 15;
  std::vector<std::uint8_t> nibbles;
  unsigned of(std::size_t i) const {
    return i / 2 < nibbles.size() ? (nibbles[i / 2] >> (i % 2 * 4)) & 15u : 0u;
  }
  void add(std::size_t i) {
    if (nibbles.size() <= i / 2) nibbles.resize(i / 2 + 1, 0);
    if (of(i) < kMost) nibbles[i / 2] = static_cast<std::uint8_t>(nibbles[i / 2] + (1u << (i % 2 * 4)));
  }
};

class SharedStrings {
 public:
  static constexpr std::size_t kBlockStrings = 64;
  static constexpr std::size_t kHeldBytes = 1 << 20;
  static constexpr std::size_t kCacheBlocks = 128;
  static constexpr std::size_t kRepeatBytes = 8 << 20;
  static constexpr std::size_t kStretchBytes = 1 << 20;

  // `repeatbytes`: the memory the strings kept by keeprepeated() may take.
  explicit SharedStrings(std::size_t heldbytes = kHeldBytes, std::size_t repeatbytes = kRepeatBytes);
  ~SharedStrings();
  SharedStrings(const SharedStrings&) = delete;
  SharedStrings& operator=(const SharedStrings&) = delete;

  void add(std::string_view text) {
    addmade([text](std::string& to) { to.append(text); });
  }
  // Adds a string made in place: `make(to)` appends its text to `to`, which
  // may hold other text before it.  Spares a copy where a reader cleans the
  // text as it goes.
  template <class Make>
  void addmade(Make&& make) {
    const std::size_t before = building_.size();
    make(building_);
    endstring(building_.size() - before);
  }
  std::size_t size() const { return count_; }
  // Bytes of text added in all.
  std::uint64_t textbytes() const { return textbytes_; }
  // String `i` (from 0); empty when there is none.
  std::string_view get(std::size_t i);
  // Asks the memory for what get(i) of a kept string will read, without
  // waiting for it.  A reader that knows the strings it will get soon asks
  // for them all first, so that they are fetched side by side.
  void prefetch(std::size_t i) const;
  // Whether the strings went to a temporary file.
  bool spilled() const { return fd_ >= 0; }
  // Once all are added: keeps in memory strings named more than once by
  // `uses`, the most named first (of strings named as often, the first), as
  // many as fit.  Only a store in a file needs it; one in memory ignores it.
  void keeprepeated(const StringUses& uses);
  // How many strings are kept so, and whether string `i` is.
  std::size_t keptrepeated() const { return keptslots_.size(); }
  bool iskept(std::size_t i) const {
    std::size_t n;
    return keptas(i, n);
  }

 private:
  struct Slot {
    std::size_t block = static_cast<std::size_t>(-1);
    std::string bytes;
  };
  // Counts the string just made at the end of `building_`.
  void endstring(std::size_t size);
  // Moves the block being built to memory or the file.
  void closeblock();
  // Starts the temporary file with what is held; false when none can be made.
  bool spill();
  bool flush();
  // Whether string `i` is kept in memory, and as which of the kept ones.
  bool keptas(std::size_t i, std::size_t& n) const;
  // Hands strings 0 to `last` - 1 to `seen(i, text)` in order, the file read
  // in stretches of kStretchBytes; false when the file cannot be read.
  template <class Seen>
  bool inorder(std::size_t last, Seen seen);
  // String `k` of a finished block laid out at `data`.
  static std::string_view instring(const char* data, std::size_t k);

  std::size_t heldbytes_, repeatbytes_;
  std::size_t count_ = 0;
  std::uint64_t textbytes_ = 0;
  std::string building_;               // the open block's text
  std::vector<std::uint32_t> buildends_;
  // Where each finished block starts, in `held_` or in the file: one after
  // the other, so a block ends where the next starts (the last at `stored_`).
  std::vector<std::uint64_t> starts_;
  std::uint64_t stored_ = 0;
  std::string held_;                   // finished blocks kept in memory
  int fd_ = -1;
  bool spillfailed_ = false;
  std::uint64_t filebytes_ = 0;        // written and waiting in `pending_`
  std::string pending_;
  std::vector<Slot> cache_;
  // The strings kept in memory: a bit per string, the kept ones before each
  // word of bits, and a slot of 16 bytes for each, which holds a short
  // string's text itself (its size in the first byte), and for a longer one
  // (first byte 255) where its text lies in `kepttext_` and its size.  So a
  // kept string of up to 15 bytes takes one fetch from memory.
  struct KeptSlot {
    unsigned char size;
    char text[15];
  };
  static constexpr unsigned char kLongSlot = 255;
  std::vector<std::uint64_t> kept_;
  std::vector<std::uint32_t> keptbefore_;
  std::vector<KeptSlot> keptslots_;
  std::string kepttext_;
};

}  // namespace vesper
