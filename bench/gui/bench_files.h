#pragma once

// What the editor's benchmarks share: the source file, private writable copies of it (the window
// and the table operations open files for writing, never the shared fixture), and the process's
// peak memory.

#include <sys/resource.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace bench {

// big.mdb of the shared fixtures, or the file MDB_BIG_MDB names.
inline std::string BigMdb() {
  const char* env = std::getenv("MDB_BIG_MDB");
  return env != nullptr && *env != '\0' ? env : std::string(MDB_SHARED_DIR) + "/fixtures/big.mdb";
}

// A private writable copy of `source` named `name` in the temporary directory.
inline std::string CopyOf(const std::string& source, const std::string& name) {
  const std::filesystem::path copy = std::filesystem::temp_directory_path() / name;
  std::filesystem::copy_file(source, copy, std::filesystem::copy_options::overwrite_existing);
  std::filesystem::permissions(copy, std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add);
  return copy.string();
}

// The peak resident memory of this process so far, in KiB.
inline long PeakRssKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

}  // namespace bench
