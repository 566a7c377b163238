#pragma once

// A file system in memory for tests of the commit path, after SQLite's test VFS. It counts every
// write and sync (across all its files) and can make the N-th one fail (no space left, I/O
// error), write only half, or stop the program there (every later operation is refused and
// nothing more changes). It remembers what each file held at its last sync, so that after a stop
// it can replay a power loss: the synced content plus any subset of the writes since.
//
// Simplifications: creating and removing files is immediately durable; a write that is lost is
// lost whole. Byte-range locks are kept per handle as the operating system does.

#include <cstdint>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "page/file_system.h"

namespace testfs {

class FaultFileSystem : public jet::FileSystem {
 public:
  enum class Fault {
    kNone,
    kNoSpace,     // the N-th write fails with ENOSPC, and so does every later write that
                  // grows a file, until FreeSpace()
    kIoError,     // the N-th write or sync fails with EIO (once)
    kShortWrite,  // the N-th write stores half and reports it; the disk is then full
    kKill,        // the program stops at the N-th write or sync, which does not happen
  };

  FaultFileSystem();
  ~FaultFileSystem() override;

  // Puts `bytes` in place as `path`, synced.
  void Put(const std::string& path, std::vector<uint8_t> bytes);
  // What `path` holds now (empty when it does not exist).
  std::vector<uint8_t> Get(const std::string& path) const;
  bool Has(const std::string& path) const;
  // The files as a power loss now would leave them: each keeps its synced content plus a random
  // subset of the writes and truncations made since (in order).
  std::map<std::string, std::vector<uint8_t>> AfterPowerLoss(std::mt19937& rng) const;
  // The number of writes and truncations since the last sync, over all files.
  size_t UnsyncedOps() const;

  // Arms a fault at operation `n` (1-based, counting writes and syncs) from now.
  void Arm(Fault fault, int n);
  void FreeSpace() { disk_full_ = false; }
  // Makes creating a file fail with EACCES, as in a folder the user may not write to.
  void set_refuse_create(bool refuse) { refuse_create_ = refuse; }
  bool killed() const { return killed_; }
  bool fired() const { return fired_; }
  // Writes and syncs counted since construction.
  int ops() const { return ops_; }

  std::unique_ptr<jet::FileHandle> Open(const std::string& path, Mode mode, int& err) override;
  bool Exists(const std::string& path) override;
  int Remove(const std::string& path) override;
  int SyncFolder(const std::string& path) override;

  struct Node;

 private:
  friend class FaultHandle;
  // Counts one write or sync; returns the fault to apply to it.
  Fault Count();

  std::map<std::string, std::shared_ptr<Node>> files_;
  Fault fault_ = Fault::kNone;
  int fault_at_ = 0;
  int ops_ = 0;
  bool disk_full_ = false;
  bool killed_ = false;
  bool fired_ = false;
  bool refuse_create_ = false;
};

}  // namespace testfs
