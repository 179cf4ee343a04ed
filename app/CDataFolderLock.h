#pragma once

#include <QString>
#include <utility>

// One writer per data folder: the program and calvoria-tool each hold this lock while
// they have the folder's files loaded, so neither saves over the other's updates. The lock
// is an advisory lock on "calvoria.lock" in the data root; the system drops it when its
// holder dies, so a crashed holder never keeps the folder locked.
class CDataFolderLock
{
public:
    CDataFolderLock() = default;
    ~CDataFolderLock() { Release(); }
    CDataFolderLock(const CDataFolderLock&) = delete;
    CDataFolderLock& operator=(const CDataFolderLock&) = delete;
    // Takes over the other's lock, letting go of its own.
    CDataFolderLock& operator=(CDataFolderLock&& other) noexcept
    {
        if (this != &other) {
            Release();
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }

    // False when another process (or another holder in this one) has the folder; error
    // then says who, in words for the person.
    bool Acquire(const QString& dataRoot, QString* error = nullptr);
    void Release();
    bool IsHeld() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};
