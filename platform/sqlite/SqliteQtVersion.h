#pragma once

// The interface generation of this wrapper; the application refuses any other.
int sqlite_qt_version();
