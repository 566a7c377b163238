#include "jet/page/fault_file_system.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace testfs {

using jet::FileHandle;
using jet::FileStat;
using jet::LockType;

struct Op {
  bool truncate = false;
  uint64_t offset = 0;  // or the new size
  std::vector<uint8_t> bytes;
};

struct FaultFileSystem::Node {
  std::vector<uint8_t> now;
  std::vector<uint8_t> synced;
  std::vector<Op> unsynced;
  int64_t mtime = 1;
  std::map<uint64_t, std::vector<std::pair<const void*, LockType>>> locks;  // byte -> holders
};

namespace {

void Apply(std::vector<uint8_t>& file, const Op& op) {
  if (op.truncate) {
    file.resize(op.offset);
    return;
  }
  if (file.size() < op.offset + op.bytes.size()) file.resize(op.offset + op.bytes.size());
  std::copy(op.bytes.begin(), op.bytes.end(), file.begin() + static_cast<ptrdiff_t>(op.offset));
}

}  // namespace

class FaultHandle : public FileHandle {
 public:
  FaultHandle(FaultFileSystem& fs, std::shared_ptr<FaultFileSystem::Node> node, bool writable)
      : fs_(fs), node_(std::move(node)), writable_(writable) {}
  ~FaultHandle() override {
    for (auto& [byte, holders] : node_->locks) {
      std::erase_if(holders, [&](const auto& h) { return h.first == this; });
    }
  }

  int Read(uint64_t offset, std::span<uint8_t> out, size_t& done) override {
    done = 0;
    if (fs_.killed_) return EIO;
    if (offset >= node_->now.size()) return 0;
    done = std::min<size_t>(out.size(), node_->now.size() - offset);
    std::memcpy(out.data(), node_->now.data() + offset, done);
    return 0;
  }

  int Write(uint64_t offset, std::span<const uint8_t> data, size_t& done) override {
    done = 0;
    if (fs_.killed_ || !writable_) return EIO;
    const FaultFileSystem::Fault f = fs_.Count();
    if (fs_.killed_) return EIO;
    if (f == FaultFileSystem::Fault::kIoError) return EIO;
    if (f == FaultFileSystem::Fault::kNoSpace) {
      fs_.disk_full_ = true;
      return ENOSPC;
    }
    size_t n = data.size();
    if (f == FaultFileSystem::Fault::kShortWrite) {
      n = data.size() / 2;
      fs_.disk_full_ = true;
    } else if (fs_.disk_full_ && offset + n > node_->now.size()) {
      // A full disk still takes overwrites of existing bytes.
      if (offset >= node_->now.size()) return ENOSPC;
      n = node_->now.size() - offset;
    }
    if (n == 0) return ENOSPC;
    Op op{false, offset,
          std::vector<uint8_t>(data.begin(), data.begin() + static_cast<ptrdiff_t>(n))};
    Apply(node_->now, op);
    node_->unsynced.push_back(std::move(op));
    ++node_->mtime;
    done = n;
    return 0;
  }

  int Sync() override {
    if (fs_.killed_) return EIO;
    const FaultFileSystem::Fault f = fs_.Count();
    if (fs_.killed_ || f == FaultFileSystem::Fault::kIoError) return EIO;
    node_->synced = node_->now;
    node_->unsynced.clear();
    return 0;
  }

  int Truncate(uint64_t size) override {
    if (fs_.killed_ || !writable_) return EIO;
    Op op{true, size, {}};
    Apply(node_->now, op);
    node_->unsynced.push_back(std::move(op));
    ++node_->mtime;
    return 0;
  }

  int Stat(FileStat& out) override {
    if (fs_.killed_) return EIO;
    out.size = node_->now.size();
    out.mtime_ns = node_->mtime;
    return 0;
  }

  int Lock(uint64_t offset, uint64_t len, LockType type) override {
    for (uint64_t b = offset; b < offset + len; ++b) {
      if (type != LockType::kUnlock && Conflicts(b, type)) return EAGAIN;
    }
    for (uint64_t b = offset; b < offset + len; ++b) {
      auto& holders = node_->locks[b];
      std::erase_if(holders, [&](const auto& h) { return h.first == this; });
      if (type != LockType::kUnlock) holders.emplace_back(this, type);
    }
    return 0;
  }

  bool LockedElsewhere(uint64_t offset, uint64_t len, LockType type) override {
    if (len == 0) len = 1;
    for (uint64_t b = offset; b < offset + len; ++b) {
      if (Conflicts(b, type)) return true;
    }
    return false;
  }

 private:
  bool Conflicts(uint64_t byte, LockType type) const {
    auto it = node_->locks.find(byte);
    if (it == node_->locks.end()) return false;
    for (const auto& [owner, held] : it->second) {
      if (owner == this) continue;
      if (type == LockType::kExclusive || held == LockType::kExclusive) return true;
    }
    return false;
  }

  FaultFileSystem& fs_;
  std::shared_ptr<FaultFileSystem::Node> node_;
  bool writable_;
};

FaultFileSystem::FaultFileSystem() = default;
FaultFileSystem::~FaultFileSystem() = default;

void FaultFileSystem::Put(const std::string& path, std::vector<uint8_t> bytes) {
  auto node = std::make_shared<Node>();
  node->now = std::move(bytes);
  node->synced = node->now;
  files_[path] = node;
}

std::vector<uint8_t> FaultFileSystem::Get(const std::string& path) const {
  auto it = files_.find(path);
  return it == files_.end() ? std::vector<uint8_t>{} : it->second->now;
}

bool FaultFileSystem::Has(const std::string& path) const { return files_.count(path) != 0; }

std::map<std::string, std::vector<uint8_t>> FaultFileSystem::AfterPowerLoss(
    std::mt19937& rng) const {
  std::map<std::string, std::vector<uint8_t>> out;
  for (const auto& [path, node] : files_) {
    std::vector<uint8_t> image = node->synced;
    for (const Op& op : node->unsynced) {
      if (rng() & 1) Apply(image, op);
    }
    out[path] = std::move(image);
  }
  return out;
}

size_t FaultFileSystem::UnsyncedOps() const {
  size_t n = 0;
  for (const auto& [path, node] : files_) n += node->unsynced.size();
  return n;
}

void FaultFileSystem::Arm(Fault fault, int n) {
  fault_ = fault;
  fault_at_ = ops_ + n;
  fired_ = false;
}

FaultFileSystem::Fault FaultFileSystem::Count() {
  ++ops_;
  if (fault_ == Fault::kNone || ops_ != fault_at_) return Fault::kNone;
  fired_ = true;
  if (fault_ == Fault::kKill) killed_ = true;
  return fault_;
}

std::unique_ptr<FileHandle> FaultFileSystem::Open(const std::string& path, Mode mode, int& err) {
  err = 0;
  if (killed_) {
    err = EIO;
    return nullptr;
  }
  auto it = files_.find(path);
  if (it == files_.end()) {
    if (mode != Mode::kCreate || refuse_create_) {
      err = mode != Mode::kCreate ? ENOENT : EACCES;
      return nullptr;
    }
    it = files_.emplace(path, std::make_shared<Node>()).first;
  }
  return std::make_unique<FaultHandle>(*this, it->second, mode != Mode::kRead);
}

bool FaultFileSystem::Exists(const std::string& path) { return files_.count(path) != 0; }

int FaultFileSystem::Remove(const std::string& path) {
  if (killed_) return EIO;
  files_.erase(path);
  return 0;
}

int FaultFileSystem::SyncFolder(const std::string&) { return killed_ ? EIO : 0; }

}  // namespace testfs
