// The settings snapshot mode: the six settings pages 0.8 s apart, then the capture overlay in
// three tool states, as PNG files in one folder. A run that could not write every file says
// which and why, and ends with failure, so a script is never told pictures exist that do not.
#include "app/Snapshot.h"

#include "app/AppDelegate.h"
#include "capture/CaptureSession.h"
#include "capture/WidgetSnapshot.h"
#include "output/Output.h"
#include "platform/Geometry.h"
#include "platform/Screen.h"
#include "settings/window/SettingsView.h"
#include "settings/window/pages/Pages.h"

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QTimer>

#include <cstdio>

namespace quillet {

namespace {

// Long enough for a page's entrance to have ended.
constexpr int pageIntervalMs = 800;

// The main screen's whole pixel area, filled with the gradient in y-up pixels.
std::optional<ScreenShot> sampleShot()
{
    QScreen* main = QGuiApplication::primaryScreen();
    if (!main)
        return std::nullopt;
    const Screen screen = screenFromQt(main);
    const int w = screen.pixelWidth(), h = screen.pixelHeight();
    if (w <= 0 || h <= 0)
        return std::nullopt;
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return std::nullopt;
    {
        QPainter p(&image);
        flipPainter(p, h);
        QLinearGradient gradient(QPointF(0, 0), QPointF(w, h));
        gradient.setColorAt(0, snapshotTeal());
        gradient.setColorAt(1, snapshotIndigo());
        p.fillRect(QRectF(0, 0, w, h), gradient);
    }
    image.setDevicePixelRatio(screen.scale);
    return ScreenShot {screen, image};
}

void report(const QStringList& failures)
{
    for (const QString& line : failures) {
        std::fprintf(stderr, "墨钉: 快照未写入 %s\n", line.toUtf8().constData());
    }
    std::fflush(stderr);
}

} // namespace

std::optional<QString> snapshotFolder()
{
    if (!qEnvironmentVariableIsSet(snapshotVariable))
        return std::nullopt;
    return qEnvironmentVariable(snapshotVariable);
}

void AppDelegate::snapshotSettings(const QString& folder, int index)
{
    if (index >= int(allSettingsPages.size())) {
        finishSnapshot(folder);
        return;
    }
    const SettingsPage page = allSettingsPages[size_t(index)];
    openSettings(page);
    QTimer::singleShot(pageIntervalMs, this, [this, folder, index, page] {
        const QString name
            = QString::number(index) + QLatin1Char('-') + rawValue(page) + QStringLiteral(".png");
        std::optional<QString> error;
        SettingsView* view = m_settingsWindow ? m_settingsWindow->view() : nullptr;
        const QImage image = view ? widgetSnapshot(*view, view->devicePixelRatioF()) : QImage();
        if (!view)
            error = QStringLiteral("设置窗口没有打开");
        else if (image.isNull())
            error = QStringLiteral("无法绘制设置页面（内存不足？）");
        else
            error = Output::writePngAtomically(QDir(folder).filePath(name), image);
        if (error)
            m_snapshotFailures.append(name + QStringLiteral("：") + *error);
        snapshotSettings(folder, index + 1);
    });
}

void AppDelegate::finishSnapshot(const QString& folder)
{
    if (std::optional<ScreenShot> shot = sampleShot()) {
        // Never shown: the session only lends its first view to the pictures.
        CaptureSession session({*shot}, {}, [] {});
        m_snapshotFailures += session.debugSnapshot(folder);
    } else {
        for (const char* state : {"none", "text", "arrow"})
            m_snapshotFailures.append(
                QStringLiteral("capture-%1.png：没有可用的屏幕").arg(QLatin1String(state)));
    }
    report(m_snapshotFailures);
    const int status = m_snapshotFailures.isEmpty() ? 0 : 1;
    QMetaObject::invokeMethod(
        qApp, [status] { QCoreApplication::exit(status); }, Qt::QueuedConnection);
}

} // namespace quillet
