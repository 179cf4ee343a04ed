#pragma once

class CPreferences;
class CRssReaderDoc;
class CThemeColors;
class QWidget;

// The Synchronize command: the dialog, then the move of the ticked files to the device.
void RunSynchronization(CRssReaderDoc& doc, CPreferences& prefs, CThemeColors& theme,
                        QWidget* parent);
