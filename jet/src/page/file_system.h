#pragma once

// The file layer under File: every read, write, sync, truncation, byte-range lock and removal of
// the database file and its journal goes through a FileSystem. The default one calls the
// operating system; tests put one in its place that fails, shortens or stops at a chosen write
// or sync and can replay a power loss.
//
// Calls report failures as errno values (0 = success) rather than throwing, so the caller
// decides what a failure means (a short write is not an error by itself).

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace jet {

enum class LockType { kUnlock, kShared, kExclusive };

struct FileStat {
  uint64_t size = 0;
  int64_t mtime_ns = 0;
};

class FileHandle {
 public:
  virtual ~FileHandle() = default;
  // Reads up to out.size() bytes at `offset`; sets `done` to the count read (short at the end).
  virtual int Read(uint64_t offset, std::span<uint8_t> out, size_t& done) = 0;
  // Writes up to data.size() bytes at `offset`; sets `done` to the count written (may be short).
  virtual int Write(uint64_t offset, std::span<const uint8_t> data, size_t& done) = 0;
  virtual int Sync() = 0;
  virtual int Truncate(uint64_t size) = 0;
  virtual int Stat(FileStat& out) = 0;
  // Sets, changes or drops this handle's lock on the byte range [offset, offset + len) without
  // waiting. Returns EAGAIN when another handle holds a conflicting lock. Locks belong to the
  // handle (not to the process) and go when the handle is closed or its process ends.
  virtual int Lock(uint64_t offset, uint64_t len, LockType type) = 0;
  // True when another handle holds a lock on the range that would conflict with `type`.
  virtual bool LockedElsewhere(uint64_t offset, uint64_t len, LockType type) = 0;
};

class FileSystem {
 public:
  enum class Mode { kRead, kReadWrite, kCreate };  // kCreate: read-write, created when missing

  virtual ~FileSystem() = default;
  // Opens `path`; null with `err` set on failure.
  virtual std::unique_ptr<FileHandle> Open(const std::string& path, Mode mode, int& err) = 0;
  virtual bool Exists(const std::string& path) = 0;
  virtual int Remove(const std::string& path) = 0;
  // Syncs the folder holding `path`, so that a file just created there survives a power loss.
  virtual int SyncFolder(const std::string& path) = 0;
};

// The operating system's files.
FileSystem& DefaultFileSystem();

}  // namespace jet
