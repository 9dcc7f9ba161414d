// What likely duplicates are found by, kept in memory: a person (the folded
// name) paired with one of the things that tell two people of that name
// apart (an e-mail address, a phone number's digits, a postal code), each
// pair as a 64-bit hash.  Two contacts are likely the same person when they
// share a pair.
//
// Contract:
// - pairhash() is never 0 and depends on the person, the kind of value and
//   the value; a pair of an empty value is never made.
// - KnownPairs holds the pairs of the contacts a table held when it was read,
//   about 13 bytes a pair: add() them all, then seal(); find() offers every
//   contact with the pair.
// - RunPairs holds the pairs of the rows a run stored, each with the row's
//   number in the run (the first row for a pair seen twice), about 20 bytes
//   a pair; it grows as rows are added.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vesper {

std::uint64_t personhash(std::string_view person);
std::uint64_t pairhash(std::uint64_t person, char kind, std::string_view value);

class KnownPairs {
 public:
  void reserve(std::size_t pairs) { entries_.reserve(pairs); }
  void add(std::uint64_t pair, std::uint32_t contact) { entries_.push_back({pair, contact}); }
  void seal();
  std::size_t size() const { return entries_.size(); }

  // Calls `each(contact)` for every contact with `pair`, until one call
  // returns true; whether one did.
  template <class Each>
  bool find(std::uint64_t pair, Each&& each) const {
    if (entries_.empty()) return false;
    const std::size_t b = static_cast<std::size_t>(pair >> shift_);
    for (std::uint32_t i = starts_[b]; i < starts_[b + 1]; ++i)
      if (entries_[i].pair == pair && each(entries_[i].contact)) return true;
    return false;
  }

 private:
#pragma pack(push, 4)
  struct Entry {
    std::uint64_t pair;
    std::uint32_t contact;
  };
#pragma pack(pop)
  std::vector<Entry> entries_;         // sorted by pair once sealed
  std::vector<std::uint32_t> starts_;  // where each run of entries with the same top bits starts
  int shift_ = 63;
};

class RunPairs {
 public:
  void add(std::uint64_t pair, std::uint32_t row);
  // The row of `pair`; -1 when none has it.
  long long find(std::uint64_t pair) const;

 private:
  void grow();
  std::vector<std::uint64_t> pairs_;  // 0 where a slot is free
  std::vector<std::uint32_t> rows_;
  std::size_t count_ = 0;
};

// Record keys by number (0, 1, ...), packed: their bytes and 4 bytes each.
class KeyList {
 public:
  void add(std::string_view key);
  std::string at(std::size_t i) const;
  std::size_t size() const { return starts_.size(); }
  void reserve(std::size_t keys, std::size_t bytes) {
    starts_.reserve(keys);
    bytes_.reserve(bytes);
  }

 private:
  std::string bytes_;
  std::vector<std::uint32_t> starts_;
};

}  // namespace vesper
