#pragma once

class QCoreApplication;

// Ends the message loop in order (the exit sequence then runs as after the Exit command)
// when the desktop session asks the program to terminate (SIGTERM, SIGINT, SIGHUP).
void QuitOnTerminationSignals(QCoreApplication* app);
