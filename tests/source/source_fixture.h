// A temporary folder and an import state for the text-source tests: the
// source layer's state, or a state above it for the tests of a layer above.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "source/sourceline.h"
#include "source/sourcestate.h"
#include "support/fakes.h"

namespace vesper::testing {

template <class State>
class StateFixture : public ::testing::Test {
 protected:
  std::filesystem::path dir = std::filesystem::temp_directory_path() /
                              ("vesper-source-" + std::to_string(::getpid()) + "-" +
                               ::testing::UnitTest::GetInstance()->current_test_info()->name());
  RecordingMessages messages;
  FixedClock clock;
  FixedDisk disk;
  State state{messages, clock, disk};

  void SetUp() override { std::filesystem::create_directories(dir); }
  void TearDown() override { std::filesystem::remove_all(dir); }

  std::string write(const std::string& name, const std::string& bytes) {
    auto p = dir / name;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
    return p.string();
  }
  std::string read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
  }
  // Makes `bytes` the source of the state, rewound, with `fields` per record.
  void source(const std::string& bytes, int kind, int fields) {
    state.SourceFile.setup(messages, write("source.txt", bytes), "Source file");
    state.SourceType = kind;
    state.SourceFieldCount = fields;
    ASSERT_TRUE(RewindSourceFile(state));
  }
};

using SourceFixture = StateFixture<SourceState>;

}  // namespace vesper::testing
