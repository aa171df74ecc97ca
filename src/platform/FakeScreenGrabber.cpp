#include "platform/FakeScreenGrabber.h"

#include <QCoreApplication>
#include <QMetaObject>

namespace quillet {

void FakeScreenGrabber::setImage(const QString& screenName, const QImage& image)
{
    images.insert(screenName, image);
}

void FakeScreenGrabber::clearImages()
{
    images.clear();
}

void FakeScreenGrabber::grabAll(
    const QList<Screen>& screens, const QList<quint32>& excluding, Done done)
{
    ++grabs;
    excluded = excluding;
    GrabResult result;
    if (failure) {
        result.error = failure;
    } else {
        for (const Screen& s : screens)
            result.images.append(images.value(s.name));
    }
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [done = std::move(done), result = std::move(result)]() mutable { done(std::move(result)); },
        Qt::QueuedConnection);
}

} // namespace quillet
