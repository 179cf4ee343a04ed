#include "FolderPublish.h"

#include "ShareSnapshot.h"
#include "StoredFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

// The file at target is already this episode when it is the same file (a link made
// before) or has its size and is not older.
bool IsAlreadyThere(const ShareFileEntry& entry, const QString& target)
{
    const QFileInfo there(target);
    if (!there.isFile())
        return false;
    const QFileInfo source(entry.path);
    return there.size() == entry.size &&
           (there.fileTime(QFileDevice::FileModificationTime) >=
            source.fileTime(QFileDevice::FileModificationTime));
}

// A link where the file system allows one, else a copy; either made beside target under a
// temporary name and renamed over it.
bool PlaceEpisode(const ShareFileEntry& entry, const QString& target, QString* error)
{
    const QString temporary = target + u".part"_s;
    QFile::remove(temporary);
    const QByteArray from = QFile::encodeName(entry.path);
    const QByteArray to = QFile::encodeName(temporary);
    if (::link(from.constData(), to.constData()) != 0 && !QFile::copy(entry.path, temporary)) {
        if (error)
            *error = u"Cannot put '%1' into the folder: %2"_s.arg(entry.path,
                                                                    QString::fromLocal8Bit(std::strerror(errno)));
        QFile::remove(temporary);
        return false;
    }
    if (::rename(to.constData(), QFile::encodeName(target).constData()) != 0) {
        if (error)
            *error = u"Cannot rename '%1': %2"_s.arg(temporary,
                                                       QString::fromLocal8Bit(std::strerror(errno)));
        QFile::remove(temporary);
        return false;
    }
    return true;
}

} // namespace

bool PublishToFolder(const ShareSnapshot& snapshot, const QString& folder, QString* error)
{
    QString first;
    auto fail = [&first](const QString& problem) {
        if (first.isEmpty())
            first = problem;
    };
    const QDir root(folder);
    const QString audio = root.filePath(u"audio"_s);
    if (!QDir().mkpath(audio)) {
        if (error)
            *error = u"Cannot make the folder '%1'"_s.arg(audio);
        return false;
    }
    // The episodes first: a feed never names a file that is not there yet.
    for (auto it = snapshot.files.cbegin(); it != snapshot.files.cend(); ++it) {
        // Names come from the MP3 folder, but a name with a separator would leave "audio/".
        if (it.key().contains(u'/') || it.key().startsWith(u'.'))
            continue;
        const QString target = audio + u'/' + it.key();
        QString problem;
        if (!IsAlreadyThere(*it, target) && !PlaceEpisode(*it, target, &problem))
            fail(problem);
    }
    if (!snapshot.iconPng.isEmpty()) {
        QString problem;
        if (!SaveFileAtomically(root.filePath(u"icon.png"_s), snapshot.iconPng, &problem))
            fail(problem);
    }
    for (auto it = snapshot.feeds.cbegin(); it != snapshot.feeds.cend(); ++it) {
        QString problem;
        if (!SaveFileAtomically(root.filePath(it.key()), *it, &problem))
            fail(problem);
    }
    // Then what left the feeds: only episodes of ours, in "audio/".
    const QStringList present = QDir(audio).entryList({u"*.mp3"_s, u"*.mp3.part"_s}, QDir::Files);
    for (const QString& name : present)
        if (!snapshot.files.contains(name) && !QFile::remove(audio + u'/' + name))
            fail(u"Cannot remove '%1'"_s.arg(audio + u'/' + name));
    if (error)
        *error = first;
    return first.isEmpty();
}
