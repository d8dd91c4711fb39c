#include "tls.h"

#include <wolfssl/options.h>
#include <wolfssl/ssl.h>
#include <wolfssl/wolfcrypt/ecc.h>
#include <wolfssl/wolfcrypt/error-crypt.h>
#include <wolfssl/wolfcrypt/wc_port.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <vector>

#include "trust.h"

namespace kite::tls {

namespace {

// The handshake polls at this pace, like the transfer itself.
constexpr unsigned kHandshakePollMs = 10;
// wolfSSL asks for a record's head, then for its body: two receives per 16 KB record, each a
// round trip to the wineserver under Wine. The bytes are taken from the system in blocks of
// this size instead and handed out from there.
constexpr std::size_t kReadAhead = 65536;

WOLFSSL_CTX* context = nullptr;

// What the I/O callbacks of one session work with.
struct Channel {
    shim::Handle connection = 0;
    unsigned waitMs = kHandshakePollMs;  // how long one receive may wait
    uint32_t lastActivity = 0;           // tick count of the last byte either way
    bool peerClosed = false;             // the TCP stream ended
    std::vector<char> ahead;             // received, not yet taken by wolfSSL
    std::size_t aheadAt = 0;             // the first byte of `ahead` not yet taken
};

struct SessionData {
    WOLFSSL* ssl = nullptr;
    Channel channel;
    std::string server;    // "host:port", the key of its kept session
    bool trusted = false;  // its chain was accepted, so its session may be kept
};

// Resumption and trust: a session is kept only once its chain was accepted, and offered only
// to the same host name and port. That alone is not enough: a server that shares its ticket
// keys with others (common behind one front end) would resume, as itself, a session another
// server's certificate was judged for. So the chain is also judged again on every connection,
// resumed or not: a resumed session carries the chain of its first handshake (wolfSSL keeps it
// with the session), and that chain meets today's roots, dates and host name. A root taken out
// of the store since is thus refused as on a full handshake.
//
// The sessions of this run, the last one of each server. Transfers run on several threads at
// once: every use of `last` is under `lock`, and wolfSSL_set_session copies the session into
// the connection, so a kept one is only ever read while it is shared.
struct SessionCache {
    wolfSSL_Mutex lock;
    std::map<std::string, WOLFSSL_SESSION*> last;
};

// Made on first use and never freed: a transfer's thread may still be closing its session
// while the program ends.
SessionCache& Cache() {
    static SessionCache* const cache = [] {
        auto* made = new SessionCache;
        wc_InitMutex(&made->lock);
        return made;
    }();
    return *cache;
}

// A session the server no longer knows, or one too old (refused here), leaves a full
// handshake; either way the connection goes on as a first one.
void OfferKept(WOLFSSL* ssl, const std::string& server) {
    SessionCache& cache = Cache();
    wc_LockMutex(&cache.lock);
    const auto kept = cache.last.find(server);
    if (kept != cache.last.end()) wolfSSL_set_session(ssl, kept->second);
    wc_UnLockMutex(&cache.lock);
}

// Called at the end of the connection: under TLS 1.3 the server's tickets come after the
// handshake, with the reply.
void Keep(WOLFSSL* ssl, const std::string& server) {
    WOLFSSL_SESSION* session = wolfSSL_get1_session(ssl);
    if (!session) return;
    SessionCache& cache = Cache();
    wc_LockMutex(&cache.lock);
    std::swap(cache.last[server], session);
    wc_UnLockMutex(&cache.lock);
    if (session) wolfSSL_SESSION_free(session);
}

SessionData* Data(Session session) { return reinterpret_cast<SessionData*>(session); }

int ReceiveCallback(WOLFSSL*, char* buffer, int size, void* state) {
    Channel& channel = *static_cast<Channel*>(state);
    if (channel.aheadAt == channel.ahead.size()) {
        channel.ahead.resize(kReadAhead);
        const long n = shim::Receive(channel.connection, channel.ahead.data(), kReadAhead,
                                     channel.waitMs);
        channel.ahead.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        channel.aheadAt = 0;
        if (n <= 0) {
            if (n == shim::kReceiveTimeout) return WOLFSSL_CBIO_ERR_WANT_READ;
            if (n == 0) channel.peerClosed = true;
            return n == 0 ? WOLFSSL_CBIO_ERR_CONN_CLOSE : WOLFSSL_CBIO_ERR_GENERAL;
        }
        channel.lastActivity = shim::TickMs();
    }
    const std::size_t n =
        std::min(static_cast<std::size_t>(size), channel.ahead.size() - channel.aheadAt);
    std::memcpy(buffer, channel.ahead.data() + channel.aheadAt, n);
    channel.aheadAt += n;
    return static_cast<int>(n);
}

int SendCallback(WOLFSSL*, char* buffer, int size, void* state) {
    Channel& channel = *static_cast<Channel*>(state);
    const long n = shim::SendSome(channel.connection, buffer, static_cast<std::size_t>(size),
                                  channel.waitMs);
    if (n > 0) {
        channel.lastActivity = shim::TickMs();
        return static_cast<int>(n);
    }
    return n == shim::kReceiveTimeout ? WOLFSSL_CBIO_ERR_WANT_WRITE : WOLFSSL_CBIO_ERR_GENERAL;
}

std::string ErrorText(int code) {
    char text[WOLFSSL_MAX_ERROR_SZ] = {0};
    wolfSSL_ERR_error_string_n(static_cast<unsigned long>(code), text, sizeof text);
    return std::string(text) + " (" + std::to_string(code) + ")";
}

bool IsDottedAddress(const std::string& host) {
    if (host.empty()) return false;
    for (char c : host)
        if ((c < '0' || c > '9') && c != '.') return false;
    return true;
}

std::vector<std::string> PeerChain(WOLFSSL* ssl) {
    std::vector<std::string> chain;
    WOLFSSL_X509_CHAIN* peer = wolfSSL_get_peer_chain(ssl);
    const int count = peer ? wolfSSL_get_chain_count(peer) : 0;
    for (int i = 0; i < count; ++i) {
        const unsigned char* der = wolfSSL_get_chain_cert(peer, i);
        const int length = wolfSSL_get_chain_length(peer, i);
        if (der && length > 0) chain.emplace_back(reinterpret_cast<const char*>(der), length);
    }
    return chain;
}

// Every suite built in, those with ChaCha20-Poly1305 first: without the processor's AES
// instructions (which this build does not use) it is several times faster than AES-GCM, and a
// server that lets the client choose (nginx's default) then picks it.
std::string CipherPreference() {
    std::vector<char> names(8192, '\0');
    if (wolfSSL_get_ciphers(names.data(), static_cast<int>(names.size())) != WOLFSSL_SUCCESS)
        return std::string();
    std::string first, rest;
    std::size_t at = 0;
    const std::string all(names.data());
    while (at < all.size()) {
        std::size_t end = all.find(':', at);
        if (end == std::string::npos) end = all.size();
        const std::string name = all.substr(at, end - at);
        std::string& into = name.find("CHACHA20-POLY1305") != std::string::npos ? first : rest;
        if (!name.empty()) into += (into.empty() ? "" : ":") + name;
        at = end + 1;
    }
    return first.empty() || rest.empty() ? first + rest : first + ":" + rest;
}

}  // namespace

bool Startup() {
    if (context) return true;
    if (wolfSSL_Init() != WOLFSSL_SUCCESS) return false;
    WOLFSSL_CTX* made = wolfSSL_CTX_new(wolfSSLv23_client_method());
    if (!made) return false;
    // The chain is judged by the system's roots once the handshake is done (trust.h); wolfSSL
    // has no roots of its own to judge it with.
    wolfSSL_CTX_set_verify(made, WOLFSSL_VERIFY_NONE, nullptr);
    if (wolfSSL_CTX_SetMinVersion(made, WOLFSSL_TLSV1_2) != WOLFSSL_SUCCESS) {
        wolfSSL_CTX_free(made);
        return false;
    }
    const std::string ciphers = CipherPreference();
    if (!ciphers.empty()) wolfSSL_CTX_set_cipher_list(made, ciphers.c_str());
#ifdef HAVE_SESSION_TICKET
    // Tickets under TLS 1.2 too: many servers keep no sessions of their own (nginx's default).
    wolfSSL_CTX_UseSessionTicket(made);
#endif
    wolfSSL_CTX_SetIORecv(made, ReceiveCallback);
    wolfSSL_CTX_SetIOSend(made, SendCallback);
    context = made;
    return true;
}

Session Open(shim::Handle connection, const std::string& host, int port, uint32_t idleLimitMs,
             const std::atomic<bool>* cancel, std::string& why) {
    if (!context && !Startup()) {
        why = "TLS not available";
        return 0;
    }
    auto* data = new SessionData;
    data->channel.connection = connection;
    data->channel.lastActivity = shim::TickMs();
    data->server = host + ":" + std::to_string(port);
    data->ssl = wolfSSL_new(context);
    const Session session = reinterpret_cast<Session>(data);
    if (!data->ssl) {
        why = "TLS session not created";
        Close(session);
        return 0;
    }
    wolfSSL_SetIOReadCtx(data->ssl, &data->channel);
    wolfSSL_SetIOWriteCtx(data->ssl, &data->channel);
    // Names only: an address is no server name (RFC 6066).
    if (!IsDottedAddress(host) &&
        wolfSSL_UseSNI(data->ssl, WOLFSSL_SNI_HOST_NAME, host.data(),
                       static_cast<unsigned short>(host.size())) != WOLFSSL_SUCCESS) {
        why = "TLS server name not set";
        Close(session);
        return 0;
    }
    OfferKept(data->ssl, data->server);
    for (;;) {
        const int result = wolfSSL_connect(data->ssl);
        if (result == WOLFSSL_SUCCESS) break;
        const int error = wolfSSL_get_error(data->ssl, result);
        if (error != WOLFSSL_ERROR_WANT_READ && error != WOLFSSL_ERROR_WANT_WRITE) {
            why = data->channel.peerClosed ? "TLS handshake failed: connection closed by the server"
                                           : "TLS handshake failed: " + ErrorText(error);
            Close(session);
            return 0;
        }
        if (cancel && cancel->load()) {
            why = "TLS handshake cancelled";
            Close(session);
            return 0;
        }
        if (shim::TickMs() - data->channel.lastActivity > idleLimitMs) {
            why = "TLS handshake timed out";
            Close(session);
            return 0;
        }
    }
    const std::string refusal = trust::CheckServerChain(PeerChain(data->ssl), host);
    if (!refusal.empty()) {
        why = "certificate not trusted: " + refusal;
        Close(session);
        return 0;
    }
    data->trusted = true;
    return session;
}

bool Resumed(Session session) { return wolfSSL_session_reused(Data(session)->ssl) != 0; }

std::string Description(Session session) {
    WOLFSSL* ssl = Data(session)->ssl;
    const char* version = wolfSSL_get_version(ssl);
    const char* cipher = wolfSSL_get_cipher_name(ssl);
    return std::string(version ? version : "?") + ", " + (cipher ? cipher : "?");
}

bool Send(Session session, const char* data, std::size_t size, uint32_t idleLimitMs) {
    SessionData& s = *Data(session);
    s.channel.lastActivity = shim::TickMs();
    while (size > 0) {
        const int result = wolfSSL_write(s.ssl, data, static_cast<int>(size));
        if (result > 0) {
            data += result;
            size -= static_cast<std::size_t>(result);
            continue;
        }
        const int error = wolfSSL_get_error(s.ssl, result);
        if (error != WOLFSSL_ERROR_WANT_WRITE && error != WOLFSSL_ERROR_WANT_READ) return false;
        if (shim::TickMs() - s.channel.lastActivity > idleLimitMs) return false;
    }
    return true;
}

long Pending(Session session) {
    // Bytes read ahead but not yet decrypted count too: no system call would report them.
    const SessionData& s = *Data(session);
    const long decrypted = wolfSSL_pending(s.ssl);
    return decrypted > 0 ? decrypted : static_cast<long>(s.channel.ahead.size() - s.channel.aheadAt);
}

long Receive(Session session, char* data, std::size_t size, unsigned waitMs, bool& clean) {
    SessionData& s = *Data(session);
    s.channel.waitMs = waitMs;
    const int result = wolfSSL_read(s.ssl, data, static_cast<int>(size));
    if (result > 0) return result;
    const int error = wolfSSL_get_error(s.ssl, result);
    if (error == WOLFSSL_ERROR_WANT_READ || error == WOLFSSL_ERROR_WANT_WRITE)
        return shim::kReceiveTimeout;
    if (error == WOLFSSL_ERROR_ZERO_RETURN) {
        clean = true;
        return 0;
    }
    if (s.channel.peerClosed) {
        clean = false;
        return 0;
    }
    return shim::kReceiveError;
}

void Close(Session session) {
    SessionData* data = Data(session);
    if (!data) return;
    if (data->ssl && data->trusted) Keep(data->ssl, data->server);
    if (data->ssl) wolfSSL_free(data->ssl);
    delete data;
#ifdef FP_ECC
    // Such a build (Debian's) keeps ECC points per thread, lost when a transfer's thread ends.
    wc_ecc_fp_free();
#endif
}

}  // namespace kite::tls
