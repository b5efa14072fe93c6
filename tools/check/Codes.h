// The checker's codes: each with its severity and a title in every language the checker speaks.
#pragma once

#include <cstddef>
#include <span>

#include "Check.h"

namespace check {

// In the order of the table's rows.
enum class Code {
  E100, E101, E110, E111, E112, E120, E121, E122, E132,
  W201, W202, W203, W204, W205, W206, W207, W208, W209,
  N301, N302, N303,
  Count
};

const CodeInfo& Info(Code code);

}  // namespace check
