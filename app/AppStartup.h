#pragma once

#include <QString>

class CAppServices;
class IStartupHost;

// Runs the start-up sequence after the single-instance check: opens the log, checks the
// components, creates the session, loads the preferences, makes the data folders and
// asks the host for the document and the main frame. Returns false when the program
// must end; the user has then been told why.
bool RunStartup(CAppServices& app, IStartupHost& host);

// The exit sequence, run after the main window is gone (and after a failed start-up).
// Returns false when a worker was still busy after the queues' wait: the caller must then
// end the process without destroying what such a worker may still use.
bool RunExit(CAppServices& app, IStartupHost& host);

// Where the log goes when the program folder cannot hold one.
QString LogFallbackFolder();
