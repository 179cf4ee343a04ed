#pragma once

#include "IReadingSurface.h"

#include <memory>

// Readies the process for the reading pane's web engine; call before the application
// object is made. The engine's sandbox cannot run as root, so it is switched off there.
void PrepareWebEngine();

// The web engine's version, known without loading it; false when the engine's helper
// process or the reading module is missing, so no page could be shown.
bool ReadWebEngineVersion(int& major, int& minor);

// The reading pane's browser, from the reading module loaded on first use; null, with the
// reason in the log, when the module cannot be loaded.
std::unique_ptr<IReadingSurface> MakeReadingSurface(const IReadingSurface::Setup& setup,
                                                    QWidget* parent);
