#pragma once

#include <QString>
#include <QtGlobal>

// A small file system of its own (tmpfs) that fills up, for the saves that meet a full
// disk. Mounting needs root: Mounted() is false elsewhere and the test skips.
class ScopedSmallDisk
{
public:
    explicit ScopedSmallDisk(qint64 bytes);
    ~ScopedSmallDisk();
    ScopedSmallDisk(const ScopedSmallDisk&) = delete;
    ScopedSmallDisk& operator=(const ScopedSmallDisk&) = delete;

    bool Mounted() const { return m_mounted; }
    QString Path() const { return m_path; }
    // Fills the disk until only about `left` bytes remain free.
    void FillLeaving(qint64 left);
    // Frees what FillLeaving took.
    void Unfill();
    // Makes the whole file system read-only, or writable again.
    bool SetReadOnly(bool readOnly);

private:
    QString m_path;
    bool m_mounted = false;
};

// Every write of this process past `bytes` into any file fails (EFBIG) while the object
// lives: a disk that takes only so much, without root.
class ScopedFileSizeLimit
{
public:
    explicit ScopedFileSizeLimit(qint64 bytes);
    ~ScopedFileSizeLimit();
    ScopedFileSizeLimit(const ScopedFileSizeLimit&) = delete;
    ScopedFileSizeLimit& operator=(const ScopedFileSizeLimit&) = delete;

private:
    qint64 m_oldSoft = 0;
    void (*m_oldHandler)(int) = nullptr;
};
