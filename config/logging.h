#pragma once

#include <QLoggingCategory>

// One category per feature, so that a player's log says where a failure came
// from, and a developer can silence or widen one feature with QT_LOGGING_RULES
// ("velor.update.debug=true"), or all of them at once ("velor.*.debug=true").
Q_DECLARE_LOGGING_CATEGORY(lcChannel)
Q_DECLARE_LOGGING_CATEGORY(lcPlay)
Q_DECLARE_LOGGING_CATEGORY(lcFeed)
Q_DECLARE_LOGGING_CATEGORY(lcUpdate)
Q_DECLARE_LOGGING_CATEGORY(lcNetwork)
Q_DECLARE_LOGGING_CATEGORY(lcCrash)
