#pragma once

// Test audio, header-only so the benchmarks share it: tones made into MP3 files by the
// lame program, and a private PulseAudio server whose only sink plays into silence.

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QtEndian>
#include <cmath>
#include <csignal>
#include <sys/prctl.h>

struct TestTone
{
    int sampleRate = 22050;
    int channels = 1;
    qint64 ms = 5000;
    double hz = 440;
    // When set, the last gapMs of every second are silent: marks of known source time.
    int gapMs = 0;
};

// Encodes the tone with lame and the given options; empty on success, else what failed.
inline QString MakeToneMp3(const QString& mp3Path, const TestTone& tone,
                           const QStringList& lameOptions = {})
{
    const qint64 frames = tone.ms * tone.sampleRate / 1000;
    QByteArray pcm(frames * tone.channels * 2, '\0');
    for (qint64 i = 0; i < frames; ++i) {
        const bool silent = (i * 1000 / tone.sampleRate) % 1000 >= 1000 - tone.gapMs;
        const double value =
            silent ? 0 : 12000 * std::sin(2 * M_PI * tone.hz * double(i) / tone.sampleRate);
        for (int c = 0; c < tone.channels; ++c)
            qToLittleEndian(qint16(value), pcm.data() + (i * tone.channels + c) * 2);
    }
    QProcess lame;
    // 16-bit little-endian signed samples on standard input.
    lame.start(QStringLiteral("lame"),
               QStringList{QStringLiteral("--quiet"), QStringLiteral("-r"), QStringLiteral("-s"),
                           QString::number(tone.sampleRate / 1000.0), QStringLiteral("-m"),
                           tone.channels == 1 ? QStringLiteral("m") : QStringLiteral("j")} +
                   lameOptions + QStringList{QStringLiteral("-"), mp3Path});
    lame.write(pcm);
    lame.closeWriteChannel();
    const bool ran = lame.waitForFinished(60000) && lame.exitStatus() == QProcess::NormalExit &&
                     lame.exitCode() == 0;
    return ran ? QString() : QStringLiteral("lame failed: ") + lame.errorString();
}

// A PulseAudio server of the process's own with a null sink, named in PULSE_SERVER and
// PULSE_SINK for every client made after Start(). Qt Multimedia keeps to the server it
// found first for the life of the process, so there is one: the first Start() launches
// it, later ones answer the same, and it ends with the process.
class CNullAudioServer
{
public:
    // Empty when the server runs, else why it does not.
    static QString Start()
    {
        static Server server;
        static const QString unavailable = server.Launch();
        return unavailable;
    }

private:
    struct Server
    {
        ~Server()
        {
            for (QProcess* process : {&m_keepAlive, &m_server}) {
                process->terminate();
                if (!process->waitForFinished(3000))
                    process->kill();
                process->waitForFinished(3000);
            }
        }
        QString Launch();
        QByteArray Pactl(const QStringList& args) const;

        QTemporaryDir m_dir;
        QProcessEnvironment m_env = QProcessEnvironment::systemEnvironment();
        QProcess m_server;
        QProcess m_keepAlive;
    };

    template <typename Ready> static bool WaitFor(const QProcess& process, Ready ready)
    {
        QElapsedTimer waited;
        waited.start();
        while (!ready()) {
            if (process.state() == QProcess::NotRunning || waited.elapsed() > 10000)
                return false;
            QThread::msleep(10);
        }
        return true;
    }
};

inline QString CNullAudioServer::Server::Launch()
{
    for (const char* program : {"pulseaudio", "pacat", "pactl"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty())
            return QString::fromLatin1(program) + QStringLiteral(" is not installed");
    const QString socket = m_dir.filePath(QStringLiteral("native"));
    m_env.insert(QStringLiteral("HOME"), m_dir.path());
    m_env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.path());
    m_env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.path());
    m_env.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:") + socket);
    // Both go with the process that started them, also when it crashes.
    for (QProcess* process : {&m_server, &m_keepAlive})
        process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_server.setProcessEnvironment(m_env);
    m_server.setProcessChannelMode(QProcess::MergedChannels);
    m_server.setStandardOutputFile(m_dir.filePath(QStringLiteral("pulseaudio.log")));
    // -n: none of the system's modules; as root it only warns.
    m_server.start(
        QStringLiteral("pulseaudio"),
        {QStringLiteral("-n"), QStringLiteral("--daemonize=no"),
         QStringLiteral("--exit-idle-time=-1"), QStringLiteral("--use-pid-file=false"),
         QStringLiteral("--load=module-null-sink sink_name=calvoria_null"),
         QStringLiteral("--load=module-native-protocol-unix auth-anonymous=1 socket=") + socket});
    if (!WaitFor(m_server,
                 [&] { return Pactl({QStringLiteral("info")}).contains("calvoria_null"); })) {
        QFile log(m_dir.filePath(QStringLiteral("pulseaudio.log")));
        log.open(QIODevice::ReadOnly);
        return QStringLiteral("pulseaudio did not come up: ") +
               QString::fromLocal8Bit(log.readAll());
    }

    // An idle null sink renders two seconds ahead, and a stream that joins it is heard
    // only after them. A silent stream asking for a short latency, and the sink
    // restarted under it, make it answer like a sound card.
    m_keepAlive.setProcessEnvironment(m_env);
    m_keepAlive.start(QStringLiteral("pacat"),
                      {QStringLiteral("--playback"), QStringLiteral("--raw"),
                       QStringLiteral("--latency-msec=10"), QStringLiteral("--volume=0"),
                       QStringLiteral("/dev/zero")});
    if (!WaitFor(m_keepAlive, [&] {
            return !Pactl({QStringLiteral("list"), QStringLiteral("short"),
                           QStringLiteral("sink-inputs")})
                        .isEmpty();
        }))
        return QStringLiteral("pacat did not connect");
    for (const char* suspended : {"1", "0"})
        Pactl({QStringLiteral("suspend-sink"), QStringLiteral("calvoria_null"),
               QString::fromLatin1(suspended)});

    qputenv("PULSE_SERVER", m_env.value(QStringLiteral("PULSE_SERVER")).toLocal8Bit());
    qputenv("PULSE_SINK", "calvoria_null");
    return {};
}

inline QByteArray CNullAudioServer::Server::Pactl(const QStringList& args) const
{
    QProcess pactl;
    pactl.setProcessEnvironment(m_env);
    pactl.start(QStringLiteral("pactl"), args);
    pactl.waitForFinished(5000);
    return pactl.readAllStandardOutput().trimmed();
}
