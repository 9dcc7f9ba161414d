#include "source/formats/sharedstrings.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace vesper {

namespace {

constexpr std::size_t kWriteBytes = 256 << 10;

// A file in the temporary folder no name leads to.
int opentemporary() {
  const char* dir = std::getenv("TMPDIR");
  std::string folder = dir && *dir ? dir : "/tmp";
#ifdef O_TMPFILE
  const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0) return fd;
#endif
  std::string name = folder + "/vesper-strings.XXXXXX";
  const int made = ::mkstemp(name.data());
  if (made >= 0) ::unlink(name.c_str());
  return made;
}

}  // namespace

SharedStrings::SharedStrings(std::size_t heldbytes, std::size_t repeatbytes)
    : heldbytes_(heldbytes), repeatbytes_(repeatbytes) {}

SharedStrings::~SharedStrings() {
  if (fd_ >= 0) ::close(fd_);
}

void SharedStrings::endstring(std::size_t size) {
  buildends_.push_back(static_cast<std::uint32_t>(building_.size()));
  ++count_;
  textbytes_ += size;
  if (buildends_.size() == kBlockStrings) closeblock();
}

void SharedStrings::closeblock() {
  // A block: the ends of its strings, then their text back to back, put
  // straight where it is kept (memory, or what waits to be written).
  const std::size_t endbytes = buildends_.size() * sizeof(std::uint32_t);
  const std::size_t size = endbytes + building_.size();
  if (fd_ < 0 && !spillfailed_ && held_.size() + size > heldbytes_) spill();
  starts_.push_back(stored_);
  stored_ += size;
  std::string& to = fd_ >= 0 ? pending_ : held_;
  to.append(reinterpret_cast<const char*>(buildends_.data()), endbytes);
  to += building_;
  building_.clear();
  buildends_.clear();
  if (fd_ < 0 || pending_.size() < kWriteBytes || flush()) return;
  // The file failed midway: what it holds is read back into memory with
  // what still waits.  Should even that fail, the count is kept so every
  // later number stays right, and those strings are empty.
  std::string all(filebytes_, '\0');
  if (::pread(fd_, all.data(), all.size(), 0) != static_cast<ssize_t>(all.size())) all.assign(filebytes_, '\0');
  ::close(fd_);
  fd_ = -1;
  spillfailed_ = true;
  held_ = std::move(all);
  held_ += pending_;
  pending_.clear();
  cache_.clear();
}

bool SharedStrings::spill() {
  fd_ = opentemporary();
  if (fd_ < 0) {
    spillfailed_ = true;
    return false;
  }
  filebytes_ = 0;
  pending_.clear();
  pending_.swap(held_);
  if (!flush()) {
    held_.swap(pending_);
    pending_.clear();
    ::close(fd_);
    fd_ = -1;
    spillfailed_ = true;
    return false;
  }
  std::string().swap(held_);
  cache_.resize(kCacheBlocks);
  return true;
}

bool SharedStrings::flush() {
  std::size_t done = 0;
  while (done < pending_.size()) {
    const ssize_t n = ::pwrite(fd_, pending_.data() + done, pending_.size() - done,
                               static_cast<off_t>(filebytes_ + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  filebytes_ += pending_.size();
  pending_.clear();
  return true;
}

std::string_view SharedStrings::instring(const char* data, std::size_t k) {
  std::uint32_t begin = 0, end = 0;
  if (k > 0) std::memcpy(&begin, data + (k - 1) * sizeof begin, sizeof begin);
  std::memcpy(&end, data + k * sizeof end, sizeof end);
  return std::string_view(data + kBlockStrings * sizeof end + begin, end - begin);
}

bool SharedStrings::keptas(std::size_t i, std::size_t& n) const {
  if (i / 64 >= kept_.size()) return false;
  const std::uint64_t word = kept_[i / 64], bit = std::uint64_t(1) << (i % 64);
  if (!(word & bit)) return false;
  n = keptbefore_[i / 64] + static_cast<std::size_t>(__builtin_popcountll(word & (bit - 1)));
  return true;
}

void SharedStrings::prefetch(std::size_t i) const {
  if (std::size_t n = 0; keptas(i, n)) __builtin_prefetch(keptslots_.data() + n);
}

std::string_view SharedStrings::get(std::size_t i) {
  if (i >= count_) return {};
  const std::size_t b = i / kBlockStrings, k = i % kBlockStrings;
  if (b == starts_.size()) {
    const std::uint32_t begin = k ? buildends_[k - 1] : 0;
    return std::string_view(building_).substr(begin, buildends_[k] - begin);
  }
  const std::uint64_t start = starts_[b];
  const std::size_t bytes = static_cast<std::size_t>((b + 1 < starts_.size() ? starts_[b + 1] : stored_) - start);
  if (fd_ < 0) return instring(held_.data() + start, k);
  if (start + bytes > filebytes_ && !flush()) return {};
  if (std::size_t n = 0; keptas(i, n)) {
    const KeptSlot& slot = keptslots_[n];
    if (slot.size != kLongSlot) return std::string_view(slot.text, slot.size);
    std::uint32_t at = 0, size = 0;
    std::memcpy(&at, slot.text + 3, sizeof at);
    std::memcpy(&size, slot.text + 7, sizeof size);
    return std::string_view(kepttext_).substr(at, size);
  }
  Slot& slot = cache_[b % cache_.size()];
  if (slot.block != b) {
    slot.bytes.resize(bytes);
    std::size_t done = 0;
    while (done < bytes) {
      const ssize_t n = ::pread(fd_, slot.bytes.data() + done, bytes - done, static_cast<off_t>(start + done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        slot.block = static_cast<std::size_t>(-1);
        return {};
      }
      done += static_cast<std::size_t>(n);
    }
    slot.block = b;
  }
  return instring(slot.bytes.data(), k);
}

}  // namespace vesper

namespace vesper {

template <class Seen>
bool SharedStrings::inorder(std::size_t last, Seen seen) {
  if (fd_ >= 0 && !flush()) return false;
  auto endof = [this](std::size_t block) { return block + 1 < starts_.size() ? starts_[block + 1] : stored_; };
  std::string stretch;
  std::size_t i = 0;
  for (std::size_t first = 0; first < starts_.size() && i < last;) {
    // As many whole blocks as a stretch holds (at least one), read at once.
    std::size_t end = first + 1;
    while (end < starts_.size() && end * kBlockStrings < last && endof(end) - starts_[first] <= kStretchBytes) ++end;
    const char* data = nullptr;
    if (fd_ < 0) {
      data = held_.data() + starts_[first];
    } else {
      stretch.resize(static_cast<std::size_t>(endof(end - 1) - starts_[first]));
      for (std::size_t done = 0; done < stretch.size();) {
        const ssize_t n = ::pread(fd_, stretch.data() + done, stretch.size() - done,
                                  static_cast<off_t>(starts_[first] + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
      }
      data = stretch.data();
    }
    for (std::size_t b = first; b < end; ++b) {
      const char* block = data + (starts_[b] - starts_[first]);
      for (std::size_t k = 0; k < kBlockStrings && i < last; ++k, ++i) seen(i, instring(block, k));
    }
    first = end;
  }
  for (; i < last; ++i) seen(i, get(i));  // the block still being built
  return true;
}

void SharedStrings::keeprepeated(const StringUses& uses) {
  kept_.clear();
  keptbefore_.clear();
  std::vector<KeptSlot>().swap(keptslots_);
  std::string().swap(kepttext_);
  if (fd_ < 0) return;
  // What the strings named as often as each other would take, the most named
  // first, decides down to which count all fit; of those named that often
  // only some may fit, the first ones.  A second look in order then keeps
  // them.  Both read the file in long stretches.
  const std::size_t last = std::min(count_, uses.nibbles.size() * 2);
  auto costof = [](std::size_t size) { return sizeof(KeptSlot) + (size <= sizeof KeptSlot::text ? 0 : size); };
  std::size_t costs[StringUses::kMost + 1] = {}, counts[StringUses::kMost + 1] = {};
  const bool read = inorder(last, [&](std::size_t i, std::string_view v) {
    if (const unsigned n = uses.of(i); n > 1) costs[n] += costof(v.size()), ++counts[n];
  });
  if (!read) return;
  unsigned whole = StringUses::kMost + 1;  // strings named this often or more all fit
  std::size_t bytes = 0, most = 0;
  while (whole > 2 && bytes + costs[whole - 1] <= repeatbytes_) {
    --whole;
    bytes += costs[whole];
    most += counts[whole];
  }
  const unsigned some = whole - 1;  // of strings named this often, those before the first that does not fit
  most += counts[some];
  // Room made once, for at most what may be kept (untouched room takes no
  // memory): a string grown by doubling would hold two copies at its peak.
  std::vector<std::uint64_t> kept((last + 63) / 64, 0);
  std::vector<std::uint32_t> before(kept.size());
  std::vector<KeptSlot> slots;
  slots.reserve(std::min(most, repeatbytes_ / sizeof(KeptSlot)));
  std::string text;
  text.reserve(repeatbytes_);
  bool full = false;
  const bool done = inorder(last, [&](std::size_t i, std::string_view v) {
    if (i % 64 == 0) before[i / 64] = static_cast<std::uint32_t>(slots.size());
    const unsigned n = uses.of(i);
    if (n < 2 || n < some || (n == some && full)) return;
    if (n == some) {
      const std::size_t cost = costof(v.size());
      full = bytes + cost > repeatbytes_;
      if (full) return;
      bytes += cost;
    }
    kept[i / 64] |= std::uint64_t(1) << (i % 64);
    KeptSlot& slot = slots.emplace_back();
    if (v.size() <= sizeof slot.text) {
      slot.size = static_cast<unsigned char>(v.size());
      std::memcpy(slot.text, v.data(), v.size());
    } else {
      slot.size = kLongSlot;
      const std::uint32_t at = static_cast<std::uint32_t>(text.size()), size = static_cast<std::uint32_t>(v.size());
      std::memcpy(slot.text + 3, &at, sizeof at);
      std::memcpy(slot.text + 7, &size, sizeof size);
      text.append(v);
    }
  });
  if (!done) return;
  kept_ = std::move(kept);
  keptbefore_ = std::move(before);
  keptslots_ = std::move(slots);
  kepttext_ = std::move(text);
}

}  // namespace vesper
