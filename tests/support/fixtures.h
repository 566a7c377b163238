#pragma once

// Test helpers for the shared fixtures (../shared/fixtures): where they are, whether they are
// there, and private temporary copies that a test may modify or corrupt.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace fixtures {

// True when the shared fixture directory exists.
bool Available();
// Absolute path of a fixture, relative to the fixtures directory ("types.mdb",
// "access/jackcess-V1997-testV1997.mdb").
std::string Path(const std::string& relative);
// Every .mdb fixture (top level and access/), sorted.
std::vector<std::string> AllDatabases();
// The bytes of a file.
std::vector<uint8_t> ReadBytes(const std::string& path);

// A private directory removed with everything in it when the object dies.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  // Path of `name` inside the directory.
  std::string File(const std::string& name) const { return (path_ / name).string(); }
  // Writes `bytes` to `name` and returns its path.
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const;
  // Copies fixture `relative` into the directory (writable) and returns the copy's path.
  std::string Copy(const std::string& relative) const;

 private:
  std::filesystem::path path_;
};

}  // namespace fixtures

// Skips the current test with a visible reason when the shared fixtures are absent.
#define MDB_REQUIRE_FIXTURES()                                                    \
  do {                                                                            \
    if (!fixtures::Available())                                                   \
      GTEST_SKIP() << "shared fixtures not found at " MDB_SHARED_DIR "/fixtures"; \
  } while (0)
