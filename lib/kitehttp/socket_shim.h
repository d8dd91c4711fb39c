// The few socket calls KiteHTTP needs and the system's codes of failed calls, over Winsock 1.1 on Windows and BSD sockets
// elsewhere. Only socket_shim.cpp includes system headers, so the client itself is portable.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace kite::shim {

// An open TCP connection; 0 is never a valid one.
using Handle = std::intptr_t;

bool Startup();

// Blocking connect; a dotted address is used as is, anything else is looked up (IPv4).
// Returns 0 on failure. The connection is non-blocking afterwards.
Handle Connect(const std::string& host, int port);

// One send of the whole text; the result is the platform's.
long Send(Handle connection, const char* data, std::size_t size);

// Bytes waiting to be received without blocking, or -1 when the question fails.
long Available(Handle connection);

constexpr long kReceiveError = -1;
constexpr long kReceiveTimeout = -2;
// Sends what the connection takes of `size` bytes, waiting at most `waitMs` for room. Returns
// the count sent, kReceiveTimeout when there was no room, or kReceiveError.
long SendSome(Handle connection, const char* data, std::size_t size, unsigned waitMs);

// Receives up to `size` bytes, waiting at most `waitMs` for some to arrive. Returns the count,
// 0 when the peer closed the connection, kReceiveTimeout or kReceiveError.
long Receive(Handle connection, char* data, std::size_t size, unsigned waitMs);

void Close(Handle connection);

// Monotonic milliseconds and a sleep, for the transfer's polling and speed.
uint32_t TickMs();
void SleepMs(unsigned ms);

// The system's code of this thread's last failed socket call (WSAGetLastError, errno) and of its
// last failed file call (GetLastError, errno), 0 when it recorded none. A failing call of the
// shim leaves its own code there, whatever it cleaned up afterwards.
long SocketError();
long FileError();

}  // namespace kite::shim
