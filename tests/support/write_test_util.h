#pragma once

// Helpers for tests that write databases: a private temporary directory, copies of fixtures,
// file hashes and running the independent reader.

#include <cstdint>
#include <filesystem>
#include <string>

namespace testutil {

// A fresh directory removed when the object dies.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// Path of a shared fixture, or "" when ../shared is absent.
std::string FixturePath(const std::string& name);
// Copies fixture `name` into `dir` as a writable file and returns its path.
std::string CopyFixture(const TempDir& dir, const std::string& name);
// FNV-1a hash of a file's bytes.
uint64_t HashFile(const std::string& path);
// Runs a shell command and returns its standard output; `status` gets the exit status.
std::string RunCommand(const std::string& command, int* status = nullptr);

// Whether the comparison with mdbtools can run: the shared tools, mdbtools and node.
bool MdbtoolsComparisonAvailable();
// Compares `mdbtool dump` of `file` with what mdbtools reads, the way the shared comparison
// script does, except that rows are compared as a multiset: mdbtools reads a row that moved to an
// overflow slot at the position of that slot, not of its header. Scratch files go to `dir`.
// Returns "AGREE" or "DIFFER" with the diff.
std::string CompareWithMdbtools(const TempDir& dir, const std::string& file);

}  // namespace testutil
