#include "platform/DesktopServices.h"

#include "platform/ScreenGrabber.h"

#include <QApplication>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>

#include <unistd.h>

namespace quillet {

namespace {

std::unique_ptr<SystemServices>& servicesSlot()
{
    static std::unique_ptr<SystemServices> slot;
    return slot;
}

} // namespace

SystemServices& systemServices()
{
    auto& slot = servicesSlot();
    if (!slot)
        slot = std::make_unique<DesktopServices>();
    return *slot;
}

void setSystemServices(std::unique_ptr<SystemServices> services)
{
    servicesSlot() = std::move(services);
}

bool waylandSession()
{
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        || qEnvironmentVariable("XDG_SESSION_TYPE")
               .compare(QLatin1String("wayland"), Qt::CaseInsensitive)
        == 0;
}

DesktopServices::DesktopServices()
    : m_autostart(XdgAutostart::forThisProgram())
{ }

DesktopServices::DesktopServices(XdgAutostart autostart)
    : m_autostart(std::move(autostart))
{ }

bool DesktopServices::capturePermitted() const
{
    return screenGrabber().canRecordScreen();
}

QString DesktopServices::captureDeniedReason() const
{
    if (screenGrabber().canRecordScreen())
        return {};
    const QString reason = screenGrabber().unavailableReason();
    return reason.isEmpty() ? QStringLiteral("墨钉没有读取屏幕的权限。") : reason;
}

QString DesktopServices::captureRoute() const
{
    return screenGrabber().canRecordScreen() ? screenGrabber().routeDescription() : QString();
}

bool DesktopServices::loginItemEnabled() const
{
    return m_autostart.enabled();
}

bool DesktopServices::setLoginItemEnabled(bool on)
{
    return m_autostart.setEnabled(on);
}

bool DesktopServices::startNewInstance()
{
    QString exe = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    if (exe.isEmpty())
        exe = QCoreApplication::applicationFilePath();
    QProcess p;
    p.setProgram(exe);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(handOverVariable), QString::number(::getpid()));
    p.setProcessEnvironment(env);
    p.setStandardInputFile(QProcess::nullDevice());
    return p.startDetached();
}

void DesktopServices::beep()
{
    QApplication::beep();
}

} // namespace quillet
