#pragma once

#include <QByteArray>
#include <QStringList>
#include <QString>
#include <QTemporaryDir>
#include <optional>
#include <ostream>

// GoogleTest printers so failures show readable text.
void PrintTo(const QString& s, std::ostream* os);
void PrintTo(const QByteArray& b, std::ostream* os);

// Sets (or unsets, with an empty optional) an environment variable for the life of the object.
class ScopedEnv
{
public:
    ScopedEnv(const char* name, std::optional<QByteArray> value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    QByteArray m_name;
    std::optional<QByteArray> m_old;
};

// A temporary folder with HOME and the XDG folders pointed inside it, so a test never
// touches the user's own data or settings.
class ScopedHome
{
public:
    ScopedHome();
    QString Path() const { return m_dir.path(); }
    QString File(const QString& relative) const { return m_dir.filePath(relative); }

private:
    QTemporaryDir m_dir;
    ScopedEnv m_home, m_data, m_config, m_state, m_cache, m_runtime;
};

// Collects the process log into a file of its own for the life of the object.
class CAppLog;
class ScopedLog
{
public:
    ScopedLog();
    ~ScopedLog();
    // Every line written so far, without the time stamps.
    QStringList Lines() const;
    bool Contains(const QString& line) const { return Lines().contains(line); }

private:
    QTemporaryDir m_dir;
    CAppLog* m_log;
};

// Writes bytes to a file, creating missing folders; returns false on failure.
bool WriteFile(const QString& path, const QByteArray& bytes);
// The whole content of a file (empty when it cannot be read).
QByteArray ReadFile(const QString& path);

// The project's source folder and the folder of the built programs (calvoria-tool, the
// modules' include/): CALVORIA_SOURCE_DIR and CALVORIA_BIN_DIR when the environment sets
// them, else the folders of the build the test comes from, so that a test binary run by
// hand from any folder finds its fixtures and tools.
QString SourceDir();
QString BinDir();
