// A scratch folder with an engine configuration whose alias PNANT points at
// its "data" subfolder, and the batch command run in it.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace vesper::testing {

struct CommandResult {
  int code;
  std::string out, err;
};

class BatchCommandTest : public ::testing::Test {
 protected:
  std::filesystem::path dir;
  explicit BatchCommandTest(const std::string& name)
      : dir(std::filesystem::temp_directory_path() / ("vesper-" + name + "-" + std::to_string(::getpid()))) {}
  void SetUp() override {
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "engine.cfg") << "[PNANT]\nTYPE=STANDARD\nPATH=" << (dir / "data").string()
                                      << "\nDEFAULT DRIVER=PARADOX\n";
    ::setenv("PENNANT_ENGINE_CONFIG", (dir / "engine.cfg").c_str(), 1);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  std::string slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
  }
  // Runs vesper-import with `args` in the folder; output in out.txt/err.txt.
  CommandResult run(const std::string& args) {
    std::string cmd = "cd '" + dir.string() + "' && '" VESPER_BINARY "' " + args + " >out.txt 2>err.txt";
    int status = std::system(cmd.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(dir / "out.txt"), slurp(dir / "err.txt")};
  }
};

}  // namespace vesper::testing
