// Relationships of the file, read from MSysRelationships through the cached catalog.

#include "db/database_impl.h"
#include "jet/database.h"

namespace jet {

std::vector<Relationship> Database::Relationships() const {
  const ReadScope scope = impl_->Refresh();
  return impl_->relationships();
}

}  // namespace jet
