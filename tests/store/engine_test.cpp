#include "store/engine.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <sstream>

#include "base/errors.h"
#include "store/systemdisk.h"
#include "store/tempfolder.h"

namespace vesper {
namespace {

using testing::TempFolder;

std::string readfile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(AliasParams, LastPathLineGivesTheDataFolder) {
  struct Case { std::vector<std::string> params; std::string path; };
  const Case cases[] = {
      {{}, ""},
      {{"TYPE=STANDARD", "DEFAULT DRIVER=PARADOX"}, ""},
      {{"TYPE=STANDARD", "PATH=/home/me/data", "DEFAULT DRIVER=PARADOX"}, "/home/me/data"},
      {{"PATH=/first", "TYPE=STANDARD", "PATH=/second"}, "/second"},
      {{"PATH=/x", "PATH="}, ""},
      {{"PATH=/with spaces/and=equals"}, "/with spaces/and=equals"},
  };
  for (const Case& c : cases) EXPECT_EQ(pathfromparams(c.params), c.path);
}

TEST(PathJoin, OneSlashBetweenFolderAndName) {
  struct Case { const char* folder; const char* name; const char* joined; };
  const Case cases[] = {
      {"", "Contact.db", "Contact.db"},
      {"/data/", "Contact.db", "/data/Contact.db"},
      {"/data", "Contact.db", "/data/Contact.db"},
      {"/", "x", "/x"},
      {"rel", "x", "rel/x"},
  };
  for (const Case& c : cases) EXPECT_EQ(joinpath(c.folder, c.name), c.joined);
}

TEST(FileTest, MatchesTableFileNamesWithoutRegardToCase) {
  TempFolder dir;
  std::ofstream(dir.file("CONTACT.DB")) << "x";
  std::filesystem::create_directory(dir.file("FOLDER.DB"));
  EXPECT_TRUE(fileexists(dir.file("Contact.db")));
  EXPECT_TRUE(fileexists(dir.file("CONTACT.DB")));
  EXPECT_FALSE(fileexists(dir.file("Contact.dbx")));
  EXPECT_FALSE(fileexists(dir.file("folder.db")));  // a folder is no table file
  EXPECT_FALSE(fileexists(dir.file("nowhere/CONTACT.DB")));
  EXPECT_EQ(findfile(dir.path(), "contact.DB"), dir.file("CONTACT.DB"));
}

TEST(FreeSpace, RealFigureOrMinusOne) {
  SystemDisk disk;
  EXPECT_GT(disk.freespace("/tmp"), 0);
  EXPECT_EQ(disk.freespace("/no/such/folder/anywhere"), -1);
  EXPECT_GT(disk.freespace(""), 0);  // the working folder

  TempFolder dir;
  Engine engine(dir.file("engine.cfg"));
  EXPECT_EQ(engine.freespace(), disk.freespace(""));  // no alias: empty data folder
  engine.addstandardalias(kDataAlias, "/no/such/folder", "PARADOX");
  EXPECT_EQ(engine.freespace(), -1);
}

TEST(AliasConfig, SavedAliasSurvivesAndKeepsItsLinesAsWritten) {
  TempFolder dir;
  const std::string cfg = dir.file("conf/pennant/engine.cfg");
  std::filesystem::create_directories(dir.file("conf/pennant"));
  std::ofstream(cfg) << "; written by hand\n[pnant]\nTYPE=STANDARD\nPATH=/old/data\n\n"
                        "DEFAULT DRIVER=PARADOX\nPATH=/new/data\n";
  {
    Engine engine(cfg);
    EXPECT_TRUE(engine.isalias("PNANT"));
    EXPECT_EQ(engine.aliasparams("PNANT"),
              (std::vector<std::string>{"TYPE=STANDARD", "PATH=/old/data", "DEFAULT DRIVER=PARADOX",
                                        "PATH=/new/data"}));
    EXPECT_EQ(engine.datafolder(), "/new/data");
    EXPECT_THROW(engine.addstandardalias("Pnant", "/x", "PARADOX"), EngineError);
    engine.addstandardalias("OTHER", "/other", "PARADOX");
    EXPECT_TRUE(engine.isalias("other"));  // at once, before any save
    engine.saveconfig();
  }
  Engine again(cfg);
  EXPECT_EQ(again.datafolder(), "/new/data");
  EXPECT_EQ(again.datafolder("OTHER"), "/other");
  EXPECT_EQ(again.aliasparams("OTHER"),
            (std::vector<std::string>{"TYPE=STANDARD", "PATH=/other", "DEFAULT DRIVER=PARADOX"}));
  EXPECT_NE(readfile(cfg).find("; written by hand\n[pnant]\n"), std::string::npos);
  EXPECT_TRUE(again.aliasparams("MISSING").empty());
  EXPECT_EQ(again.datafolder("MISSING"), "");
}

TEST(AliasConfig, RefusesValuesThatWouldBreakTheFile) {
  TempFolder dir;
  Engine engine(dir.file("engine.cfg"));
  EXPECT_THROW(engine.addstandardalias("A", "/x\n[EVIL]", "PARADOX"), EngineError);
  EXPECT_THROW(engine.addstandardalias("A]B", "/x", "PARADOX"), EngineError);
  EXPECT_THROW(engine.addstandardalias("", "/x", "PARADOX"), EngineError);
  EXPECT_FALSE(engine.isalias("A"));
  EXPECT_FALSE(engine.isalias("EVIL"));
}

TEST(AliasConfig, DefaultPathFollowsTheEnvironment) {
  struct Saved {
    const char* name;
    std::string value;
    bool set;
  };
  std::vector<Saved> saved;
  for (const char* n : {"PENNANT_ENGINE_CONFIG", "XDG_CONFIG_HOME", "HOME"}) {
    const char* v = ::getenv(n);
    saved.push_back({n, v ? v : "", v != nullptr});
  }
  struct Case { const char* explicitcfg; const char* xdg; const char* home; std::string path; };
  const Case cases[] = {
      {"/etc/x.cfg", "/xdg", "/home/me", "/etc/x.cfg"},
      {nullptr, "/xdg", "/home/me", "/xdg/pennant/engine.cfg"},
      {"", "/xdg", "/home/me", "/xdg/pennant/engine.cfg"},
      {nullptr, nullptr, "/home/me", "/home/me/.config/pennant/engine.cfg"},
      {nullptr, "relative", "/home/me", "/home/me/.config/pennant/engine.cfg"},
  };
  auto put = [](const char* name, const char* value) {
    if (value) ::setenv(name, value, 1);
    else ::unsetenv(name);
  };
  for (const Case& c : cases) {
    put("PENNANT_ENGINE_CONFIG", c.explicitcfg);
    put("XDG_CONFIG_HOME", c.xdg);
    put("HOME", c.home);
    EXPECT_EQ(defaultconfigpath(), c.path);
  }
  for (const auto& s : saved) put(s.name, s.set ? s.value.c_str() : nullptr);
}

TEST(EngineTables, OpensByAliasOrFolderWithTheSessionTimeout) {
  TempFolder dir;
  createtable(dir.file("DATABASE.DB"), {{"DB", FieldType::Alpha, 20}}, "DB");
  Engine engine(dir.file("engine.cfg"));
  engine.setbusytimeout(1234);
  engine.addstandardalias(kDataAlias, dir.path() + "/", "PARADOX");
  Table byAlias, byFolder;
  engine.opentable(byAlias, kDataAlias, "database.db");
  engine.opentable(byFolder, dir.path(), "Database.DB");
  EXPECT_EQ(byAlias.path(), dir.file("DATABASE.DB"));
  EXPECT_EQ(byFolder.path(), dir.file("DATABASE.DB"));
  EXPECT_EQ(byAlias.busytimeout(), 1234);
  engine.addpassword("secret");
  EXPECT_EQ(engine.passwords(), std::vector<std::string>{"secret"});
}

}  // namespace
}  // namespace vesper
