// Start-up from a build folder and from an installed program: where the alias
// PNANT is made, and when the user is asked to create the data folder.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <optional>

#include "app/startup.h"
#include "store/sampledata.h"
#include "support/fakes.h"

namespace vesper {
namespace {

namespace fs = std::filesystem;

struct FakeFolders : Folders {
  bool programwritable = true;
  std::string home;
  bool writable(const std::string&) override { return programwritable; }
  std::string datahome() override { return home; }
};

enum class Answer { none, yes, no };  // none: nobody to ask (the batch command)
enum class Where { nowhere, program, user, elsewhere };

struct Case {
  const char* name;
  bool writable;
  Where contacts;            // where a data folder exists before start-up
  Where alias;               // the alias PNANT before start-up; nowhere: missing
  Answer answer;
  bool ready;                // start-up goes on to the windows
  bool asked;
  Where aliasafter;
  bool goodbye;
};

TEST(FirstStart, BuildFolderAndInstalledProgram) {
  using enum Answer;
  using enum Where;
  const Case cases[] = {
      {"build folder, no data: today's Goodbye", true, nowhere, nowhere, yes, false, false, program, true},
      {"build folder with data", true, program, nowhere, yes, true, false, program, false},
      {"installed, first start, yes", false, nowhere, nowhere, yes, true, true, user, false},
      {"installed, first start, no", false, nowhere, nowhere, no, false, true, user, true},
      {"installed, batch never asks", false, nowhere, nowhere, none, false, false, user, true},
      {"installed with data", false, user, nowhere, yes, true, false, user, false},
      {"installed, alias kept from before, yes", false, nowhere, user, yes, true, true, user, false},
      {"installed, alias names another folder", false, nowhere, elsewhere, yes, false, false, elsewhere, true},
  };
  const fs::path root = fs::temp_directory_path() / ("vesper-firststart-" + std::to_string(::getpid()));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(root);
    fs::create_directories(root / "prog");
    FakeFolders folders;
    folders.programwritable = c.writable;
    folders.home = (root / "home/.local/share").string();
    auto folder = [&](Where w) -> std::string {
      if (w == program) return (root / "prog/data").string();
      if (w == user) return (root / "home/.local/share/pennant/data").string();
      if (w == elsewhere) return (root / "shared/data").string();
      return "";
    };
    if (c.contacts != nowhere) createsampledatafolder(folder(c.contacts));
    const std::string config = (root / "engine.cfg").string();
    if (c.alias != nowhere) {
      Engine before(config);
      before.addstandardalias(kDataAlias, folder(c.alias), "PARADOX");
      before.saveconfig();
    }
    testing::RecordingMessages messages;
    std::optional<std::string> askedabout;
    CreateFolderQuestion ask;
    if (c.answer != none)
      ask = [&](const std::string& f) { askedabout = f; return c.answer == yes; };

    Engine engine(config);
    EXPECT_EQ(startupcheck(engine, messages, (root / "prog").string(), folders, ask), c.ready);
    EXPECT_EQ(askedabout.has_value(), c.asked);
    if (askedabout) {
      EXPECT_EQ(*askedabout, folder(user));
    }
    EXPECT_EQ(Engine(config).datafolder(), folder(c.aliasafter));  // saved for the next start
    const std::string goodbye =
        "Could not find the CONTACT.DB database in the " + folder(c.aliasafter) + " folder. Goodbye.";
    EXPECT_EQ(messages.texts(), c.goodbye ? std::vector<std::string>{goodbye} : std::vector<std::string>{});
    // The folder is made only on a yes; the batch command names it when it
    // could have been.
    EXPECT_EQ(fs::exists(folder(c.aliasafter) + "/CONTACT.DB"), c.ready);
    EXPECT_EQ(cancreatedatafolder(engine, (root / "prog").string(), folders),
              !c.ready && !c.writable && c.aliasafter == user);
  }
  fs::remove_all(root);
}

// The machine's answers: an installed program's folder is never its data
// folder's home, even for root; the data home follows XDG_DATA_HOME when it
// is absolute.
TEST(FirstStart, SystemFolders) {
  SystemFolders folders;
  EXPECT_FALSE(folders.writable("/usr/bin"));
  EXPECT_FALSE(folders.writable("/usr/local/bin/"));
  EXPECT_FALSE(folders.writable("/opt/pennant/bin"));
  EXPECT_TRUE(folders.writable(fs::temp_directory_path().string()));
  const char* xdg = std::getenv("XDG_DATA_HOME");
  const std::string saved = xdg ? xdg : "";
  struct { const char* xdg; const char* home; std::string datahome; } cases[] = {
      {"/srv/ann/share", "/home/ann", "/srv/ann/share"},
      {"relative/share", "/home/ann", "/home/ann/.local/share"},
      {"", "/home/bob", "/home/bob/.local/share"},
  };
  const char* home = std::getenv("HOME");
  const std::string savedhome = home ? home : "";
  for (const auto& c : cases) {
    ::setenv("XDG_DATA_HOME", c.xdg, 1);
    ::setenv("HOME", c.home, 1);
    EXPECT_EQ(folders.datahome(), c.datahome) << c.xdg;
    EXPECT_EQ(userdatafolder(folders), c.datahome + "/pennant/data");
  }
  if (xdg) ::setenv("XDG_DATA_HOME", saved.c_str(), 1); else ::unsetenv("XDG_DATA_HOME");
  if (home) ::setenv("HOME", savedhome.c_str(), 1); else ::unsetenv("HOME");
}

}  // namespace
}  // namespace vesper
