#include "model/ModelLog.h"

Q_LOGGING_CATEGORY(lcModel, "model")
