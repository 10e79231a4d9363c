// The network port's system calls on Linux (see socket_os.h).

#include "device/socket_os.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

// After the socket headers: it names their address types.
#include "device/socket_addresses.h"

namespace korvane::os {

namespace {

timespec toTimespec(std::int64_t nsecs) {
    return timespec{static_cast<time_t>(nsecs / 1'000'000'000),
                    static_cast<long>(nsecs % 1'000'000'000)};
}

int fdOf(Socket socket) {
    return static_cast<int>(socket);
}

} // namespace

int waitFor(Watch *watches, std::size_t count, std::int64_t timeoutNsecs) {
    std::vector<pollfd> fds(count);
    for (std::size_t i = 0; i < count; ++i) {
        const short events = short((watches[i].events & kReadable ? POLLIN : 0) |
                                   (watches[i].events & kWritable ? POLLOUT : 0));
        // poll skips a negative descriptor.
        fds[i] = pollfd{watches[i].socket == kNoSocket ? -1 : fdOf(watches[i].socket), events, 0};
    }
    const timespec timeout = toTimespec(timeoutNsecs > 0 ? timeoutNsecs : 0);
    const int ready = ::ppoll(fds.data(), fds.size(), &timeout, nullptr);
    if (ready < 0)
        return errno == EINTR ? kWaitInterrupted : kWaitFailed;
    for (std::size_t i = 0; i < count; ++i) {
        const short got = fds[i].revents;
        watches[i].found = short((got & POLLIN ? kReadable : 0) | (got & POLLOUT ? kWritable : 0) |
                                 (got & (POLLERR | POLLHUP | POLLNVAL) ? kBroken : 0));
    }
    return ready;
}

void napFor(std::int64_t nsecs) {
    const timespec nap = toTimespec(nsecs > 0 ? nsecs : 0);
    ::ppoll(nullptr, 0, &nap, nullptr);
}

Socket startConnect(const Endpoint &to) {
    sockaddr_storage storage{};
    socklen_t length = 0;
    if (!to.ipv6) {
        auto *in = reinterpret_cast<sockaddr_in *>(&storage);
        in->sin_family = AF_INET;
        in->sin_port = htons(to.port);
        std::memcpy(&in->sin_addr, to.bytes.data(), 4);
        length = sizeof *in;
    } else {
        auto *in6 = reinterpret_cast<sockaddr_in6 *>(&storage);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(to.port);
        std::memcpy(&in6->sin6_addr, to.bytes.data(), 16);
        in6->sin6_scope_id = to.scopeId;
        length = sizeof *in6;
    }
    const int fd = ::socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return kNoSocket;
    if (::connect(fd, reinterpret_cast<sockaddr *>(&storage), length) != 0 &&
        errno != EINPROGRESS) {
        ::close(fd);
        return kNoSocket;
    }
    return fd;
}

bool connectTaken(Socket socket) {
    int error = 0;
    socklen_t size = sizeof error;
    return ::getsockopt(fdOf(socket), SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
}

void dropConnection(Socket socket) {
    resetOnClose(socket);
    ::close(fdOf(socket));
}

void resetOnClose(Socket socket) {
    const linger reset{1, 0};
    ::setsockopt(fdOf(socket), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
}

std::int64_t bytesReadable(Socket socket) {
    int waiting = 0;
    return ::ioctl(fdOf(socket), FIONREAD, &waiting) == 0 && waiting > 0 ? waiting : 0;
}

std::int64_t receiveNow(Socket socket, char *buffer, std::size_t size) {
    return ::recv(fdOf(socket), buffer, size, MSG_DONTWAIT);
}

std::int64_t bytesUnsent(Socket socket) {
    int queued = 0;
    return ::ioctl(fdOf(socket), TIOCOUTQ, &queued) == 0 ? queued : 0;
}

bool nothingInFlight(Socket socket) {
    tcp_info info{};
    socklen_t size = sizeof info;
    return ::getsockopt(fdOf(socket), IPPROTO_TCP, TCP_INFO, &info, &size) == 0 &&
           info.tcpi_unacked == 0;
}

void setKeepAlive(Socket socket, int idleSecs, int intervalSecs, int probes) {
    const int on = 1;
    ::setsockopt(fdOf(socket), SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(fdOf(socket), IPPROTO_TCP, TCP_KEEPIDLE, &idleSecs, sizeof idleSecs);
    ::setsockopt(fdOf(socket), IPPROTO_TCP, TCP_KEEPINTVL, &intervalSecs, sizeof intervalSecs);
    ::setsockopt(fdOf(socket), IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
}

void setUnacknowledgedLimit(Socket socket, unsigned int msecs) {
    ::setsockopt(fdOf(socket), IPPROTO_TCP, TCP_USER_TIMEOUT, &msecs, sizeof msecs);
}

Socket openWaker() {
    return ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

void wake(Socket waker) {
    ::eventfd_write(fdOf(waker), 1);
}

void drainWaker(Socket waker) {
    eventfd_t count = 0;
    ::eventfd_read(fdOf(waker), &count);
}

void closeWaker(Socket waker) {
    if (waker >= 0)
        ::close(fdOf(waker));
}

std::vector<Endpoint> resolveHost(const char *host, std::string &error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    const int status = ::getaddrinfo(host, nullptr, &hints, &found);
    std::vector<Endpoint> addresses;
    if (status == 0)
        addresses = endpointsOf(found);
    if (found)
        ::freeaddrinfo(found);
    if (status != 0)
        error = ::gai_strerror(status);
    return addresses;
}

} // namespace korvane::os
