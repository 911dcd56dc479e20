#pragma once
// The CiA 301/402 objects this program knows without a data sheet: the communication objects
// and drive objects it reads and writes elsewhere, with their standard types and defaults.
#include "objects/eds.h"

namespace objects {

eds_document standard_objects();

}  // namespace objects
