// The character encoding of a text source, and its conversion to UTF-8.
//
// Contract: `detectencoding` decides from the file itself: a UTF-8 byte-order
// mark, or a whole file of valid UTF-8, is UTF-8; a UTF-16 byte-order mark
// (either byte order) is UTF-16; anything else is Windows-1252.  The mark's
// length is reported so the reader skips it and the first field is not
// polluted.  `TextDecoder` turns the file's bytes into UTF-8, chunk by chunk
// (a character split between two chunks is carried over); every character of
// the file comes out, one that cannot be decoded as U+FFFD.  Plain ASCII
// comes out byte for byte whatever the encoding decided.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vesper {

enum class TextEncoding { Utf8, Utf16LE, Utf16BE, Windows1252 };

const char* encodingname(TextEncoding e);

// Reads the open file `fd` with pread (its offset is left alone).
TextEncoding detectencoding(int fd, std::size_t& bomlength);
// The byte-order mark alone: true, with its encoding and length, when the
// file starts with one (`bomlength` is 0 otherwise).
bool detectmark(int fd, TextEncoding& encoding, std::size_t& bomlength);
// The decision for a file without a byte-order mark whose bytes before
// `from` are all ASCII: valid UTF-8 from `from` to the end is UTF-8, else
// Windows-1252 (what detectencoding decides for the whole file).
TextEncoding detectencodingfrom(int fd, long long from);
// The position of the first byte of `bytes` that is not ASCII (its size when
// there is none).
std::size_t firstnonascii(std::string_view bytes);

// True when the bytes are well-formed UTF-8 (no overlong forms, surrogates or
// code points past U+10FFFF); an incomplete sequence at the very end counts
// as ill-formed only when `final`.
bool isvalidutf8(std::string_view bytes, bool final = true);

class TextDecoder {
 public:
  explicit TextDecoder(TextEncoding e = TextEncoding::Utf8) : encoding_(e) {}
  void reset(TextEncoding e) { encoding_ = e; carry_.clear(); }
  TextEncoding encoding() const { return encoding_; }
  // Appends the UTF-8 of `bytes` to `out`; `final` flushes a split character.
  void decode(std::string_view bytes, std::string& out, bool final = false);

 private:
  TextEncoding encoding_;
  std::string carry_;
};

void appendutf8(std::string& out, unsigned codepoint);

}  // namespace vesper
