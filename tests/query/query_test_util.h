#pragma once

// Saved queries written into a test database the way Access stores them: a MSysObjects row
// (Type 5 in the Tables container) and its MSysQueries rows.

#include <string>
#include <vector>

#include "jet/database.h"
#include "query/saved_query.h"

namespace query_test {

// Adds the saved query `name` of kind `flags` (MSysObjects.Flags: 0 select, 0x30 update, ...)
// with `rows` (start and end rows are added). Returns its object id.
int32_t AddSavedQuery(jet::Database& db, const std::u16string& name, uint32_t flags,
                      const std::vector<query::QueryRow>& rows);

query::QueryRow Row(uint8_t attribute, std::optional<int16_t> flag, std::u16string name1 = {},
                    std::u16string name2 = {}, std::optional<std::u16string> expr = std::nullopt);

}  // namespace query_test
