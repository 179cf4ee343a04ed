#pragma once

#include <QString>
#include <QtGlobal>

// What the synchronisation dialog knows when it tells whether the ticked files can go.
struct SyncSpace
{
    int entries = 0;
    int devices = 0;
    bool deviceSelected = false;
    QString folderError; // set when the typed folder leaves the device
    qint64 required = 0;
    qint64 available = 0;
    qint64 existing = 0;
    bool clean = false;
};

// The ticked files fit: into the free space, plus the MP3 files there when those go first.
bool SyncFits(const SyncSpace& space);
// The status line: the first problem that stops the copy, empty when Copy may go.
QString SyncStatusText(const SyncSpace& space);
