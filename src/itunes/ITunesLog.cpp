#include "itunes/ITunesLog.h"

Q_LOGGING_CATEGORY(lcITunes, "itunes")
