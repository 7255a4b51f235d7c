#pragma once

// Declares every export with the type the program casts its address to: a definition
// whose signature differs from the declaration in the ABI header does not compile.

#include "mobiledevice/abi.h"

#define MD_DECLARE_FUNCTION(name) extern "C" __attribute__((visibility("default"))) name##_fn name;
MOBILEDEVICE_FUNCTIONS(MD_DECLARE_FUNCTION)
#undef MD_DECLARE_FUNCTION
