#include "neat/sorted_list.h"

namespace qf {

void ListIndexError(int32_t index) {
  throw EListError(Format("List index out of bounds (%d)", index));
}

}  // namespace qf
