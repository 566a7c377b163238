// Several programs on one database: a reader in another process never meets half a commit, a
// second writer is refused, and a file that cannot get a journal or that Access holds elsewhere
// opens read-only with the reason.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "jet/check.h"
#include "jet/database.h"
#include "jet/page/fault_file_system.h"
#include "support/fixtures.h"

namespace {

std::u16string Body(int32_t id, int version) {
  std::u16string s;
  const size_t n = 600 + static_cast<size_t>((id * 37 + version * 101) % 5000);
  for (size_t i = 0; i < n; ++i) s.push_back(static_cast<char16_t>(u'a' + (id + version + i) % 26));
  return s;
}

std::vector<jet::Value> Row(int32_t id, int version) {
  return {jet::Value(id), jet::Value(int32_t{version}), jet::Value(Body(id, version))};
}

std::string MakeDatabase(const fixtures::ScratchDir& dir) {
  const std::string path = dir.File("shared.mdb");
  auto db = jet::Database::Create(path);
  db->Execute("CREATE TABLE Items (Id LONG PRIMARY KEY, Version LONG, Body MEMO)");
  db->Execute("CREATE INDEX ByVersion ON Items (Version)");
  for (int32_t id = 0; id < 40; ++id) db->InsertRow(u"Items", Row(id, 0));
  return path;
}

// The writer: inserts, updates (new memo) and deletes, each its own commit, until `stop` exists.
[[noreturn]] void WriterLoop(const std::string& path, const std::string& stop) {
  int status = 0;
  try {
    jet::OpenOptions o;
    o.mode = jet::OpenMode::kReadWrite;
    o.sync = jet::SyncMode::kNormal;
    auto db = jet::Database::Open(path, o);
    const jet::TableDef def = db->GetTable(u"Items");
    int32_t next = 1000;
    for (int round = 1; ::access(stop.c_str(), F_OK) != 0; ++round) {
      std::vector<std::pair<jet::RowId, int32_t>> rows;
      db->Scan(def, [&](jet::RowId rid, std::vector<jet::Value>& v) {
        rows.emplace_back(rid, v[0].as<int32_t>());
        return true;
      });
      const auto& [rid, id] = rows[static_cast<size_t>(round) % rows.size()];
      if (round % 3 == 0) {
        db->UpdateRow(u"Items", rid, Row(id, round));
      } else if (round % 3 == 1) {
        db->InsertRow(u"Items", Row(next++, round));
      } else if (rows.size() > 30) {
        db->DeleteRow(u"Items", rid);
      }
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "writer: %s\n", e.what());
    status = 1;
  }
  ::_exit(status);
}

TEST(IsolationTest, ReadersInAnotherProcessNeverSeeHalfACommit) {
  fixtures::ScratchDir dir;
  const std::string path = MakeDatabase(dir);
  const std::string stop = dir.File("stop");
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) WriterLoop(path, stop);

  // Wait until the writer holds the file, then a second writer is refused.
  std::string refusal;
  for (int i = 0; i < 500 && refusal.empty(); ++i) {
    try {
      jet::Database::Open(path, jet::OpenMode::kReadWrite);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    } catch (const jet::Error& e) {
      if (e.kind() == jet::Error::Kind::kLocked) refusal = e.what();
    }
  }
  EXPECT_NE(refusal.find("open for writing by another program"), std::string::npos) << refusal;

  auto reader = jet::Database::Open(path);
  int reads = 0;
  int checks = 0;
  std::vector<std::string> failures;
  while (reads < 10000 && failures.size() < 5) {
    try {
      if (reads % 50 == 0) {
        ++checks;
        const jet::CheckReport report = jet::CheckFile(path);
        if (!report.ok()) failures.push_back("check: " + report.problems[0]);
      } else {
        const jet::TableDef def = reader->GetTable(u"Items");
        reader->Scan(def, [&](jet::RowId, std::vector<jet::Value>& v) {
          if (v[2].as<std::u16string>() != Body(v[0].as<int32_t>(), v[1].as<int32_t>())) {
            failures.push_back("row " + std::to_string(v[0].as<int32_t>()) + " has another memo");
          }
          return true;
        });
      }
    } catch (const jet::Error& e) {
      failures.push_back(e.what());
    }
    ++reads;
  }
  std::ofstream(stop).put('x');
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_TRUE(failures.empty()) << failures.size() << " false reports, first: " << failures[0];
  EXPECT_GE(reads, 10000);
  std::cout << "[ isolation ] " << reads << " reads (" << checks << " full checks), "
            << failures.size() << " failures\n";
  EXPECT_TRUE(jet::CheckFile(path).ok());
}

TEST(IsolationTest, HeldLockFileOpensReadOnlyAndStaleOneIsIgnored) {
  fixtures::ScratchDir dir;
  const std::string path = MakeDatabase(dir);
  const std::string ldb = dir.File("shared.ldb");
  std::ofstream(ldb).put('x');
  {  // a lock file nobody holds: left over, ignored
    auto db = jet::Database::Open(path, jet::OpenMode::kReadWrite);
    EXPECT_FALSE(db->read_only());
  }
  const int fd = ::open(ldb.c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = 0x10000000;  // a record lock as a Windows client's would arrive
  fl.l_len = 1;
  ASSERT_EQ(::fcntl(fd, F_SETLK, &fl), 0);
  auto db = jet::Database::Open(path, jet::OpenMode::kReadWrite);
  EXPECT_TRUE(db->read_only());
  EXPECT_NE(db->read_only_reason().find("in use by another program"), std::string::npos)
      << db->read_only_reason();
  try {
    db->InsertRow(u"Items", Row(77, 1));
    FAIL() << "wrote a database that is in use elsewhere";
  } catch (const jet::Error& e) {
    EXPECT_NE(std::string(e.what()).find("shared.ldb"), std::string::npos) << e.what();
  }
  EXPECT_EQ(db->GetTable(u"Items").name, u"Items");  // still reads
  ::close(fd);
}

TEST(IsolationTest, NoJournalPossibleOpensReadOnly) {
  fixtures::ScratchDir dir;
  const std::string path = MakeDatabase(dir);
  testfs::FaultFileSystem fs;
  fs.Put("/ro/shared.mdb", fixtures::ReadBytes(path));
  fs.set_refuse_create(true);
  jet::OpenOptions o;
  o.mode = jet::OpenMode::kReadWrite;
  o.file_system = &fs;
  auto db = jet::Database::Open("/ro/shared.mdb", o);
  EXPECT_TRUE(db->read_only());
  EXPECT_NE(db->read_only_reason().find("journal /ro/shared.mdb-journal cannot be created"),
            std::string::npos)
      << db->read_only_reason();
  EXPECT_THROW(db->InsertRow(u"Items", Row(78, 1)), jet::Error);
}

// A journal left by a writer that was killed is rolled back by the next reader, before it reads.
TEST(IsolationTest, KilledWriterIsRolledBackByTheNextReader) {
  fixtures::ScratchDir dir;
  const std::string path = MakeDatabase(dir);
  const std::vector<uint8_t> before = fixtures::ReadBytes(path);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Stop in the middle of a commit: a file layer that kills after two pages of the file are
    // written.
    testfs::FaultFileSystem fs;
    fs.Put("/k/shared.mdb", fixtures::ReadBytes(path));
    jet::OpenOptions o;
    o.mode = jet::OpenMode::kReadWrite;
    o.file_system = &fs;
    auto db = jet::Database::Open("/k/shared.mdb", o);
    fs.Arm(testfs::FaultFileSystem::Fault::kKill, 5);
    try {
      db->InsertRow(u"Items", Row(500, 1));
    } catch (...) {
    }
    // What the disk holds at the kill: the torn file and its journal.
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(fs.Get("/k/shared.mdb").data()),
               static_cast<std::streamsize>(fs.Get("/k/shared.mdb").size()));
    const std::vector<uint8_t> j = fs.Get("/k/shared.mdb-journal");
    std::ofstream(path + "-journal", std::ios::binary)
        .write(reinterpret_cast<const char*>(j.data()), static_cast<std::streamsize>(j.size()));
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_NE(fixtures::ReadBytes(path), before);  // torn
  auto db = jet::Database::Open(path);
  EXPECT_EQ(fixtures::ReadBytes(path), before);
  EXPECT_TRUE(jet::CheckFile(path).ok());
}

}  // namespace
