#include "device/host_lookup.h"

#include <QMutex>
#include <QMutexLocker>
#include <QWaitCondition>
#include <netdb.h>
#include <sys/socket.h>
#include <thread>

#include "device/wait_clock.h"

namespace korvane {

struct HostLookup::State {
    QMutex mutex;
    QWaitCondition answered;
    bool done = false;
    QList<QHostAddress> addresses;
    QString error;
};

namespace {

void resolve(const QByteArray &host, const std::shared_ptr<HostLookup::State> &state) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    const int status = ::getaddrinfo(host.constData(), nullptr, &hints, &found);
    QList<QHostAddress> addresses;
    for (const addrinfo *at = found; status == 0 && at; at = at->ai_next) {
        const QHostAddress address(at->ai_addr);
        if (!address.isNull() && !addresses.contains(address))
            addresses << address;
    }
    if (found)
        ::freeaddrinfo(found);
    QMutexLocker lock(&state->mutex);
    state->addresses = addresses;
    if (status != 0)
        state->error = QString::fromLocal8Bit(::gai_strerror(status));
    else if (addresses.isEmpty())
        state->error = QStringLiteral("no address");
    state->done = true;
    state->answered.wakeAll();
}

} // namespace

HostLookup::HostLookup(const QString &host) : m_state(std::make_shared<State>()) {
    const QHostAddress literal(host);
    if (!literal.isNull()) {
        m_state->addresses << literal;
        m_state->done = true;
        return;
    }
    std::thread(resolve, host.toUtf8(), m_state).detach();
}

HostLookup::~HostLookup() = default;

bool HostLookup::wait(std::int64_t deadline) {
    QMutexLocker lock(&m_state->mutex);
    while (!m_state->done) {
        const std::int64_t left = deadline - monotonicNsecs();
        if (left <= 0)
            return false;
        m_state->answered.wait(&m_state->mutex,
                               QDeadlineTimer(left / 1'000'000 + 1, Qt::PreciseTimer));
    }
    return true;
}

QList<QHostAddress> HostLookup::addresses() const {
    QMutexLocker lock(&m_state->mutex);
    return m_state->addresses;
}

QString HostLookup::error() const {
    QMutexLocker lock(&m_state->mutex);
    return m_state->error;
}

} // namespace korvane
