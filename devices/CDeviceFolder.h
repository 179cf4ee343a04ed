#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

// The folder on a removable device that the voice files go to, held open for the whole
// copy so that nothing done in it can reach outside the device. Every part of the folder is
// opened without following links and must lie on the device's own file system; files are
// then made, renamed and removed relative to the open folder, never by path. A device that
// was unmounted (its mount point now a bare folder on the computer's disk), a part that is
// a link or another file system, or ".." in the typed folder are refused.
class CDeviceFolder
{
public:
    enum class Missing
    {
        Make,  // missing folders are made, one level at a time
        Leave, // a missing folder is not an error; the folder just stays closed
    };

    CDeviceFolder() = default;
    ~CDeviceFolder() { Close(); }
    CDeviceFolder(const CDeviceFolder&) = delete;
    CDeviceFolder& operator=(const CDeviceFolder&) = delete;
    CDeviceFolder(CDeviceFolder&& other) noexcept;
    CDeviceFolder& operator=(CDeviceFolder&& other) noexcept;

    // root: the device's mount point. folder: as the person typed it, relative to the root
    // (backslashes read as slashes; empty is the root itself). fileSystem: the device number
    // the root had when the device was chosen, 0 to take the one it has now. False with the
    // reason in *error (empty for a missing folder left alone).
    bool Open(const QString& root, const QString& folder, quint64 fileSystem, Missing missing,
              QString* error);
    void Close();

    bool IsOpen() const { return m_fd >= 0; }
    int Descriptor() const { return m_fd; }
    quint64 FileSystem() const { return m_fileSystem; }
    // The folder's path, for messages and progress.
    QString Path() const { return m_path; }

    // Total size of the "*.mp3" files (regular files, not links) directly in the folder.
    qint64 Mp3Bytes() const;
    // Deletes those files, leaving links, other files and sub-folders; returns the names of
    // those that could not be deleted.
    QStringList RemoveMp3Files() const;

    // The device number of the file system that holds path; 0 when it cannot be read.
    static quint64 FileSystemOf(const QString& path);

private:
    int m_fd = -1;
    quint64 m_fileSystem = 0;
    QString m_path;
};

// The parts of a typed folder below the device root; false with the reason in *error when
// it climbs out with "..".
bool DeviceFolderParts(const QString& folder, QStringList& parts, QString* error);
