#include "socket_shim.h"

#include <cstring>

#ifdef _WIN32
// Windows Sockets 1.1 only: the program must run on Windows 95 without the Winsock 2 update.
#include <winsock.h>
#else
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>
#endif

namespace kite::shim {

#ifdef _WIN32

namespace {
SOCKET ToSocket(Handle connection) { return static_cast<SOCKET>(connection); }

// One try of `io`; when it would block, one wait of at most waitMs for the socket to become
// readable (or failed) or writable, then one more try.
template <typename Io>
long TryTwice(SOCKET s, bool reading, unsigned waitMs, Io io) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        int n = io();
        if (n >= 0) return n;
        if (WSAGetLastError() != WSAEWOULDBLOCK) return kReceiveError;
        if (attempt == 1) break;
        fd_set ready, failed;
        FD_ZERO(&ready);
        FD_ZERO(&failed);
        FD_SET(s, &ready);
        FD_SET(s, &failed);
        timeval wait;
        wait.tv_sec = static_cast<long>(waitMs / 1000);
        wait.tv_usec = static_cast<long>((waitMs % 1000) * 1000);
        int found = select(0, reading ? &ready : nullptr, reading ? nullptr : &ready,
                           reading ? &failed : nullptr, &wait);
        if (found < 0) return kReceiveError;
        if (found == 0) return kReceiveTimeout;
    }
    return kReceiveTimeout;
}
}  // namespace

bool Startup() {
    WSADATA data;
    return WSAStartup(MAKEWORD(1, 1), &data) == 0;
}

Handle Connect(const std::string& host, int port) {
    if (host.empty()) {
        WSASetLastError(0);
        return 0;
    }
    unsigned long address = inet_addr(host.c_str());
    if (address == INADDR_NONE) {
        const hostent* entry = gethostbyname(host.c_str());
        if (!entry || entry->h_addrtype != AF_INET || !entry->h_addr_list[0]) return 0;
        std::memcpy(&address, entry->h_addr_list[0], sizeof address);
    }
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return 0;
    sockaddr_in peer;
    std::memset(&peer, 0, sizeof peer);
    peer.sin_family = AF_INET;
    peer.sin_port = htons(static_cast<u_short>(port));
    peer.sin_addr.s_addr = address;
    u_long nonBlocking = 1;
    if (connect(s, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0 ||
        ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
        const int error = WSAGetLastError();
        closesocket(s);
        WSASetLastError(error);
        return 0;
    }
    return static_cast<Handle>(s);
}

long Send(Handle connection, const char* data, std::size_t size) {
    return send(ToSocket(connection), data, static_cast<int>(size), 0);
}

long SendSome(Handle connection, const char* data, std::size_t size, unsigned waitMs) {
    SOCKET s = ToSocket(connection);
    return TryTwice(s, false, waitMs, [&] { return send(s, data, static_cast<int>(size), 0); });
}

long Available(Handle connection) {
    u_long waiting = 0;
    if (ioctlsocket(ToSocket(connection), FIONREAD, &waiting) != 0) return -1;
    return static_cast<long>(waiting);
}

long Receive(Handle connection, char* data, std::size_t size, unsigned waitMs) {
    SOCKET s = ToSocket(connection);
    return TryTwice(s, true, waitMs, [&] { return recv(s, data, static_cast<int>(size), 0); });
}

void Close(Handle connection) { closesocket(ToSocket(connection)); }

long SocketError() { return WSAGetLastError(); }
long FileError() { return static_cast<long>(GetLastError()); }

uint32_t TickMs() { return GetTickCount(); }
void SleepMs(unsigned ms) { Sleep(ms); }

#else

namespace {
// Handles are descriptor + 1 so that 0 can mean "no connection" even for descriptor 0.
int ToFd(Handle connection) { return static_cast<int>(connection - 1); }

// One try of `io`; when it would block, one wait of at most waitMs for `events`, then one more
// try.
template <typename Io>
long TryTwice(int fd, short events, unsigned waitMs, Io io) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        ssize_t n = io();
        if (n >= 0) return static_cast<long>(n);
        if (errno == EINTR) return kReceiveTimeout;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return kReceiveError;
        if (attempt == 1) break;
        pollfd entry;
        entry.fd = fd;
        entry.events = events;
        entry.revents = 0;
        int ready = poll(&entry, 1, static_cast<int>(waitMs));
        if (ready < 0) return errno == EINTR ? kReceiveTimeout : kReceiveError;
        if (ready == 0) return kReceiveTimeout;
    }
    return kReceiveTimeout;
}
}  // namespace

bool Startup() { return true; }

Handle Connect(const std::string& host, int port) {
    if (host.empty()) {
        errno = 0;
        return 0;
    }
    sockaddr_in peer;
    std::memset(&peer, 0, sizeof peer);
    peer.sin_family = AF_INET;
    peer.sin_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET, host.c_str(), &peer.sin_addr) != 1) {
        addrinfo hints;
        std::memset(&hints, 0, sizeof hints);
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) {
            errno = 0;  // the lookup's own codes are no errno
            return 0;
        }
        peer.sin_addr = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
        freeaddrinfo(found);
    }
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;
    int rc;
    do {
        rc = connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
    } while (rc != 0 && errno == EINTR);
    int flags = rc == 0 ? fcntl(fd, F_GETFL, 0) : -1;
    if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) {
        const int error = errno;
        close(fd);
        errno = error;
        return 0;
    }
    return static_cast<Handle>(fd) + 1;
}

long Send(Handle connection, const char* data, std::size_t size) {
    return static_cast<long>(send(ToFd(connection), data, size, MSG_NOSIGNAL));
}

long SendSome(Handle connection, const char* data, std::size_t size, unsigned waitMs) {
    int fd = ToFd(connection);
    return TryTwice(fd, POLLOUT, waitMs, [&] { return send(fd, data, size, MSG_NOSIGNAL); });
}

long Available(Handle connection) {
    int waiting = 0;
    if (ioctl(ToFd(connection), FIONREAD, &waiting) != 0) return -1;
    return waiting;
}

long Receive(Handle connection, char* data, std::size_t size, unsigned waitMs) {
    int fd = ToFd(connection);
    return TryTwice(fd, POLLIN, waitMs, [&] { return recv(fd, data, size, 0); });
}

void Close(Handle connection) { close(ToFd(connection)); }

long SocketError() { return errno; }
long FileError() { return errno; }

uint32_t TickMs() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint32_t>(now.tv_sec * 1000ull + now.tv_nsec / 1000000);
}

void SleepMs(unsigned ms) {
    timespec wait{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

#endif

}  // namespace kite::shim
