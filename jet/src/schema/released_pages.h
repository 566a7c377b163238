#pragma once

// Pages a schema change gives back (DROP TABLE, DROP INDEX, DROP CONSTRAINT, ALTER TABLE ... DROP
// COLUMN): collected while the change is built, freed once everything else of its commit is
// written.

#include <cstdint>
#include <set>

namespace jet {

class PageTxn;

struct Released {
  std::set<uint32_t> pages;      // pages to free
  std::set<uint32_t> map_pages;  // data pages that held deleted usage-map rows
};

// Deletes the usage-map row `map_row` (0: none) and adds to `pages` every page its map lists,
// with the bitmap pages of a reference map; `map_pages` gets the data page that held the row.
void CollectMap(PageTxn& txn, uint32_t map_row, std::set<uint32_t>& pages,
                std::set<uint32_t>& map_pages);

// Frees `r.pages`, and every page of `r.map_pages` whose rows are all deleted by now.
void FreeReleased(PageTxn& txn, Released& r);

}  // namespace jet
