#include "device/logcategories.h"

// Information and above by default: debug lines only when asked for.
Q_LOGGING_CATEGORY(lcWire, "pellora.wire", QtInfoMsg)
Q_LOGGING_CATEGORY(lcDevice, "pellora.device", QtInfoMsg)
Q_LOGGING_CATEGORY(lcUi, "pellora.ui", QtInfoMsg)
