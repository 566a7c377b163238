// Temporary: creating tables and databases lands with the schema writer.
#include "jet/database.h"
#include "jet/error.h"

namespace jet {

std::unique_ptr<Database> Database::Create(const std::string& path) {
  throw Error(Error::Kind::kNotSupported, path + ": creating databases is not available yet");
}

void Database::CreateTable(const TableSpec&) {
  throw Error(Error::Kind::kNotSupported, "creating tables is not available yet");
}

}  // namespace jet
