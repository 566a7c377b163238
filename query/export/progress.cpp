#include "export/progress.h"

#include <algorithm>

namespace query {
namespace {

constexpr uint64_t kShownAbove = 100'000;

}  // namespace

Progress::Progress(std::ostream* out, const std::string& table, uint64_t total_rows)
    : out_(total_rows > kShownAbove ? out : nullptr), table_(table), total_(total_rows) {
  if (out_ != nullptr) Show();
}

Progress::~Progress() {
  if (out_ == nullptr) return;
  Show();
  *out_ << '\n' << std::flush;
}

void Progress::Show() {
  const uint64_t percent = total_ == 0 ? 100 : std::min<uint64_t>(100, done_ * 100 / total_);
  *out_ << '\r' << table_ << ": " << done_ << " of " << total_ << " rows (" << percent << "%)"
        << std::flush;
  next_ = done_ + std::max<uint64_t>(1, total_ / 100);
}

}  // namespace query
