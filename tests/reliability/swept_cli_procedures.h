// The engines' programming paths through the command line's run, with the
// images the program would carry.
#pragma once

#include <vector>

#include "tests/reliability/swept_procedures.h"

namespace vxe::reliability {

std::vector<Procedure> SweptCliProcedures();

}  // namespace vxe::reliability
