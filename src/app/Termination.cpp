#include "app/Termination.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace quillet {

namespace {

constexpr int endingSignals[] = {SIGTERM, SIGINT, SIGHUP};

int wakeFds[2] = {-1, -1};
QtMessageHandler previousHandler = nullptr;

extern "C" void onEndingSignal(int sig)
{
    // Only async-signal-safe calls here. From now on the next signal ends the program at once,
    // in case ending in order hangs.
    const int saved = errno;
    std::signal(sig, SIG_DFL);
    const unsigned char byte = static_cast<unsigned char>(sig);
    [[maybe_unused]] const ssize_t n = ::write(wakeFds[1], &byte, 1);
    errno = saved;
}

// Qt ends the program itself once its display connection breaks, with a line of its own.
void messageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.startsWith(QLatin1String("The X11 connection broke"))) {
        std::fputs("墨钉: 与显示服务器（X11）的连接断开了，墨钉退出\n", stderr);
        std::fflush(stderr);
        return;
    }
    if (previousHandler)
        previousHandler(type, context, message);
}

} // namespace

Termination::Termination(QObject* parent)
    : QObject(parent)
{
    previousHandler = qInstallMessageHandler(messageHandler);
    if (::pipe2(wakeFds, O_NONBLOCK | O_CLOEXEC) != 0)
        return; // the signals keep their default: ending at once
    m_notifier = new QSocketNotifier(wakeFds[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &Termination::onSignal);
    struct sigaction sa { };
    sa.sa_handler = onEndingSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : endingSignals)
        ::sigaction(sig, &sa, nullptr);
}

Termination::~Termination()
{
    for (int sig : endingSignals)
        std::signal(sig, SIG_DFL);
    qInstallMessageHandler(previousHandler);
    delete m_notifier;
    m_notifier = nullptr;
    for (int& fd : wakeFds) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

void Termination::onSignal()
{
    unsigned char byte = 0;
    while (::read(wakeFds[0], &byte, 1) == 1)
        m_received = byte;
    // exit(), not quit(): the same way the program's own Quit ends it. A save dialog or an
    // alert open now returns as dismissed, and nothing is written after that.
    QCoreApplication::exit(0);
}

} // namespace quillet
