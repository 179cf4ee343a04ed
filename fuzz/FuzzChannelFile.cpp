// Reads arbitrary bytes as a stored channel file. Whatever is read must save, and reading
// that save must give the same file again.

#include "CAppServices.h"
#include "CFeedContext.h"
#include "CPreferences.h"
#include "CRssChannel.h"
#include "ChannelFile.h"
#include "XmlHelpers.h"

#include <QSettings>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace Qt::Literals::StringLiterals;

namespace {

struct FuzzWorld
{
    QTemporaryDir dir;
    CAppServices app{dir.filePath(u"bin"_s)};
    CFeedContext context{app};

    FuzzWorld()
    {
        app.SetPrefs(std::make_unique<CPreferences>(
            std::make_unique<QSettings>(dir.filePath(u"settings.ini"_s), QSettings::IniFormat),
            app.ProgramFolder()));
        if (!app.Prefs()->ChangeRoot(dir.filePath(u"data"_s)))
            std::abort();
        context.SetClock([] { return qint64(1700000000); });
    }

    QString File(const QString& name) const { return dir.filePath(name); }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static FuzzWorld world;
    const QString input = world.File(u"input.rss"_s);
    if (!SaveFileAtomically(input,
                            QByteArray(reinterpret_cast<const char*>(data), qsizetype(size))))
        std::abort();

    auto channel = CRssChannel::Create(&world.context);
    if (channel->Download(input, true, false) != kResultOk)
        return 0;
    const QByteArray first = SerializeChannelFile(*channel);

    const QString saved = world.File(u"saved.rss"_s);
    if (!SaveFileAtomically(saved, first))
        std::abort();
    auto again = CRssChannel::Create(&world.context);
    if (again->Download(saved, true, false) != kResultOk) {
        std::fprintf(stderr, "saved channel file does not read:\n%s\n", first.constData());
        std::abort();
    }
    const QByteArray second = SerializeChannelFile(*again);
    if (first != second) {
        std::fprintf(stderr, "saved channel changed on reading:\n%s\n---\n%s\n", first.constData(),
                     second.constData());
        std::abort();
    }
    return 0;
}
