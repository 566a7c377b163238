#pragma once

// Relationships as MSysRelationships stores them: one row per column pair.
//
//   szRelationship       Text   name of the relationship (unique in the file)
//   szObject             Text   referencing table (the "many" side)
//   szColumn             Text   its column
//   szReferencedObject   Text   referenced table (the "one" side)
//   szReferencedColumn   Text   its column
//   ccolumn              Long   number of column pairs of the relationship
//   icolumn              Long   position of this pair, 0 .. ccolumn-1
//   grbit                Long   flags, the same on every row of one relationship (kRelation*)

#include <cstdint>
#include <vector>

#include "jet/schema.h"
#include "page/file.h"
#include "table/catalog.h"
#include "value/text.h"

namespace jet {

constexpr char16_t kRelationshipsTable[] = u"MSysRelationships";

constexpr uint32_t kRelationOneToOne = 0x00000001;
constexpr uint32_t kRelationNoIntegrity = 0x00000002;
constexpr uint32_t kRelationCascadeUpdate = 0x00000100;
constexpr uint32_t kRelationCascadeDelete = 0x00001000;
constexpr uint32_t kRelationCascadeNull = 0x00002000;

// The named flags of `r` taken from r.flags.
void ApplyRelationshipFlags(Relationship& r);

// Every relationship of the file, by name; columns in their stored order. A file without
// MSysRelationships has none. Throws kCorrupt when its rows are inconsistent.
std::vector<Relationship> ReadRelationships(const File& file, const TextCodec& codec,
                                            const Catalog& catalog);

}  // namespace jet
