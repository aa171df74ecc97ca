// A plain window of one colour under a title, for the tests on a Wayland compositor: something
// other than the program's own windows for a capture to detect. Prints "ready" once shown.
//   wlwindow TITLE RRGGBB
#include <QApplication>
#include <QPainter>
#include <QTimer>
#include <QWidget>
#include <cstdio>

namespace {

class Plain final : public QWidget {
public:
    explicit Plain(QColor colour)
        : m_colour(colour)
    { }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter(this).fillRect(rect(), m_colour);
        if (!m_told) {
            m_told = true;
            QTimer::singleShot(0, [] {
                std::printf("ready\n");
                std::fflush(stdout);
            });
        }
    }

private:
    QColor m_colour;
    bool m_told = false;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: wlwindow TITLE RRGGBB\n");
        return 2;
    }
    Plain window(QColor(QLatin1Char('#') + QString::fromLatin1(argv[2])));
    window.setWindowTitle(QString::fromLocal8Bit(argv[1]));
    // A fixed size: sway floats such windows from the start, and no configure can change it.
    window.setFixedSize(420, 260);
    window.show();
    return app.exec();
}
