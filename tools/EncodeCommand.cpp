// calvoria-tool encode IN.wav OUT.mp3 [--title T] [--artist A] [--comment C] [--time SECONDS]
#include "ToolCommands.h"

#include "ToolSupport.h"
#include "CMp3Encoder.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>
#include <optional>

using namespace Qt::Literals::StringLiterals;

namespace {

int RunEncodeCommand(const QStringList& args)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList files;
    std::optional<Mp3Tag> tag;
    bool valid = true;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        const bool tagOption = arg == u"--title"_s || arg == u"--artist"_s ||
                               arg == u"--comment"_s || arg == u"--time"_s;
        if (!tagOption) {
            files << arg;
            continue;
        }
        if (i + 1 >= args.size()) {
            valid = false;
            break;
        }
        if (!tag)
            tag.emplace();
        const QString value = args[++i];
        if (arg == u"--title"_s)
            tag->title = value;
        else if (arg == u"--artist"_s)
            tag->artist = value;
        else if (arg == u"--comment"_s)
            tag->comment = value;
        else
            tag->time = value.toLongLong(&valid);
    }
    if (!valid || files.size() != 2) {
        err << "usage: calvoria-tool encode IN.wav OUT.mp3 [--title T] [--artist A] "
               "[--comment C] [--time SECONDS]\n";
        return 2;
    }
    CMp3Encoder encoder;
    if (encoder.Load() != CMp3Encoder::LoadResult::Loaded) {
        err << "cannot load the MP3 encoder: " << encoder.LoadError() << '\n';
        return 1;
    }

    CToolLog log;
    QElapsedTimer timer;
    timer.start();
    const bool encoded = encoder.Encode(files[0], files[1], tag ? &*tag : nullptr);
    const double elapsed = double(timer.nsecsElapsed()) / 1e9;
    if (!encoded) {
        log.Print(err);
        return 1;
    }
    out << "elapsed seconds\t" << elapsed << '\n';
    return 0;
}

const ToolCommandRegistration kEncodeCommand{
    {"encode",
     "IN.wav OUT.mp3 [--title T] [--artist A] [--comment C] [--time SECONDS]\n"
     "                 encode a 16 kHz mono WAV file as a 64 kbit/s MP3 file, tagged when asked",
     RunEncodeCommand}};

} // namespace
