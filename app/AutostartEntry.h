#pragma once

#include <QString>

// Starting the program when the person logs in: an XDG autostart entry
// ($XDG_CONFIG_HOME/autostart/org.calvoria.calvoria.desktop) that starts it hidden in the
// tray. The file is the only record: the desktop's own session settings may switch the
// same entry off (Hidden=true, X-GNOME-Autostart-enabled=false) and that is what counts.

// Where the entry lives.
QString AutostartEntryPath();

// True when the entry exists and is not switched off.
bool AutostartEnabled();

// The Exec value that starts program hidden: the path quoted when it needs to be, then
// " --hidden".
QString AutostartExec(const QString& program);

// Writes (enabled) or removes the entry; program is the executable to start. Removing an
// entry that is not there succeeds. False with the reason in error when the file or its
// folder cannot be written or removed; a failed write leaves no entry behind.
bool SetAutostart(bool enabled, const QString& program, QString* error = nullptr);
