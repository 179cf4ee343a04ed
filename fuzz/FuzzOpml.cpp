// Reads arbitrary bytes as data.opml. Whatever tree comes out must save, and a second
// read of that save must give the same file again.

#include "FuzzWorld.h"
#include "CRssGroup.h"
#include "OpmlFile.h"
#include "StoredFile.h"
#include "XmlHelpers.h"

#include <QDir>
#include <QFile>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace Qt::Literals::StringLiterals;

namespace {


QByteArray SaveTree(FuzzWorld& world, CRssGroup& root, const QString& name)
{
    if (WriteOpmlFile(root, world.File(name)) != kResultOk)
        std::abort();
    QFile file(world.File(name));
    if (!file.open(QIODevice::ReadOnly))
        std::abort();
    return file.readAll();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static FuzzWorld world;
    world.ForgetChannelFiles();

    const QString input = world.File(u"input.opml"_s);
    if (!SaveFileAtomically(input,
                            QByteArray(reinterpret_cast<const char*>(data), qsizetype(size))))
        std::abort();

    auto root = CRssGroup::Create(&world.context, true);
    if (ReadOpmlFile(*root, input) != kResultOk)
        return 0;
    const QByteArray first = SaveTree(world, *root, u"first.opml"_s);

    auto again = CRssGroup::Create(&world.context, true);
    if (ReadOpmlFile(*again, world.File(u"first.opml"_s)) != kResultOk)
        std::abort();
    const QByteArray second = SaveTree(world, *again, u"second.opml"_s);
    if (first != second) {
        std::fprintf(stderr, "saved tree changed on reading:\n%s\n---\n%s\n", first.constData(),
                     second.constData());
        std::abort();
    }
    return 0;
}
