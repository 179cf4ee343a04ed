#pragma once

// Readies the process for the reading pane's web engine; call before the application
// object is made. The engine's sandbox cannot run as root, so it is switched off there.
void PrepareWebEngine();

// The web engine's version, read from the library without starting the engine; false
// when the engine's helper process is missing, so no page could be shown.
bool ReadWebEngineVersion(int& major, int& minor);
