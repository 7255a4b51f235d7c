#include "msgdb/MsgDbLog.h"

Q_LOGGING_CATEGORY(lcMsgDb, "msgdb")
