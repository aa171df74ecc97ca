#include "settings/window/SettingsWindow.h"

#include "capture/NativePointer.h"
#include "capture/Trace.h"
#include "platform/FreedMemory.h"
#include "settings/SettingsStore.h"
#include "settings/window/SettingsModel.h"
#include "settings/window/SettingsView.h"
#include "settings/window/components/Card.h"
#include "settings/window/pages/Pages.h"
#include "ui/AppIcons.h"

#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>
#include <optional>

namespace quillet {

namespace {

constexpr QSize contentSize(860, 620);
constexpr QSize minimumContentSize(760, 480);

// Where the user left the window, for the next one: the program lives for weeks, and a window
// opened now and then must not keep its pages in memory between openings.
std::optional<QPoint>& lastPosition()
{
    static std::optional<QPoint> position;
    return position;
}

} // namespace

SettingsWindow::SettingsWindow(SettingsModel& model, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_model(model)
    , m_view(new SettingsView(model, this))
{
    setWindowTitle(QStringLiteral("墨钉设置"));
    setAccessibleName(QStringLiteral("墨钉设置"));
    setWindowIcon(appIcon());
    setObjectName(QStringLiteral("settingsWindow"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    // A change that could not be saved is said here, where it was made, until one is saved.
    m_saveProblem = new WarningLabel(12, this);
    m_saveProblem->setObjectName(QStringLiteral("saveProblem"));
    m_saveProblem->setContentsMargins(18, 8, 18, 8);
    m_saveProblem->setWordWrap(true);
    m_saveProblem->hide();
    layout->addWidget(m_saveProblem);
    layout->addWidget(m_view, 1);
    setMinimumSize(minimumContentSize);
    resize(contentSize);
    setAttribute(Qt::WA_DeleteOnClose);
    SettingsStore::setFailureListener([this](const QString& problem) {
        if (!problem.isEmpty() && !isVisible())
            return false;
        m_saveProblem->setText(problem);
        m_saveProblem->setAccessibleName(problem);
        m_saveProblem->setVisible(!problem.isEmpty());
        return true;
    });
}

SettingsWindow::~SettingsWindow()
{
    SettingsStore::setFailureListener({});
    releaseFreedMemorySoon();
}

QString SettingsWindow::saveProblem() const
{
    return m_saveProblem->isVisible() ? m_saveProblem->text() : QString();
}

void SettingsWindow::present()
{
    if (!m_placed) {
        m_placed = true;
        QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
        if (!screen)
            screen = QGuiApplication::primaryScreen();
        // Where the user left it, while that is still on a screen; else centred.
        if (lastPosition() && QGuiApplication::screenAt(*lastPosition() + QPoint(40, 20))) {
            move(*lastPosition());
        } else if (screen) {
            QRect frame(QPoint(), size());
            frame.moveCenter(screen->availableGeometry().center());
            move(frame.topLeft());
        }
    }
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    m_tracePaint = !isVisible() && trace::enabled();
    show();
    raise();
    activateWindow();
}

bool SettingsWindow::event(QEvent* event)
{
    // A recording holds the global hot keys released; once the user has gone to another
    // window it must end, or they would stay released behind a window nobody looks at.
    if (event->type() == QEvent::WindowDeactivate)
        m_model.stopRecording();
    // The repaint manager paints and flushes the whole window on this request; the pixels are
    // on screen once the server has carried out that flush. Decided before the base class
    // handles the event: a deferred delete ends with this window gone.
    const bool traced = event->type() == QEvent::UpdateRequest && m_tracePaint;
    const bool handled = QWidget::event(event);
    if (traced) {
        m_tracePaint = false;
        NativePointer::syncWithServer();
        trace::mark("settings-painted");
    }
    return handled;
}

void SettingsWindow::closeEvent(QCloseEvent* event)
{
    m_model.stopRecording();
    // Deleted once closed; the model keeps the page for the next opening.
    lastPosition() = pos();
    event->accept();
}

} // namespace quillet
