#include "msgdb/SqlitePage.h"

bool _SqlitePage::isBtreePage() const
{
    return type == 2 || type == 5 || type == 10 || type == 13;
}
