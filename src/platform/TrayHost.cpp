#include "platform/TrayHost.h"

#include <QGuiApplication>
#include <QSystemTrayIcon>

namespace quillet {

namespace {

std::unique_ptr<TrayHost>& slot()
{
    static std::unique_ptr<TrayHost> host;
    return host;
}

} // namespace

bool TrayHost::entryWorks() const
{
    return QGuiApplication::platformName() == QLatin1String("xcb") || present();
}

bool TrayHost::present() const
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

TrayHost& trayHost()
{
    if (!slot())
        slot() = std::make_unique<TrayHost>();
    return *slot();
}

void setTrayHost(std::unique_ptr<TrayHost> host)
{
    slot() = std::move(host);
}

} // namespace quillet
