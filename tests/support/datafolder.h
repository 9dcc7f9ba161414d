// A test of the application layer on a fresh sample data folder: the folder
// (with CONTACT.DB, DATABASE.DB and SETTINGS.DB) under a temporary directory
// that is the working folder while the test runs, an engine configuration
// whose alias PNANT names it, and an import state on fake seams.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "app/importstate.h"
#include "store/engine.h"
#include "store/sampledata.h"
#include "support/fakes.h"

namespace vesper::testing {

struct DataFolderTest : ::testing::Test {
  explicit DataFolderTest(const std::string& name)
      : dir(std::filesystem::temp_directory_path() / ("vesper-" + name + "-" + std::to_string(::getpid()))) {}
  RecordingMessages messages;
  FixedClock clock;
  FixedDisk disk;
  std::filesystem::path dir;
  std::filesystem::path cwd = std::filesystem::current_path();
  std::unique_ptr<Engine> engine;
  std::unique_ptr<ImportState> state;

  void SetUp() override {
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    createsampledatafolder((dir / "data").string());
    engine = std::make_unique<Engine>((dir / "engine.cfg").string());
    engine->addstandardalias("PNANT", (dir / "data").string(), "PARADOX");
    std::filesystem::current_path(dir);
    state = std::make_unique<ImportState>(messages, clock, disk);
  }
  void TearDown() override {
    std::filesystem::current_path(cwd);
    std::filesystem::remove_all(dir);
  }
};

}  // namespace vesper::testing
