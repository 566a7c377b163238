#include "query/export/export.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "query/export/ddl.h"
#include "query/export/output_file.h"
#include "query/export/writers.h"

namespace query {
namespace {

void PrintNotes(const ExportSchema& schema, std::ostream* notes) {
  if (notes == nullptr) return;
  for (const std::string& n : schema.notes) *notes << n << '\n';
}

// The CSV directory: created when missing, else it must be an empty directory. Returns whether
// it was created here (and so is removed again after a failure).
bool PrepareDirectory(const std::string& dir) {
  if (::mkdir(dir.c_str(), 0755) == 0) return true;
  if (errno != EEXIST) {
    throw jet::Error(jet::Error::Kind::kIo,
                     "cannot create the directory " + dir + ": " + std::strerror(errno));
  }
  std::error_code ec;
  if (!std::filesystem::is_directory(dir, ec)) {
    throw jet::Error(jet::Error::Kind::kInvalidArgument, dir + " exists and is not a directory");
  }
  if (!std::filesystem::is_empty(dir, ec) || ec) {
    throw jet::Error(jet::Error::Kind::kInvalidArgument, "the directory " + dir + " is not empty");
  }
  return false;
}

jet::Error Removed(const jet::Error& e, const std::string& what) {
  return jet::Error(e.kind(), std::string(e.what()) + "; " + what);
}

}  // namespace

std::optional<ExportFormat> ParseExportFormat(std::string_view name) {
  if (name == "sqlite") return ExportFormat::kSqlite;
  if (name == "postgres") return ExportFormat::kPostgres;
  if (name == "csv") return ExportFormat::kCsv;
  return std::nullopt;
}

ExportStats Export(const jet::Database& db, ExportFormat format, const std::string& out,
                   const ExportOptions& options) {
  if (format == ExportFormat::kCsv) {
    const ExportSchema schema = BuildExportSchema(db, Dialect::kSqlite, false);
    const bool made_dir = PrepareDirectory(out);
    std::vector<std::string> created;
    try {
      ExportStats stats = WriteCsv(db, schema, out, options, created);
      PrintNotes(schema, options.notes);
      return stats;
    } catch (const jet::Error& e) {
      for (const std::string& f : created) std::remove(f.c_str());
      if (made_dir) ::rmdir(out.c_str());
      throw Removed(e, "the partial output in " + out + " was removed");
    } catch (...) {
      for (const std::string& f : created) std::remove(f.c_str());
      if (made_dir) ::rmdir(out.c_str());
      throw;
    }
  }
  const Dialect dialect = format == ExportFormat::kSqlite ? Dialect::kSqlite : Dialect::kPostgres;
  const ExportSchema schema = BuildExportSchema(db, dialect, true);
  OutputFile(out).Close();  // claims the name; throws when something is there already
  try {
    ExportStats stats = dialect == Dialect::kSqlite ? WriteSqlite(db, schema, out, options)
                                                    : WritePostgres(db, schema, out, options);
    PrintNotes(schema, options.notes);
    return stats;
  } catch (const jet::Error& e) {
    std::remove(out.c_str());
    std::remove((out + "-journal").c_str());
    throw Removed(e, "the partial output " + out + " was removed");
  } catch (...) {
    std::remove(out.c_str());
    throw;
  }
}

std::string SchemaSql(const jet::Database& db, Dialect dialect, std::ostream* notes) {
  const ExportSchema schema = BuildExportSchema(db, dialect, true);
  PrintNotes(schema, notes);
  return SchemaScript(schema, db.format(), dialect);
}

}  // namespace query
