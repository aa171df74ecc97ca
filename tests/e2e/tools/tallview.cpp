// A page far taller than its window, for long captures: a fixed header over a view that the
// wheel scrolls by uneven steps. The whole page (header, then every row of the content) is
// written to a PNG first, so a test can compare a stitched capture with it pixel for pixel.
//
//   tallview OUT.png X Y WIDTH HEIGHT ROWS
//
// On Wayland the compositor places the window (its title is "tallview"); X and Y are unused.
//
// Prints "ready" once the window is on screen, and "at N" after each scroll.
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QTextStream>
#include <QTimer>
#include <QWheelEvent>
#include <QWidget>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int headerRows = 36;
// Pixels one wheel notch moves, in turn: no two neighbours alike.
constexpr int notchSteps[] = {37, 61, 23, 89, 52};

QRgb ink(unsigned seed, int x, int r)
{
    const unsigned v = (seed * 2654435761u) ^ unsigned(r * 40503 + (x / 3) * 9176);
    return ((v >> 9) % 4 == 0) ? qRgb(40, 40, 60 + int((v >> 3) & 0x7f)) : qRgb(252, 252, 250);
}

// Lines of "text" 14 rows high with 6 blank rows between; now and then a blank stretch of up
// to 189 rows; and runs of lines that all read the same.
QImage content(int width, int rows)
{
    QImage img(width, rows, QImage::Format_RGB32);
    img.fill(qRgb(252, 252, 250));
    int y = 0;
    for (int line = 0; y < rows; ++line) {
        if (line % 7 == 6) {
            y += 40 + (line * 37) % 150;
            continue;
        }
        // Eight identical lines in every fifty: fewer rows than any two frames share, as no
        // matcher can tell how far a stretch that repeats all over scrolled.
        const bool repeated = line % 50 >= 20 && line % 50 < 28;
        const unsigned seed = repeated ? 424242u : unsigned(line) + 1;
        for (int r = 0; r < 14 && y + r < rows; ++r) {
            auto* px = reinterpret_cast<QRgb*>(img.scanLine(y + r));
            for (int x = 8; x < width - 8; ++x)
                px[x] = ink(seed, x, r);
        }
        y += 20;
    }
    return img;
}

QImage header(int width)
{
    QImage img(width, headerRows, QImage::Format_RGB32);
    for (int y = 0; y < headerRows; ++y)
        for (int x = 0; x < width; ++x)
            img.setPixel(x, y, qRgb(20 + y * 3, 90 + (x * 7) % 60, 200 - y * 2));
    return img;
}

class TallView final : public QWidget {
public:
    TallView(QImage head, QImage page)
        : m_head(std::move(head))
        , m_page(std::move(page))
    { }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        if (!m_painted) {
            m_painted = true;
            QTimer::singleShot(0, this, [] {
                std::printf("ready\n");
                std::fflush(stdout);
            });
        }
        p.drawImage(QPoint(0, 0), m_head);
        const int shown = height() - headerRows;
        p.drawImage(
            QRect(0, headerRows, width(), shown), m_page, QRect(0, m_at, m_page.width(), shown));
    }
    void wheelEvent(QWheelEvent* e) override
    {
        m_turn += e->angleDelta().y();
        const int maxAt = std::max(0, m_page.height() - (height() - headerRows));
        while (m_turn <= -120 || m_turn >= 120) {
            const int notch = notchSteps[m_notches++ % std::size(notchSteps)];
            m_at = std::clamp(m_at + (m_turn < 0 ? notch : -notch), 0, maxAt);
            m_turn += m_turn < 0 ? 120 : -120;
        }
        std::printf("at %d\n", m_at);
        std::fflush(stdout);
        update();
    }

private:
    QImage m_head, m_page;
    bool m_painted = false;
    int m_at = 0;
    int m_turn = 0;
    unsigned m_notches = 0;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList a = app.arguments();
    if (a.size() != 7) {
        std::fprintf(stderr, "usage: tallview OUT.png X Y WIDTH HEIGHT ROWS\n");
        return 2;
    }
    const int x = a[2].toInt(), y = a[3].toInt(), w = a[4].toInt(), h = a[5].toInt();
    const QImage head = header(w), page = content(w, a[6].toInt());
    QImage whole(w, headerRows + page.height(), QImage::Format_RGB32);
    {
        QPainter p(&whole);
        p.drawImage(0, 0, head);
        p.drawImage(0, headerRows, page);
    }
    if (!whole.save(a[1], "PNG"))
        return 1;
    TallView view(head, page);
    view.setWindowTitle(QStringLiteral("tallview"));
    view.setWindowFlags(Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
    // A fixed size: sway floats such a window from the start at that size.
    view.setFixedSize(w, h);
    view.move(x, y);
    view.show();
    return app.exec();
}
