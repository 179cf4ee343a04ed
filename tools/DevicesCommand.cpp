// calvoria-tool devices [--json]
#include "DataCommand.h"
#include "ToolCommands.h"

#include "RemovableDeviceList.h"

#include <QTextStream>

using namespace Qt::Literals::StringLiterals;

namespace {

int RunDevicesCommand(const QStringList& args)
{
    const CToolArgs options(args, {}, {u"--json"_s});
    if (!options.Ok())
        return UsageError("devices", options.Error());
    if (!options.Positional().isEmpty())
        return UsageError("devices", u"unexpected argument "_s + options.Positional().first());
    QTextStream out(stdout);
    RemovableDeviceList devices(SystemRoots::FromEnvironment());
    devices.Refresh();
    std::vector<ToolRow> rows;
    while (const RemovableDevice* device = devices.Next())
        rows.push_back({device->root, device->name, device->key,
                        RemovableDeviceList::GetFreeSpace(device->root)});
    if (options.Has(u"--json"_s)) {
        PrintRows(out, {u"root"_s, u"name"_s, u"key"_s, u"freeBytes"_s}, rows, true);
        return 0;
    }
    PrintRows(out, {u"root"_s, u"name"_s, u"key"_s, u"free bytes"_s}, rows, false);
    return 0;
}

const ToolCommandRegistration kDevicesCommand{
    {"devices",
     "[--json]\n"
     "the removable volumes the synchronisation offers: root TAB name TAB key TAB free bytes",
     RunDevicesCommand,
     "  --json  a JSON array of {root, name, key, freeBytes} instead of tab-separated lines\n"}};

} // namespace
