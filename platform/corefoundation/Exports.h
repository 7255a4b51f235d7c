#pragma once

// Declares every export with the type the program casts its address to: a definition
// whose signature differs from the declaration in the ABI header does not compile.

#include "corefoundation/testing.h"
#include "mobiledevice/abi.h"

#define CF_EXPORT __attribute__((visibility("default")))

#define CF_DECLARE_FUNCTION(name) extern "C" CF_EXPORT name##_fn name;
#define CF_DECLARE_DATA(name) extern "C" CF_EXPORT name##_var name;
COREFOUNDATION_FUNCTIONS(CF_DECLARE_FUNCTION)
COREFOUNDATION_DATA(CF_DECLARE_DATA)
CF_DECLARE_FUNCTION(CFSubsetLiveObjectCount)
CF_DECLARE_FUNCTION(CFSubsetDoubleReleaseCount)
#undef CF_DECLARE_FUNCTION
#undef CF_DECLARE_DATA
