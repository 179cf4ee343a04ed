// calvoria-tool speak TEXT-FILE OUT.wav [--voice ID] [--rate N] [--lang TAG]
#include "ToolCommands.h"

#include "ToolSupport.h"
#include "CSpeechSynth.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

using namespace Qt::Literals::StringLiterals;

namespace {

int RunSpeakCommand(const QStringList& args)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList files;
    SpeechSettings settings;
    QString language;
    bool valid = true;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == u"--voice"_s && i + 1 < args.size()) {
            settings.voice = args[++i];
        } else if (args[i] == u"--lang"_s && i + 1 < args.size()) {
            language = args[++i];
        } else if (args[i] == u"--rate"_s && i + 1 < args.size()) {
            bool ok = false;
            const int rate = args[++i].toInt(&ok);
            valid = valid && ok && rate >= -10 && rate <= 10;
            settings.rate = rate;
        } else {
            files << args[i];
        }
    }
    if (!valid || files.size() != 2) {
        err << "usage: calvoria-tool speak TEXT-FILE OUT.wav [--voice ID] [--rate -10..10] "
               "[--lang TAG]\n";
        return 2;
    }
    QFile input(files[0]);
    if (!input.open(QIODevice::ReadOnly)) {
        err << "cannot read " << files[0] << '\n';
        return 1;
    }
    const QString text = QString::fromUtf8(input.readAll());

    CToolLog log;
    settings.voice = CSpeechSynth::ResolveVoice(settings.voice, language);
    QElapsedTimer timer;
    timer.start();
    const bool spoken = CSpeechSynth(settings).Speak(text, files[1], files[0]);
    const double elapsed = double(timer.nsecsElapsed()) / 1e9;
    if (!spoken) {
        log.Print(err);
        return 1;
    }
    const double audio =
        double(QFileInfo(files[1]).size() - 44) / (2 * CSpeechSynth::OutputSampleRate);
    out << "voice\t" << TsvField(settings.voice) << '\n'
        << "audio seconds\t" << audio << '\n'
        << "elapsed seconds\t" << elapsed << '\n'
        << "times real time\t" << (elapsed > 0 ? audio / elapsed : 0) << '\n';
    return 0;
}

const ToolCommandRegistration kSpeakCommand{
    {"speak",
     "TEXT-FILE OUT.wav [--voice ID] [--rate N] [--lang TAG]\n"
     "                 speak a UTF-8 text (in language TAG) into a 16 kHz WAV file",
     RunSpeakCommand}};

} // namespace
