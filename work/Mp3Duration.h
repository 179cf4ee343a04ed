#pragma once

#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

// The playing time of an MP3 file from a few kilobytes of it: the frame count of a
// Xing/Info or VBRI header when there is one (variable-rate podcasts), else the size of the
// audio over the first frame's bit rate (our own files are constant-rate, without such a
// header). Far cheaper than decoding, and exact for constant-rate files.

// frames: the bytes after the ID3v2 tags (16 KB is plenty); audioBytes: the size of the
// audio from there to the end, without an ID3v1 tag. 0 when no MPEG layer III frame is
// found.
qint64 Mp3DurationMsOf(QByteArrayView frames, qint64 audioBytes);

// Reads what it needs from the file at path (a few small reads). size and mtime key a
// process-wide cache, so a file is read once while it stays as it is. 0 when the file
// cannot be read or holds no MPEG audio.
qint64 Mp3DurationMs(const QString& path, qint64 size, qint64 mtime);
