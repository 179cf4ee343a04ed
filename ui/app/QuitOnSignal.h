#pragma once

#include <functional>

class QObject;

// Calls onSignal on the window thread when the desktop session asks the program to end
// (SIGTERM, SIGINT, SIGHUP). It runs from whatever event loop turns: the main loop, or the
// loop of a modal window, also one shown before the main loop starts.
void OnTerminationSignals(QObject* context, std::function<void()> onSignal);
