// The memo file (.MB) that holds a Paradox table's memos and other large
// objects.
//
// Contract: `read` returns the object's bytes or nullopt when the memo file
// is missing or the reference does not lead to a well-formed object; it never
// reads outside the file.  The file is made of 4096-byte blocks.  A reference
// whose low byte is 0xFF names a block of its own (type 2: 2-byte block
// count at 1, 4-byte length at 3, data from 9); any other low byte is a slot
// (0 to 63) of a shared block (type 3) whose slot table starts at 12, five
// bytes a slot: data offset / 16, data length in 16-byte units, modification
// number (2 bytes), data length mod 16.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "source/formats/paradoxfile.h"

namespace vesper {

class ParadoxBlobFile {
 public:
  // Opens the memo file; a path that cannot be opened leaves it absent.
  void open(const std::string& path);
  bool present() const { return file_.isopen(); }
  std::optional<std::string> read(std::uint32_t offset, std::uint32_t length);

 private:
  ParadoxFile file_;
};

// The memo file that belongs to the table at `tablepath`: the file beside it
// with the same name and the extension .MB, letter case ignored; empty when
// there is none.
std::string findparadoxblobfile(const std::string& tablepath);

}  // namespace vesper
