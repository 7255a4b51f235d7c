#pragma once

// Exports of our CoreFoundation that only tests look up: how many objects are alive
// (the boolean constants not counted) and how many releases hit an already freed object.
extern "C" {
using CFSubsetLiveObjectCount_fn = long();
using CFSubsetDoubleReleaseCount_fn = long();
}
