#include "support/test_resolver.h"

#include "device/host_lookup.h"

#include <QMutex>
#include <QMutexLocker>
#include <QWaitCondition>

namespace korvane::test {

namespace {

// Never destroyed: a look-up still hanging when the program ends must not wait on a mutex that
// is gone.
struct SlowLookups {
    QMutex mutex;
    QWaitCondition released;
    int generation = 0;
    int waiting = 0;
};

SlowLookups &slow() {
    static auto *lookups = new SlowLookups;
    return *lookups;
}

Resolution testResolve(const QString &host) {
    const QString name = host.toLower();
    if (name == QLatin1String("invalid") || name.endsWith(QLatin1String(".invalid")))
        return {{}, QStringLiteral("Name or service not known")};
    if (name == QLatin1String("localhost"))
        return {{QHostAddress(QHostAddress::LocalHost)}, QString()};
    if (name == kSlowName) {
        SlowLookups &s = slow();
        QMutexLocker lock(&s.mutex);
        const int generation = s.generation;
        ++s.waiting;
        while (s.generation == generation)
            s.released.wait(&s.mutex);
        --s.waiting;
        return {{}, QStringLiteral("released by the test")};
    }
    qFatal("The test resolver was asked to look up \"%s\": the machine's name server would "
           "have been asked. Use a literal loopback address, a name under .invalid, "
           "\"localhost\" or kSlowName.",
           qPrintable(host));
}

[[maybe_unused]] const bool kInstalled = (installTestResolver(), true);

} // namespace

void installTestResolver() {
    setResolver(testResolve);
}

void releaseSlowLookups() {
    SlowLookups &s = slow();
    QMutexLocker lock(&s.mutex);
    ++s.generation;
    s.released.wakeAll();
}

int slowLookupsWaiting() {
    SlowLookups &s = slow();
    QMutexLocker lock(&s.mutex);
    return s.waiting;
}

} // namespace korvane::test
