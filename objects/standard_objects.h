#pragma once
// The object dictionary's built-in list: the CiA 301/402 objects of canopen/cia_objects.h as
// a data sheet, for a joint whose own the window has not been given.
#include "objects/eds.h"

namespace objects {

eds_document standard_objects();

}  // namespace objects
