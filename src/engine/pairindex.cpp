#include "engine/pairindex.h"

#include <algorithm>
#include <functional>

namespace vesper {

namespace {

std::uint64_t mixed(std::uint64_t x) {
  x ^= x >> 30;
  x *= 0xbf58476d1ce4e5b9ULL;
  x ^= x >> 27;
  x *= 0x94d049bb133111ebULL;
  return x ^ (x >> 31);
}

}  // namespace

std::uint64_t personhash(std::string_view person) { return mixed(std::hash<std::string_view>()(person)); }

std::uint64_t pairhash(std::uint64_t person, char kind, std::string_view value) {
  const std::uint64_t h =
      mixed(person ^ mixed(std::hash<std::string_view>()(value) + static_cast<unsigned char>(kind)));
  return h ? h : 1;
}

void KnownPairs::seal() {
  std::sort(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) { return a.pair < b.pair; });
  // About four entries for each run of the same top bits.
  int bits = 1;
  while (bits < 30 && (std::size_t{4} << bits) < entries_.size()) ++bits;
  shift_ = 64 - bits;
  starts_.assign((std::size_t{1} << bits) + 1, 0);
  std::size_t at = 0;
  for (std::size_t b = 0; b + 1 < starts_.size(); ++b) {
    starts_[b] = static_cast<std::uint32_t>(at);
    while (at < entries_.size() && static_cast<std::size_t>(entries_[at].pair >> shift_) == b) ++at;
  }
  starts_.back() = static_cast<std::uint32_t>(entries_.size());
}

void RunPairs::add(std::uint64_t pair, std::uint32_t row) {
  if ((count_ + 1) * 10 > pairs_.size() * 7) grow();
  const std::size_t mask = pairs_.size() - 1;
  for (std::size_t i = pair & mask;; i = (i + 1) & mask) {
    if (pairs_[i] == pair) return;
    if (pairs_[i] == 0) {
      pairs_[i] = pair;
      rows_[i] = row;
      ++count_;
      return;
    }
  }
}

long long RunPairs::find(std::uint64_t pair) const {
  if (pairs_.empty()) return -1;
  const std::size_t mask = pairs_.size() - 1;
  for (std::size_t i = pair & mask;; i = (i + 1) & mask) {
    if (pairs_[i] == pair) return rows_[i];
    if (pairs_[i] == 0) return -1;
  }
}

void RunPairs::grow() {
  std::vector<std::uint64_t> pairs = std::move(pairs_);
  std::vector<std::uint32_t> rows = std::move(rows_);
  pairs_.assign(pairs.empty() ? 1024 : pairs.size() * 2, 0);
  rows_.assign(pairs_.size(), 0);
  count_ = 0;
  for (std::size_t i = 0; i < pairs.size(); ++i)
    if (pairs[i]) add(pairs[i], rows[i]);
}

void KeyList::add(std::string_view key) {
  starts_.push_back(static_cast<std::uint32_t>(bytes_.size()));
  if (bytes_.size() + key.size() < 0xffffffffU) bytes_ += key;  // past 4 GB, keys are left empty
}

std::string KeyList::at(std::size_t i) const {
  const std::size_t to = i + 1 < starts_.size() ? starts_[i + 1] : bytes_.size();
  return bytes_.substr(starts_[i], to - starts_[i]);
}

}  // namespace vesper
