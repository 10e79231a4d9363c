#include "device/host_lookup.h"

#include <QMutex>
#include <QMutexLocker>
#include <QWaitCondition>
#include <string>
#include <thread>

#include "device/socket_os.h"
#include "device/wait_clock.h"

namespace korvane {

struct HostLookup::State {
    QMutex mutex;
    QWaitCondition answered;
    bool done = false;
    QList<QHostAddress> addresses;
    QString error;
    std::shared_ptr<LookupWaker> waker;
};

namespace {

// The resolver in force. A look-up takes its own reference when it starts, so replacing the
// resolver never pulls it from under a look-up still running.
struct ResolverSlot {
    QMutex mutex;
    std::shared_ptr<const Resolver> resolver;
};

ResolverSlot &resolverSlot() {
    static ResolverSlot slot;
    return slot;
}

std::shared_ptr<const Resolver> currentResolver() {
    ResolverSlot &slot = resolverSlot();
    QMutexLocker lock(&slot.mutex);
    return slot.resolver;
}

void resolve(const QString &host, const std::shared_ptr<const Resolver> &resolver,
             const std::shared_ptr<HostLookup::State> &state) {
    Resolution found = resolver ? (*resolver)(host) : systemResolve(host);
    if (found.addresses.isEmpty() && found.error.isEmpty())
        found.error = QStringLiteral("no address");
    std::shared_ptr<LookupWaker> waker;
    {
        QMutexLocker lock(&state->mutex);
        state->addresses = found.addresses;
        state->error = found.addresses.isEmpty() ? found.error : QString();
        state->done = true;
        state->answered.wakeAll();
        waker = state->waker;
    }
    if (waker)
        waker->wake();
}

// The address alone, as the resolver gave it: a link-local address's zone is not kept.
QHostAddress addressOf(const os::Endpoint &at) {
    const std::array<std::uint8_t, 16> &b = at.bytes;
    if (at.ipv6)
        return QHostAddress(b.data());
    return QHostAddress(quint32{b[0]} << 24 | quint32{b[1]} << 16 | quint32{b[2]} << 8 |
                        quint32{b[3]});
}

} // namespace

Resolution systemResolve(const QString &host) {
    std::string error;
    const std::vector<os::Endpoint> found = os::resolveHost(host.toUtf8().constData(), error);
    Resolution answer;
    for (const os::Endpoint &at : found) {
        const QHostAddress address = addressOf(at);
        if (!address.isNull() && !answer.addresses.contains(address))
            answer.addresses << address;
    }
    if (!error.empty())
        answer.error = QString::fromLocal8Bit(error);
    return answer;
}

Resolver setResolver(Resolver resolver) {
    ResolverSlot &slot = resolverSlot();
    QMutexLocker lock(&slot.mutex);
    std::shared_ptr<const Resolver> before = std::move(slot.resolver);
    if (resolver)
        slot.resolver = std::make_shared<const Resolver>(std::move(resolver));
    return before ? *before : Resolver();
}

LookupWaker::LookupWaker() : m_handle(os::openWaker()) {}

LookupWaker::~LookupWaker() {
    os::closeWaker(m_handle);
}

void LookupWaker::take() {
    os::drainWaker(m_handle);
}

void LookupWaker::wake() {
    os::wake(m_handle);
}

HostLookup::HostLookup(const QString &host, std::shared_ptr<LookupWaker> waker)
    : m_state(std::make_shared<State>()) {
    m_state->waker = std::move(waker);
    const QHostAddress literal(host);
    if (!literal.isNull()) {
        m_state->addresses << literal;
        m_state->done = true;
        if (m_state->waker)
            m_state->waker->wake();
        return;
    }
    std::thread(resolve, host, currentResolver(), m_state).detach();
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
