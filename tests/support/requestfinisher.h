#pragma once

#include "qmdglobal.h"

class QmdController;

// Runs the event loop until the controller reports the request finished,
// which it does once its reactions, and the continuations they made, are
// done. False when the report does not come within a few seconds.
bool finishRequest(QmdController *controller, QmdRequestId rid);
