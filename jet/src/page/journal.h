#pragma once

// The rollback journal, NAME.mdb-journal beside the database. Before a commit overwrites
// anything it receives the original content of every existing page the commit changes and the
// file's original length; once the commit is complete its header is cleared, which is the moment
// the commit counts as done. A journal with a valid header found later is rolled back: its pages
// are written back and the file cut to its old length.
//
// Layout (little-endian):
//   header, 32 bytes: "mdbjrnl1", u32 page size, u32 record count, u64 original length in bytes,
//                     u32 nonce (new for every commit), u32 checksum of the first 28 bytes
//   records:          u32 page number, the page's bytes, u32 checksum (seeded with the nonce)
// Records are checked one by one; rollback stops at the first one that does not check (it was
// never completely written, so the file was not yet touched for it either).

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "page/file_system.h"

namespace jet {

constexpr size_t kJournalHeaderSize = 32;

// The journal's path for a database at `db_path`.
std::string JournalPath(const std::string& db_path);

// Builds a journal image: header and one record per (page, original bytes).
std::vector<uint8_t> BuildJournal(
    uint32_t page_size, uint64_t original_length, uint32_t nonce,
    const std::vector<std::pair<uint32_t, std::span<const uint8_t>>>& originals);

// True when `journal` starts with a valid header (a commit is in flight or was torn).
bool JournalIsLive(FileHandle& journal);

// Rolls the database back from a live journal: writes every checked record's page back, cuts the
// file to its original length, syncs it (when `sync`), then clears the header (and syncs the
// journal). Returns 0 or the errno of the failing step; `what` names the step.
int RollBack(FileHandle& journal, FileHandle& db, bool sync, std::string& what);

// Clears the journal's header, so that it no longer rolls anything back.
int ClearJournal(FileHandle& journal);

}  // namespace jet
