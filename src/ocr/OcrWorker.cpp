#include "ocr/OcrWorker.h"

#include <QMetaObject>

namespace quillet {

OcrWorker::OcrWorker(QObject* parent)
    : QObject(parent)
{
    m_idle.setSingleShot(true);
    m_idle.setInterval(60'000);
    connect(&m_idle, &QTimer::timeout, this, [this] {
        if (!m_busy)
            m_engine.reset();
    });
}

OcrWorker::~OcrWorker()
{
    cancel();
    if (m_thread.joinable())
        m_thread.join();
}

bool OcrWorker::start(const QImage& image)
{
    if (m_busy)
        return false;
    if (m_thread.joinable())
        m_thread.join();
    m_busy = true;
    m_idle.stop();
    if (!m_engine)
        m_engine = std::make_shared<OcrEngine>();
    m_cancel = std::make_shared<std::atomic<bool>>(false);
    // The destructor waits for the thread, so `this` outlives it; a result still queued when
    // the worker goes is dropped with the worker's pending events.
    m_thread = std::thread([this, engine = m_engine, cancel = m_cancel, image] {
        const OcrResult result = engine->recognise(image, cancel.get());
        QMetaObject::invokeMethod(
            this, [this, result] { done(result); }, Qt::QueuedConnection);
    });
    return true;
}

void OcrWorker::cancel()
{
    if (m_cancel)
        m_cancel->store(true);
}

void OcrWorker::done(const OcrResult& result)
{
    if (m_thread.joinable())
        m_thread.join();
    m_busy = false;
    m_cancel.reset();
    m_idle.start();
    Q_EMIT finished(result);
}

} // namespace quillet
