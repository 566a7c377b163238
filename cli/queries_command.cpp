// `mdbtool queries`: the saved queries as Access SQL text.

#include "commands.h"
#include "query/saved_query.h"

namespace cli {

void PrintQueries(const jet::Database& db, const std::optional<std::u16string>& name,
                  std::ostream& out) {
  if (name) {
    const std::optional<query::SavedQuery> q = query::FindSavedQuery(db, *name);
    if (!q) {
      throw jet::Error(jet::Error::Kind::kNotFound,
                       "no saved query named '" + jet::ToUtf8(*name) + "' in " + db.path());
    }
    out << jet::ToUtf8(q->Sql()) << '\n';
    return;
  }
  for (const query::SavedQuery& q : query::ReadSavedQueries(db)) {
    out << "-- " << jet::ToUtf8(q.name) << " (" << query::QueryTypeName(q.type) << ")\n"
        << jet::ToUtf8(q.Sql()) << "\n\n";
  }
}

}  // namespace cli
