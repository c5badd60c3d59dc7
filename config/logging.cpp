#include "config/logging.h"

Q_LOGGING_CATEGORY(lcChannel, "channel")
Q_LOGGING_CATEGORY(lcPlay, "play")
Q_LOGGING_CATEGORY(lcFeed, "feed")
Q_LOGGING_CATEGORY(lcUpdate, "update")
Q_LOGGING_CATEGORY(lcNetwork, "network")
Q_LOGGING_CATEGORY(lcCrash, "crash")
