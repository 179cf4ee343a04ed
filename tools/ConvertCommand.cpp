// calvoria-tool convert URL OUT.mp3 [--voice ID] [--rate N]: the program's whole path from
// an article's address to its MP3 file.
#include "ToolCommands.h"
#include "ToolSupport.h"

#include "ArticleCache.h"
#include "CVoiceConverter.h"
#include "StringTable.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>

using namespace Qt::Literals::StringLiterals;

namespace {

int RunConvertCommand(const QStringList& args)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList positional;
    SpeechSettings speech;
    bool valid = true;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == u"--voice"_s && i + 1 < args.size())
            speech.voice = args[++i];
        else if (args[i] == u"--rate"_s && i + 1 < args.size())
            speech.rate = args[++i].toInt(&valid);
        else
            positional << args[i];
    }
    if (!valid || positional.size() != 2) {
        err << "usage: calvoria-tool convert URL OUT.mp3 [--voice ID] [--rate N]\n";
        return 2;
    }
    const QString url = positional[0], mp3 = positional[1];

    CToolLog log;
    CVoiceConverter converter(QCoreApplication::applicationDirPath());
    if (!converter.Initialize()) {
        err << LoadString(105) << '\n';
        return 1;
    }
    CHttpSession::GlobalInit();
    const auto session = CRefPtr<CHttpSession>::Make();
    QTemporaryDir work;
    const QString cache = work.filePath(u"page.html"_s), wav = work.filePath(u"page.wav"_s);

    QElapsedTimer timer;
    timer.start();
    bool ok = WriteArticleCache(*session, url, cache);
    const qint64 fetchMs = timer.restart();
    QString voice;
    ok = ok && converter.PageToWav(cache, wav, speech, {}, &voice);
    const qint64 speakMs = timer.restart();
    Mp3Tag tag;
    tag.comment = url;
    ok = ok && converter.WavToMp3(wav, mp3, tag);
    const qint64 encodeMs = timer.elapsed();
    converter.Unload();
    if (!ok) {
        log.Print(err);
        return 1;
    }
    out << "voice\t" << TsvField(voice) << "\nfetch ms\t" << fetchMs << "\ntext and speech ms\t" << speakMs << "\nencode ms\t"
        << encodeMs << '\n';
    return 0;
}

const ToolCommandRegistration kConvertCommand{
    {"convert",
     "URL OUT.mp3 [--voice ID] [--rate N]\n                 fetch an article, speak its text and "
     "encode it as MP3",
     RunConvertCommand}};

} // namespace
