#include "source/formats/zippackage.h"

#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>
#include <zip.h>

#include <vector>

namespace vesper {

namespace {
constexpr std::size_t kChunk = 64 * 1024;
constexpr std::size_t kInputChunk = 32 * 1024;
constexpr long long kRatioFreeBytes = 1024 * 1024;

bool safename(std::string_view name) {
  return !name.empty() && name.front() != '/' && name.find('\\') == std::string_view::npos &&
         name.find("..") == std::string_view::npos;
}
}  // namespace

ZipPackage::~ZipPackage() { close(); }

void ZipPackage::close() {
  if (zip_) zip_discard(zip_);
  zip_ = nullptr;
}

bool ZipPackage::open(const std::string& path) {
  close();
  int error = 0;
  zip_ = zip_open(path.c_str(), ZIP_RDONLY, &error);
  path_ = path;
  bytes_ = {};
  return zip_ != nullptr;
}

bool ZipPackage::openagain(const ZipPackage& other) {
  return other.path_.empty() ? openmemory(other.bytes_) : open(other.path_);
}

bool ZipPackage::openmemory(std::string_view bytes) {
  close();
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* src = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
  if (src) {
    zip_ = zip_open_from_source(src, ZIP_RDONLY, &error);
    if (!zip_) zip_source_free(src);
  }
  zip_error_fini(&error);
  path_.clear();
  bytes_ = bytes;
  return zip_ != nullptr;
}

bool ZipPackage::has(const std::string& name) const {
  return zip_ && safename(name) && zip_name_locate(zip_, name.c_str(), 0) >= 0;
}

long long ZipPackage::declaredsize(const std::string& name) const {
  if (!has(name)) return -1;
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_stat(zip_, name.c_str(), 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE)) return -1;
  return static_cast<long long>(st.size);
}

namespace {
bool toolarge(long long out, long long packed, std::size_t limit) {
  if (out > static_cast<long long>(limit)) return true;
  return out > kRatioFreeBytes && out > kMaxPackRatio * (packed > 0 ? packed : 1);
}
}  // namespace

ZipPart::ZipPart(const ZipPackage& package, const std::string& name, std::size_t limit)
    : name_(name), limit_(limit) {
  if (!package.has(name)) throw PackageError("the part " + name + " is missing");
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_stat(package.zip_, name.c_str(), 0, &st) != 0)
    throw PackageError("the part " + name + " cannot be read");
  if (st.valid & ZIP_STAT_COMP_SIZE) packed_ = static_cast<long long>(st.comp_size);
  if (st.valid & ZIP_STAT_SIZE) declared_ = static_cast<long long>(st.size);
  // The declared size is checked first, then what really comes out.
  if ((st.valid & ZIP_STAT_SIZE) && toolarge(static_cast<long long>(st.size), packed_, limit_))
    throw PackageError("the part " + name + " inflates too far to be a workbook's");
  const bool deflated = (st.valid & ZIP_STAT_COMP_METHOD) && st.comp_method == ZIP_CM_DEFLATE &&
                        !((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE);
  file_ = zip_fopen(package.zip_, name.c_str(), deflated ? ZIP_FL_COMPRESSED : 0);
  if (!file_) throw PackageError("the part " + name + " cannot be read");
  buffer_.resize(kChunk);
  if (deflated) {
    inflater_ = std::make_unique<inflate_state>();
    isal_inflate_init(inflater_.get());
    inflater_->crc_flag = ISAL_GZIP_NO_HDR;
    input_.resize(kInputChunk);
    hascrc_ = (st.valid & ZIP_STAT_CRC) != 0;
    crc_ = st.crc;
  }
}

ZipPart::~ZipPart() {
  if (file_) zip_fclose(file_);
}

void ZipPart::damaged() const { throw PackageError("the part " + name_ + " is damaged"); }

std::size_t ZipPart::inflatechunk() {
  inflate_state& s = *inflater_;
  s.next_out = reinterpret_cast<std::uint8_t*>(buffer_.data());
  s.avail_out = static_cast<std::uint32_t>(buffer_.size());
  while (s.avail_out > 0 && s.block_state != ISAL_BLOCK_FINISH) {
    if (s.avail_in == 0 && !inputended_) {
      const zip_int64_t n = zip_fread(file_, input_.data(), input_.size());
      if (n < 0) damaged();
      inputended_ = n == 0;
      s.next_in = input_.data();
      s.avail_in = static_cast<std::uint32_t>(n);
    }
    const std::uint32_t before = s.avail_out;
    if (isal_inflate(&s) != ISAL_DECOMP_OK) damaged();
    // Input ended before the deflate stream did.
    if (inputended_ && s.avail_in == 0 && s.avail_out == before && s.block_state != ISAL_BLOCK_FINISH)
      damaged();
  }
  const std::size_t n = buffer_.size() - s.avail_out;
  if (s.block_state == ISAL_BLOCK_FINISH && n == 0 && hascrc_ && s.crc != crc_) damaged();
  return n;
}

std::string_view ZipPart::read() {
  if (!file_) return {};
  zip_int64_t n = 0;
  if (inflater_) {
    n = static_cast<zip_int64_t>(inflatechunk());
  } else {
    n = zip_fread(file_, buffer_.data(), buffer_.size());
    if (n < 0) damaged();
  }
  if (n == 0) {
    zip_fclose(file_);
    file_ = nullptr;
    return {};
  }
  out_ += n;
  if (toolarge(out_, packed_, limit_))
    throw PackageError("the part " + name_ + " inflates too far to be a workbook's");
  return std::string_view(buffer_.data(), static_cast<std::size_t>(n));
}

bool ZipPackage::read(const std::string& name, std::size_t limit,
                      const std::function<bool(std::string_view)>& sink) const {
  if (!has(name)) return false;
  ZipPart part(*this, name, limit);
  for (std::string_view chunk = part.read(); !chunk.empty(); chunk = part.read())
    if (!sink(chunk)) break;
  return true;
}

std::string ZipPackage::readsmall(const std::string& name, std::size_t limit) const {
  std::string text;
  read(name, limit, [&](std::string_view chunk) { return text.append(chunk), true; });
  return text;
}

std::string normalpartname(std::string_view name) {
  std::vector<std::string_view> parts;
  while (!name.empty()) {
    const std::size_t slash = name.find('/');
    std::string_view part = name.substr(0, slash);
    name = slash == std::string_view::npos ? std::string_view() : name.substr(slash + 1);
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (parts.empty()) return {};
      parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  std::string out;
  for (std::string_view p : parts) {
    if (!out.empty()) out += '/';
    out += p;
  }
  return safename(out) ? out : std::string();
}

}  // namespace vesper
