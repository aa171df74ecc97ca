#include "capture/LongCapturePanel.h"

#include "capture/annotation/GlassPanel.h"
#include "capture/annotation/ToolButton.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QVBoxLayout>

namespace quillet {

LongCapturePanel::LongCapturePanel(bool canAutoScroll)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("长截图"));
    setFixedWidth(previewBox().width() + 24);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(12, 10, 12, 10);
    column->setSpacing(6);

    m_preview = new QLabel(this);
    m_preview->setFixedSize(previewBox());
    m_preview->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_preview->setAccessibleName(QStringLiteral("预览"));
    column->addWidget(m_preview);

    QPalette light = palette();
    light.setColor(QPalette::WindowText, QColor(255, 255, 255, 220));
    m_height = new QLabel(this);
    m_height->setPalette(light);
    m_height->setAccessibleName(QStringLiteral("高度"));
    column->addWidget(m_height);
    m_note = new QLabel(this);
    m_note->setPalette(light);
    m_note->setWordWrap(true);
    m_note->setAccessibleName(QStringLiteral("提示"));
    QFont small = m_note->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    m_note->setFont(small);
    column->addWidget(m_note);

    auto* grid = new QGridLayout;
    grid->setSpacing(4);
    m_auto = button(
        QStringLiteral("自动滚动"), QStringLiteral("自动滚动  A"), &LongCapturePanel::autoClicked);
    if (!canAutoScroll) {
        m_auto->setEnabled(false);
        m_auto->setToolTip(QStringLiteral("这里不能替你滚动，请自己滚动"));
    }
    grid->addWidget(m_auto, 0, 0);
    grid->addWidget(
        button(QStringLiteral("钉住"), QStringLiteral("钉在屏幕上"), &LongCapturePanel::pinClicked),
        0, 1);
    grid->addWidget(button(QStringLiteral("保存"), QStringLiteral("保存  Ctrl+S"),
                        &LongCapturePanel::saveClicked),
        1, 0);
    grid->addWidget(button(QStringLiteral("取消"), QStringLiteral("取消  Esc"),
                        &LongCapturePanel::cancelClicked),
        1, 1);
    ToolButton* finish = button(
        QStringLiteral("完成"), QStringLiteral("复制并完成 ↩"), &LongCapturePanel::finishClicked);
    finish->setProminent(true);
    grid->addWidget(finish, 2, 0, 1, 2);
    column->addLayout(grid);
    setHeight(0);
}

ToolButton* LongCapturePanel::button(
    const QString& title, const QString& tip, void (LongCapturePanel::*signal)())
{
    auto* b = new ToolButton(QString(), tip, this);
    b->setTitle(QString(), title);
    b->setAccessibleName(title);
    // Queued: every one of them may end the capture, and this panel with it.
    connect(b, &QAbstractButton::clicked, this, signal, Qt::QueuedConnection);
    return b;
}

void LongCapturePanel::setHeight(int pixels)
{
    m_height->setText(QStringLiteral("高度 %1 px").arg(pixels));
}

void LongCapturePanel::setNote(const QString& text)
{
    m_note->setText(text);
    m_note->setVisible(!text.isEmpty());
    adjustSize();
}

void LongCapturePanel::setPreview(const QImage& image)
{
    m_preview->setPixmap(QPixmap::fromImage(image));
}

void LongCapturePanel::setAuto(bool running)
{
    m_running = running;
    m_auto->setTitle(QString(), running ? QStringLiteral("停止滚动") : QStringLiteral("自动滚动"));
    m_auto->setOn(running);
}

void LongCapturePanel::keyPressEvent(QKeyEvent* event)
{
    const bool command
        = event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    switch (event->key()) {
    case Qt::Key_Escape:
        Q_EMIT cancelClicked();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        Q_EMIT finishClicked();
        return;
    case Qt::Key_S:
        if (command) {
            Q_EMIT saveClicked();
            return;
        }
        break;
    case Qt::Key_A:
        if (!command && m_auto->isEnabled()) {
            Q_EMIT autoClicked();
            return;
        }
        break;
    default:
        break;
    }
    // Any other key stops auto-scrolling: where the window system keeps other programs' keys
    // and pointer from us (Wayland), the panel's own are all there is to go by.
    if (m_running) {
        Q_EMIT autoClicked();
        return;
    }
    QWidget::keyPressEvent(event);
}

void LongCapturePanel::enterEvent(QEnterEvent* event)
{
    if (m_running)
        Q_EMIT autoClicked();
    QWidget::enterEvent(event);
}

void LongCapturePanel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), GlassPanel::fillColor());
    p.setPen(QColor(255, 255, 255, 46));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

} // namespace quillet
