#include "config/logging.h"

Q_LOGGING_CATEGORY(lcChannel, "velor.channel")
Q_LOGGING_CATEGORY(lcPlay, "velor.play")
Q_LOGGING_CATEGORY(lcFeed, "velor.feed")
Q_LOGGING_CATEGORY(lcUpdate, "velor.update")
Q_LOGGING_CATEGORY(lcNetwork, "velor.network")
Q_LOGGING_CATEGORY(lcCrash, "velor.crash")
