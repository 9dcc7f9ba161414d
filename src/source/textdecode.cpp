#include "source/textdecode.h"

#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace vesper {

namespace {

// Windows-1252 bytes 0x80..0x9F; the five unassigned ones stay C1 controls.
const unsigned short kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// Length of the UTF-8 sequence starting at s[i] when it is well-formed, 0
// when it is not, -1 when it is cut off by the end of the bytes.
int sequencelength(std::string_view s, std::size_t i) {
  unsigned char c = static_cast<unsigned char>(s[i]);
  if (c < 0x80) return 1;
  int n;
  unsigned lo = 0x80, hi = 0xBF;
  if (c >= 0xC2 && c <= 0xDF) n = 2;
  else if (c == 0xE0) { n = 3; lo = 0xA0; }
  else if (c == 0xED) { n = 3; hi = 0x9F; }
  else if (c >= 0xE1 && c <= 0xEF) n = 3;
  else if (c == 0xF0) { n = 4; lo = 0x90; }
  else if (c == 0xF4) { n = 4; hi = 0x8F; }
  else if (c >= 0xF1 && c <= 0xF3) n = 4;
  else return 0;
  for (int k = 1; k < n; ++k) {
    if (i + k >= s.size()) return -1;
    unsigned char d = static_cast<unsigned char>(s[i + k]);
    if (k == 1 ? (d < lo || d > hi) : (d < 0x80 || d > 0xBF)) return 0;
  }
  return n;
}

// The first position from i on that holds a byte of 0x80 or more (the size
// when there is none); plain ASCII is passed over eight bytes at a time.
std::size_t asciiend(std::string_view s, std::size_t i) {
  constexpr std::uint64_t kHighBits = 0x8080808080808080ull;
  while (i + 8 <= s.size()) {
    std::uint64_t w;
    std::memcpy(&w, s.data() + i, 8);
    if (w & kHighBits) break;
    i += 8;
  }
  while (i < s.size() && static_cast<unsigned char>(s[i]) < 0x80) ++i;
  return i;
}

}  // namespace

const char* encodingname(TextEncoding e) {
  switch (e) {
    case TextEncoding::Utf8: return "UTF-8";
    case TextEncoding::Utf16LE: return "UTF-16LE";
    case TextEncoding::Utf16BE: return "UTF-16BE";
    default: return "Windows-1252";
  }
}

void appendutf8(std::string& out, unsigned cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

bool isvalidutf8(std::string_view s, bool final) {
  for (std::size_t i = 0; i < s.size();) {
    i = asciiend(s, i);
    if (i >= s.size()) break;
    int n = sequencelength(s, i);
    if (n == 0) return false;
    if (n < 0) return !final;
    i += static_cast<std::size_t>(n);
  }
  return true;
}

bool detectmark(int fd, TextEncoding& encoding, std::size_t& bomlength) {
  bomlength = 0;
  unsigned char head[3] = {0, 0, 0};
  ssize_t got = ::pread(fd, head, 3, 0);
  if (got >= 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF) {
    encoding = TextEncoding::Utf8, bomlength = 3;
  } else if (got >= 2 && head[0] == 0xFF && head[1] == 0xFE) {
    encoding = TextEncoding::Utf16LE, bomlength = 2;
  } else if (got >= 2 && head[0] == 0xFE && head[1] == 0xFF) {
    encoding = TextEncoding::Utf16BE, bomlength = 2;
  }
  return bomlength > 0;
}

TextEncoding detectencoding(int fd, std::size_t& bomlength) {
  TextEncoding marked;
  return detectmark(fd, marked, bomlength) ? marked : detectencodingfrom(fd, 0);
}

std::size_t firstnonascii(std::string_view bytes) { return asciiend(bytes, 0); }

TextEncoding detectencodingfrom(int fd, long long from) {
  // Valid UTF-8 over the rest of the file (ASCII is valid UTF-8).
  std::vector<char> chunk(1 << 20);
  std::string carry;
  off_t offset = static_cast<off_t>(from);
  for (;;) {
    ssize_t n = ::pread(fd, chunk.data(), chunk.size(), offset);
    if (n <= 0) break;
    offset += n;
    std::string_view view(chunk.data(), static_cast<std::size_t>(n));
    std::string joined;
    if (!carry.empty()) {
      joined = carry + std::string(view);
      view = joined;
    }
    // Keep an incomplete sequence at the end for the next chunk.
    std::size_t keep = 0;
    for (std::size_t k = 1; k <= 3 && k <= view.size(); ++k) {
      unsigned char c = static_cast<unsigned char>(view[view.size() - k]);
      if (c >= 0xC0) { keep = k; break; }
      if (c < 0x80) break;
    }
    if (!isvalidutf8(view.substr(0, view.size() - keep))) return TextEncoding::Windows1252;
    carry = std::string(view.substr(view.size() - keep));
  }
  if (!carry.empty() && !isvalidutf8(carry)) return TextEncoding::Windows1252;
  return TextEncoding::Utf8;
}

void TextDecoder::decode(std::string_view bytes, std::string& out, bool final) {
  std::string joined;
  if (!carry_.empty()) {
    joined = carry_ + std::string(bytes);
    bytes = joined;
    carry_.clear();
  }
  switch (encoding_) {
    case TextEncoding::Utf8: {
      std::size_t i = 0;
      while (i < bytes.size()) {
        std::size_t start = i;
        i = asciiend(bytes, i);
        out.append(bytes.data() + start, i - start);
        if (i >= bytes.size()) break;
        int n = sequencelength(bytes, i);
        if (n > 0) {
          out.append(bytes.data() + i, static_cast<std::size_t>(n));
          i += static_cast<std::size_t>(n);
        } else if (n < 0 && !final) {
          carry_ = std::string(bytes.substr(i));
          return;
        } else {
          out += "\xEF\xBF\xBD";
          ++i;
        }
      }
      break;
    }
    case TextEncoding::Windows1252:
      for (unsigned char c : bytes) {
        if (c < 0x80) out += static_cast<char>(c);
        else appendutf8(out, c < 0xA0 ? kCp1252High[c - 0x80] : c);
      }
      break;
    case TextEncoding::Utf16LE:
    case TextEncoding::Utf16BE: {
      bool le = encoding_ == TextEncoding::Utf16LE;
      std::size_t i = 0;
      auto unit = [&](std::size_t at) {
        unsigned a = static_cast<unsigned char>(bytes[at]), b = static_cast<unsigned char>(bytes[at + 1]);
        return le ? (a | (b << 8)) : ((a << 8) | b);
      };
      while (i + 1 < bytes.size()) {
        unsigned u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF) {
          if (i + 3 >= bytes.size()) {
            if (!final) break;
            appendutf8(out, 0xFFFD);
            i += 2;
            continue;
          }
          unsigned v = unit(i + 2);
          if (v >= 0xDC00 && v <= 0xDFFF) {
            appendutf8(out, 0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00));
            i += 4;
          } else {
            appendutf8(out, 0xFFFD);
            i += 2;
          }
        } else {
          appendutf8(out, (u >= 0xDC00 && u <= 0xDFFF) ? 0xFFFD : u);
          i += 2;
        }
      }
      if (i < bytes.size()) {
        if (final) appendutf8(out, 0xFFFD);
        else carry_ = std::string(bytes.substr(i));
      }
      break;
    }
  }
}

}  // namespace vesper
