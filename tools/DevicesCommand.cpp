// calvoria-tool devices
#include "ToolCommands.h"

#include "RemovableDeviceList.h"

#include <QTextStream>

namespace {

int RunDevicesCommand(const QStringList& args)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (!args.isEmpty()) {
        err << "usage: calvoria-tool devices\n";
        return 2;
    }
    RemovableDeviceList devices(SystemRoots::FromEnvironment());
    devices.Refresh();
    out << "root\tname\tkey\tfree bytes\n";
    while (const RemovableDevice* device = devices.Next())
        out << device->root << '\t' << device->name << '\t' << device->key << '\t'
            << RemovableDeviceList::GetFreeSpace(device->root) << '\n';
    return 0;
}

const ToolCommandRegistration kCommand{
    {"devices", "           the removable volumes the synchronisation offers: root TAB name TAB key TAB free bytes",
     RunDevicesCommand}};

} // namespace
