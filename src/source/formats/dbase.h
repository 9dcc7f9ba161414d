// Read-only dBASE table reader (.dbf with its .dbt or .fpt memo file).
//
// Reads dBASE II, III, IV, 5 and 7, FoxPro 2 and Visual FoxPro tables as a
// SourceTableFile (see source/formats/sourcetable.h).  Column types:
//   C, V -> String     N, F -> Float       D -> Date      T, @ -> DateTime
//   L -> Logical       M -> Memo           I -> Long      + -> AutoInc
//   Y -> Currency      O -> Float          Q -> Bytes
//   B -> Float in Visual FoxPro (a double), Blob elsewhere (a memo block)
//   G, P -> Blob       W -> Blob (4 bytes: a memo block), else String (UTF-16)
//   anything else -> Other (always null)
// The Visual FoxPro _NullFlags column is hidden; its bits make values null.
// Blob and Bytes values carry their raw bytes in `text`; every other text is
// UTF-8.  The code page comes from a .cpg file beside the table ("1251",
// "UTF-8"), else the language driver byte, else Windows-1252 (a value that is
// well-formed UTF-8 is then taken as UTF-8).  A missing memo file gives empty
// memos.  The header's record count is trusted only as far as the file's size
// bears it out.  A file that is not a readable dBASE table raises EngineError.
#pragma once

#include <memory>
#include <string>

#include "source/formats/sourcetable.h"

namespace vesper {

std::unique_ptr<SourceTableFile> opendbasetable(const std::string& path);

}  // namespace vesper
