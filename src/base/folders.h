// The folders the start-up decides between: whether the program may keep its
// data beside itself, and where the user's own data lives.
//
// Contract: a program that runs from a folder it may write (a build folder,
// an unpacked copy) keeps its contact data in that folder's "data"; one that
// is installed keeps it in the user's data home.  `SystemFolders` asks the
// machine; tests replace it.
#pragma once

#include <string>

namespace vesper {

class Folders {
 public:
  virtual ~Folders() = default;
  // Whether the program may keep its data folder inside `folder`.
  virtual bool writable(const std::string& folder) = 0;
  // The base folder of the user's application data: $XDG_DATA_HOME when it
  // is an absolute path, else ~/.local/share.
  virtual std::string datahome() = 0;
};

// The machine's answers.  A folder is writable when the user may write it and
// it is none of the system's program folders (/usr/bin, /usr/local/bin, /bin,
// /usr/games, /opt/...): an installed program keeps no data beside itself even
// when run by root, who may write anywhere.
class SystemFolders : public Folders {
 public:
  bool writable(const std::string& folder) override;
  std::string datahome() override;
};

}  // namespace vesper
