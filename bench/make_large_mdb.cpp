// Prints the path of the large benchmark file (bench/large_file.h), making it first when it is
// missing. With an argument, writes the file there instead (which must not exist).

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "bench/large_file.h"

int main(int argc, char** argv) {
  const char* env = std::getenv("MDB_BIG_MDB");
  const std::string big =
      env != nullptr && *env != '\0' ? env : std::string(MDB_SHARED_DIR) + "/fixtures/big.mdb";
  try {
    if (argc > 1) {
      bench::MakeLargeMdb(big, argv[1]);
      std::printf("%s\n", argv[1]);
    } else {
      std::printf("%s\n", bench::LargeMdb(MDB_BENCH_CACHE_DIR, big).c_str());
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_large_mdb: %s\n", e.what());
    return 1;
  }
  return 0;
}
