// libFuzzer target: the input is a whole .mdb file. It is written to a temporary file, opened,
// and walked through the public API: the catalog, the table listing, every table definition
// (user and system) and every row; then the checker runs over it as `mdbtool check` would. A jet::Error is the expected answer to a malformed file; any
// other exception, a crash, a sanitizer report or a hang is a finding.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "jet/check.h"
#include "jet/database.h"

namespace {

// Path of this process's scratch file, created on first use.
const std::string& ScratchPath() {
  static const std::string path = [] {
    char name[] = "/tmp/mdb-fuzz-XXXXXX";
    int fd = ::mkstemp(name);
    if (fd < 0) std::abort();
    ::close(fd);
    return std::string(name);
  }();
  return path;
}

void WriteInput(const uint8_t* data, size_t size) {
  FILE* f = std::fopen(ScratchPath().c_str(), "wb");
  if (f == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
}

void Walk() {
  auto db = jet::Database::Open(ScratchPath());
  db->ListTables();
  for (const jet::CatalogObject& obj : db->Objects()) {
    if (obj.kind != jet::ObjectKind::kTable && obj.kind != jet::ObjectKind::kSystemTable) continue;
    jet::TableDef table;
    try {
      table = db->GetTable(obj.name);
    } catch (const jet::Error&) {
      continue;  // a bad definition must not stop the walk over the other tables
    }
    jet::RowId first{};
    bool have_first = false;
    db->Scan(table, [&](jet::RowId id, std::vector<jet::Value>&) {
      if (!have_first) first = id;
      have_first = true;
      return true;
    });
    if (have_first) db->ReadRow(table, first);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  WriteInput(data, size);
  try {
    Walk();
  } catch (const jet::Error&) {
  }
  try {
    jet::CheckFile(ScratchPath());
  } catch (const jet::Error&) {
  }
  return 0;
}
