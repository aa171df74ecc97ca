// The smallest resident tray program Qt 6 Widgets makes: an icon with a menu, nothing else. The
// idle-memory benchmark sets the program's footprint beside it, on the same X server.
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QPixmap pixmap(22, 22);
    pixmap.fill(Qt::transparent);
    {
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.setBrush(Qt::black);
        p.drawEllipse(3, 3, 16, 16);
    }
    QMenu menu;
    menu.addAction(QStringLiteral("Capture"));
    QObject::connect(
        menu.addAction(QStringLiteral("Quit")), &QAction::triggered, &app, &QApplication::quit);
    QSystemTrayIcon tray {QIcon(pixmap)};
    tray.setContextMenu(&menu);
    tray.show();
    return QApplication::exec();
}
