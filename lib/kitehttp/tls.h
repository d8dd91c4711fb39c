// KiteHTTP's TLS: a wolfSSL client session over one open connection of the socket shim, TLS 1.2
// or 1.3 with the host name sent (SNI). The server's certificate chain is judged by the
// system's trust (trust.h) before a byte of the request is sent; wolfSSL does not judge it.
// A server met before in this run (same host name and port) is offered the session of the last
// connection to it, which saves a round trip when it resumes it; any thread may open sessions.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "socket_shim.h"

namespace kite::tls {

// An open TLS session; 0 is never a valid one.
using Session = std::intptr_t;

// Once, before any session: the library and the one client context all sessions share.
bool Startup();

// Handshake and certificate check for `host` at `port` over `connection`, which stays the
// caller's. Gives up when no byte came for `idleLimitMs`, or once `cancel` is set. Returns 0
// and the reason (a log line without its "KiteHTTP: ") on failure.
Session Open(shim::Handle connection, const std::string& host, int port, uint32_t idleLimitMs,
             const std::atomic<bool>* cancel, std::string& why);

// Whether the server resumed the session of an earlier connection.
bool Resumed(Session session);

// The protocol and cipher agreed on, for the log.
std::string Description(Session session);

// Sends the whole text, waiting while the connection cannot take more; false on failure.
bool Send(Session session, const char* data, std::size_t size, uint32_t idleLimitMs);

// Decrypted bytes held by the session, ready without a receive.
long Pending(Session session);

// As shim::Receive, on the decrypted stream. 0 when it ended: `clean` tells whether the server
// ended it with TLS's own close (a bare TCP close could be a cut made by someone else).
long Receive(Session session, char* data, std::size_t size, unsigned waitMs, bool& clean);

// Frees the session, kept first for the next connection to that server when its certificate
// was trusted; the connection is left open for its owner to close.
void Close(Session session);

}  // namespace kite::tls
