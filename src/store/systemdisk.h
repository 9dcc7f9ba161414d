// The file system as the table engine sees it: path join, finding table files
// without regard to letter case, and free space.
//
// Contract: nothing here throws.  Table-file names are matched with ASCII
// letter case folded, so "Contact.db" finds CONTACT.DB on a file system that
// tells case apart (an exact match wins over a folded one).
#pragma once

#include <string>

#include "base/seams.h"

namespace vesper {

// Empty folder: the name alone; a folder ending with '/': folder + name;
// otherwise folder + "/" + name.
std::string joinpath(const std::string& folder, const std::string& name);

// The path of the file named `name` in `folder` (letter case ignored), or ""
// when there is none.  An empty folder means the working folder.
std::string findfile(const std::string& folder, const std::string& name);

// True when `path` names an existing regular file, its last component matched
// without regard to letter case.
bool fileexists(const std::string& path);

// Splits a path at its last '/': ("/a/b.db") -> "/a" and "b.db"; ("b.db") -> "" and "b.db".
void splitpath(const std::string& path, std::string& folder, std::string& name);

// Free space from statvfs, in bytes available to the user, capped at the
// largest long long; -1 when the path does not exist or cannot be asked.  An
// empty path means the working folder.
class SystemDisk : public Disk {
 public:
  long long freespace(const std::string& path) override;
};

}  // namespace vesper
