#pragma once

// The progress line of an export: "StdItems: 120000 of 200000 rows (60%)", rewritten in place
// on a terminal, for tables big enough to make a user wait.

#include <cstdint>
#include <ostream>
#include <string>

namespace query {

class Progress {
 public:
  // Silent when `out` is null or the table has at most 100,000 rows.
  Progress(std::ostream* out, const std::string& table, uint64_t total_rows);
  ~Progress();  // ends the line
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  void Row() {
    if (out_ != nullptr && ++done_ >= next_) Show();
  }

 private:
  void Show();

  std::ostream* out_;
  std::string table_;
  uint64_t total_;
  uint64_t done_ = 0;
  uint64_t next_ = 0;  // row count at which the line is rewritten next
};

}  // namespace query
