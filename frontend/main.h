// The main loop's routing of one message, for programs that run the front
// end with a loop of their own (the pacing benchmark).
#pragma once

#include "frontend/win32.h"

// While the dialog is active it takes every message; what it does not take
// is dropped. Otherwise the message is dispatched. Nothing is translated.
void routeMessage(MSG* message);
