#include "sqlite/SqliteQtVersion.h"

int sqlite_qt_version()
{
    return 5;
}
