#include "tableops/ports.h"

#include "database/query.h"

namespace tableops {

std::vector<int> PlainGrid::FieldOrder() const {
  std::vector<int> order;
  for (int i = 0; i < query_.FieldCount(); ++i) order.push_back(i);
  return order;
}

int PlainGrid::SelectedIndex() const {
  return selected_ >= 0 && selected_ < query_.FieldCount() ? selected_ : -1;
}

}  // namespace tableops
