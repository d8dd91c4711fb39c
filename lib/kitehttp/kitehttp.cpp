#include "kitehttp.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "location.h"
#include "socket_shim.h"
#include "tls.h"

namespace kite {

namespace {

using DebugHook = void (*)(const std::string&);
std::atomic<DebugHook> debugHook{nullptr};
std::atomic<ReplaceFileHook> replaceFileHook{nullptr};
std::atomic<ErrorTextHook> errorTextHook{nullptr};

bool ReplaceFile(const std::string& from, const std::string& to) {
    const ReplaceFileHook hook = replaceFileHook.load();
    return hook && hook(from, to);
}

// Kept with the transfer as soon as the call failed: the callback and the log may make system
// calls of their own before anyone reads it.
void NoteSystemError(HttpTransfer& transfer, long code) {
    if (ErrorTextHook hook = errorTextHook.load())
        transfer.systemError = hook(code);
    else
        transfer.systemError = code == 0 ? std::string() : " (" + std::to_string(code) + ")";
}

// Chunks are handed to the file as they arrive; the C library gathers them into writes of this
// size, which halves the system calls per chunk (they dominate the cost of a fast transfer).
constexpr std::size_t kFileBufferSize = 65536;

// The status line must start this close to the beginning of the reply.
constexpr std::size_t kVersionSearchLength = 200;

uint32_t Now() { return shim::TickMs(); }

bool Cancelled(const HttpTransfer& transfer) {
    return transfer.cancel != nullptr && transfer.cancel->load();
}

// The connection's bytes, decrypted first when the transfer is secure.
long Waiting(const HttpTransfer& transfer) {
    if (transfer.session != 0) {
        const long pending = tls::Pending(transfer.session);
        if (pending > 0) return pending;
    }
    return shim::Available(transfer.connection);
}

long Receive(HttpTransfer& transfer, char* into, std::size_t room, unsigned waitMs,
             bool& clean) {
    if (transfer.session != 0) return tls::Receive(transfer.session, into, room, waitMs, clean);
    clean = true;
    return shim::Receive(transfer.connection, into, room, waitMs);
}

// The value of a head line named `name` (lower case; matched in any case), blanks trimmed.
std::string HeaderValue(const char* data, std::size_t from, std::size_t to, const char* name) {
    const std::size_t length = std::strlen(name);
    for (std::size_t i = from; i + length + 2 <= to; ++i) {
        if (data[i] != '\r' || data[i + 1] != '\n') continue;
        std::size_t j = 0;
        while (j < length && std::tolower(static_cast<unsigned char>(data[i + 2 + j])) == name[j])
            ++j;
        if (j < length) continue;
        std::size_t start = i + 2 + length, end = start;
        while (end < to && data[end] != '\r' && data[end] != '\n') ++end;
        while (start < end && (data[start] == ' ' || data[start] == '\t')) ++start;
        while (end > start && (data[end - 1] == ' ' || data[end - 1] == '\t')) --end;
        return std::string(data + start, end - start);
    }
    return std::string();
}

// Position of `needle` in text[from, end), or -1.
long FindIn(const char* text, std::size_t from, std::size_t end, const char* needle) {
    std::size_t length = std::strlen(needle);
    for (std::size_t i = from; i + length <= end; ++i)
        if (std::memcmp(text + i, needle, length) == 0) return static_cast<long>(i);
    return -1;
}

// A number as the reply head writes it: blanks and tabs, an optional sign, the leading digits;
// 0 when there are none. Absurd values are clamped instead of overflowing.
int32_t LeadingNumber(const char* p, const char* end) {
    while (p < end && (*p == ' ' || *p == '\t')) ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    long long value = 0;
    for (; p < end && *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > 2147483647LL) value = 2147483647LL;
    }
    return static_cast<int32_t>(negative ? -value : value);
}

// The body file of one transfer.
struct BodyFile {
    std::string partName;
    std::FILE* file = nullptr;
    bool created = false;  // by this transfer, so ours to delete if the transfer fails
    std::vector<char> writeBuffer;  // the C library's buffer for `file`; outlives it
    long error = 0;                 // the system's code of the file call that failed

    bool Open(const std::string& localFile) {
        partName = localFile + ".part";
        file = std::fopen(partName.c_str(), "wb");
        created = file != nullptr;
        if (file) {
            writeBuffer.resize(kFileBufferSize);
            std::setvbuf(file, writeBuffer.data(), _IOFBF, writeBuffer.size());
        } else {
            error = shim::FileError();
        }
        return created;
    }
    bool Write(const char* data, std::size_t size) {
        if (size == 0 || std::fwrite(data, 1, size, file) == size) return true;
        error = shim::FileError();
        return false;
    }
    bool Close() {
        bool ok = std::fclose(file) == 0;
        if (!ok) error = shim::FileError();
        file = nullptr;
        return ok;
    }
    bool ReplaceFinal(const std::string& localFile) {
        if (ReplaceFile(partName, localFile)) return true;
        error = shim::FileError();
        return false;
    }
};

void FailFile(HttpTransfer& transfer, const BodyFile& body) {
    NoteSystemError(transfer, body.error);
    SetTransferState(transfer, FileError);
    HttpDebug("KiteHTTP: Fileerror!" + transfer.systemError);
}

enum class HeadVerdict { NeedMore, Complete, Bad };

struct HeadLayout {
    std::size_t versionEnd = 0;  // just behind "HTTP/1.x"
    std::size_t bodyStart = 0;   // just behind the blank line
};

// The head is read as text, which ends at the first zero byte. It is judged once it holds its
// blank line, or once more bytes can no longer change the verdict.
HeadVerdict JudgeHead(const char* data, std::size_t have, bool closed, HeadLayout& layout) {
    const void* zero = std::memchr(data, 0, have);
    std::size_t textLength = zero ? static_cast<const char*>(zero) - data : have;
    bool final = closed || zero != nullptr || have >= static_cast<std::size_t>(kReceiveBufferSize);

    std::size_t versionArea = std::min(textLength, kVersionSearchLength);
    long version = FindIn(data, 0, versionArea, "HTTP/1.0");
    if (version < 0) version = FindIn(data, 0, versionArea, "HTTP/1.1");
    if (version < 0)
        return final || textLength >= kVersionSearchLength ? HeadVerdict::Bad
                                                           : HeadVerdict::NeedMore;
    layout.versionEnd = static_cast<std::size_t>(version) + 8;

    long blank = FindIn(data, layout.versionEnd, textLength, "\r\n\r\n");
    if (blank < 0) return final ? HeadVerdict::Bad : HeadVerdict::NeedMore;
    layout.bodyStart = static_cast<std::size_t>(blank) + 4;
    return HeadVerdict::Complete;
}

// Acts on a complete head of `have` bytes: length, status, body file and the body bytes that
// came with the head. True when the reply is a redirect the transfer follows.
bool HandleHead(HttpTransfer& transfer, BodyFile& body, std::size_t have,
                const HeadLayout& layout) {
    const char* data = transfer.buffer.data();
    long length = FindIn(data, layout.versionEnd, layout.bodyStart, "Content-Length:");
    if (length >= 0) {
        // The character after the colon (normally a blank) is skipped unread.
        std::size_t from = std::min(static_cast<std::size_t>(length) + 16, layout.bodyStart);
        long lineEnd = FindIn(data, from, layout.bodyStart, "\r\n");
        std::size_t to = lineEnd < 0 ? layout.bodyStart : static_cast<std::size_t>(lineEnd);
        transfer.contentLength = LeadingNumber(data + from, data + to);
    }
    transfer.status = LeadingNumber(data + layout.versionEnd + 1, data + layout.versionEnd + 4);
    // From the status line's end on: the blank line's first CR LF closes the last line.
    transfer.location = HeaderValue(data, layout.versionEnd, layout.bodyStart - 2, "location:");
    const bool moved = IsRedirectStatus(transfer.status) && !transfer.location.empty();
    if (moved && transfer.followRedirects) {
        SetTransferState(transfer, Redirect);
        return true;
    }

    if (transfer.status == 200) {
        if (!transfer.localFile.empty()) body.Open(transfer.localFile);
        SetTransferState(transfer, Header);
    } else if ((transfer.status >= 300 && transfer.status <= 302) || moved) {
        // The redirect's own body is the result: callers recognise redirect pages by content.
        HttpDebug("KiteHTTP: 302 -> Redirect");
        SetTransferState(transfer, Redirect);
        body.Open(transfer.localFile);
        SetTransferState(transfer, Header);
    } else {
        SetTransferState(transfer, BadReply);
        return false;
    }
    if (!body.file) {
        NoteSystemError(transfer, body.error);
        SetTransferState(transfer, FileError);
        return false;
    }
    HttpDebug("KiteHTTP: Writing HeaderData");
    transfer.received = static_cast<int32_t>(have - layout.bodyStart);
    if (!body.Write(data + layout.bodyStart, have - layout.bodyStart)) FailFile(transfer, body);
    return false;
}

// The server is done: the body file replaces localFile only when it is whole. Over TLS, a
// stream that ended without TLS's own close is whole only when it had its announced length.
void FinishBody(HttpTransfer& transfer, BodyFile& body, bool clean = true) {
    if (transfer.contentLength > 0 && transfer.received < transfer.contentLength) {
        SetTransferState(transfer, NetworkFailure);
        return;
    }
    if (!clean && transfer.contentLength <= 0) {
        HttpDebug("KiteHTTP: connection closed without TLS close: the reply may be cut");
        SetTransferState(transfer, NetworkFailure);
        return;
    }
    if (!body.Close() || !body.ReplaceFinal(transfer.localFile)) {
        FailFile(transfer, body);
        return;
    }
    body.created = false;  // it has become localFile
    SetTransferState(transfer, Finished);
    HttpDebug("KiteHTTP: ** FINISHED **");
}

// Receives the whole reply once data is waiting; returns with a final state, or true when the
// reply is a redirect the transfer follows.
bool ReceiveReply(HttpTransfer& transfer, BodyFile& body) {
    char* data = transfer.buffer.data();
    const std::size_t capacity = transfer.buffer.size();
    std::size_t have = 0;  // bytes of the head read so far
    bool headDone = false;

    while (transfer.state < Finished) {
        if (Cancelled(transfer)) {
            SetTransferState(transfer, NetworkFailure);
            return false;
        }
        uint32_t idle = TicksBetween(transfer.lastActivity, Now());
        if (idle > kIdleLimitMs) {
            // A server that sent every announced byte but keeps the line open has delivered.
            if (headDone && body.file && transfer.contentLength > 0 &&
                transfer.received >= transfer.contentLength)
                FinishBody(transfer, body);
            else
                SetTransferState(transfer, NetworkFailure);
            return false;
        }
        unsigned wait = std::min<uint32_t>(kPollIntervalMs, kIdleLimitMs + 1 - idle);

        char* into = headDone ? data : data + have;
        std::size_t room = headDone ? capacity : kReceiveBufferSize - have;
        bool clean = true;
        long n = Receive(transfer, into, room, wait, clean);
        if (n == shim::kReceiveTimeout) continue;
        if (n < 0) {
            // Over TLS the failure may be the protocol's, and the socket's code an old one.
            if (transfer.session == 0) NoteSystemError(transfer, shim::SocketError());
            SetTransferState(transfer, NetworkFailure);
            return false;
        }

        if (!headDone) {
            if (n > 0) {
                have += static_cast<std::size_t>(n);
                transfer.lastActivity = Now();
            }
            HeadLayout layout;
            HeadVerdict verdict = JudgeHead(data, have, n == 0, layout);
            if (verdict == HeadVerdict::NeedMore) continue;
            headDone = true;
            if (verdict == HeadVerdict::Bad)
                SetTransferState(transfer, BadReply);
            else if (HandleHead(transfer, body, have, layout))
                return true;
            continue;
        }

        if (n == 0) {
            FinishBody(transfer, body, clean);
            return false;
        }
        for (long at = 0; at < n && transfer.state < Finished; at += kReceiveBufferSize) {
            const long chunk = std::min<long>(kReceiveBufferSize, n - at);
            transfer.received = static_cast<int32_t>(static_cast<uint32_t>(transfer.received) +
                                                     static_cast<uint32_t>(chunk));
            SetTransferState(transfer, Data);
            if (!body.file || !body.Write(data + at, static_cast<std::size_t>(chunk))) {
                FailFile(transfer, body);
                break;
            }
            uint32_t now = Now();
            transfer.speed =
                TransferSpeed(transfer.received, TicksBetween(transfer.startTime, now));
            transfer.lastActivity = now;
        }
    }
    return false;
}

// One request and its reply, on a connection of its own; true when the reply is a redirect
// the transfer follows (transfer.location tells where).
bool FetchOnce(HttpTransfer& transfer) {
    transfer.contentLength = 0;
    transfer.location.clear();
    transfer.systemError.clear();
    SetTransferState(transfer, Init);

    transfer.connection = shim::Connect(transfer.host, transfer.secure ? transfer.port : kHttpPort);
    if (transfer.connection == 0) {
        NoteSystemError(transfer, shim::SocketError());
        SetTransferState(transfer, NetworkFailure);
        return false;
    }
    SetTransferState(transfer, Connected);
    HttpDebug("KiteHTTP: * Connected");
    if (transfer.secure) {
        std::string why;
        transfer.session =
            tls::Open(transfer.connection, transfer.host, transfer.port, kIdleLimitMs,
                      transfer.cancel, why);
        if (transfer.session == 0) {
            HttpDebug("KiteHTTP: " + why);
            shim::Close(transfer.connection);
            transfer.connection = 0;
            SetTransferState(transfer, NetworkFailure);
            return false;
        }
        if (tls::Resumed(transfer.session)) HttpDebug("KiteHTTP: * TLS session resumed");
        HttpDebug("KiteHTTP: * TLS " + tls::Description(transfer.session) +
                  ", certificate trusted");
    }
    transfer.buffer.assign(kSocketReadSize, 0);
    transfer.startTime = transfer.lastActivity = Now();

    const std::string request = BuildRequest(transfer);
    if (transfer.session != 0) {
        // Unlike a plain send, TLS may need several writes; one that fails ends the transfer
        // when no reply comes.
        tls::Send(transfer.session, request.data(), request.size(), kIdleLimitMs);
    } else {
        shim::Send(transfer.connection, request.data(), request.size());
    }
    HttpDebug("KiteHTTP: * Sending Request");
    HttpDebug("KiteHTTP: * Waiting for Reply");

    BodyFile body;
    bool follow = false;
    while (transfer.state < Finished && !follow) {
        if (Cancelled(transfer)) {
            SetTransferState(transfer, NetworkFailure);
            break;
        }
        long waiting = Waiting(transfer);
        if (waiting < 0) {
            NoteSystemError(transfer, shim::SocketError());
            SetTransferState(transfer, NetworkFailure);
            break;
        }
        if (waiting > 0) {
            HttpDebug("KiteHTTP: * Receiving...");
            follow = ReceiveReply(transfer, body);
            if (follow) break;
        } else {
            SetTransferState(transfer, Idle);
            HttpDebug("KiteHTTP: - IDLE -");
        }
        if (transfer.state < Finished &&
            TicksBetween(transfer.lastActivity, Now()) > kIdleLimitMs)
            SetTransferState(transfer, NetworkFailure);
        if (transfer.state < Finished)
            shim::SleepMs(kPollIntervalMs);
    }

    // Only a finished transfer replaces localFile; anything else leaves it as it was.
    if (body.file) body.Close();
    if (body.created) std::remove(body.partName.c_str());
    std::vector<char>().swap(transfer.buffer);
    if (transfer.session != 0) tls::Close(transfer.session);
    transfer.session = 0;
    shim::Close(transfer.connection);
    transfer.connection = 0;
    return follow;
}

std::string PortOf(const std::string& url) {
    const std::size_t scheme = url.find("://");
    if (scheme == std::string::npos) return std::string();
    const std::size_t start = scheme + 3;
    const std::size_t slash = url.find('/', start);
    const std::string authority = url.substr(start, slash == std::string::npos ? slash : slash - start);
    const std::size_t colon = authority.find(':', authority.rfind('@') + 1);
    return colon == std::string::npos ? std::string() : authority.substr(colon + 1);
}

}  // namespace

bool StartNetwork() {
    // Without TLS plain transfers still work; an https one tries to start it again.
    tls::Startup();
    return shim::Startup();
}

void SetTransferUrl(HttpTransfer& transfer, const std::string& url) {
    transfer.host = SplitUrl(url, 0);
    transfer.target = SplitUrl(url, 1);
    transfer.secure = IsHttpsUrl(url);
    transfer.port = transfer.secure ? kHttpsPort : kHttpPort;
    const std::string port = PortOf(url);
    if (transfer.secure && !port.empty()) {
        long value = 0;
        for (char c : port) value = c >= '0' && c <= '9' && value < 65536 ? value * 10 + (c - '0') : 65536;
        // A port that is none makes the connection fail, never another port.
        transfer.port = value > 0 && value < 65536 ? static_cast<int>(value) : 0;
    }
}

std::string TransferUrl(const HttpTransfer& transfer) {
    std::string url = transfer.secure ? "https://" : "http://";
    url += transfer.host;
    if (transfer.secure && transfer.port != kHttpsPort) url += ":" + std::to_string(transfer.port);
    return url + (transfer.target.empty() ? std::string("/") : transfer.target);
}

void SetTransferState(HttpTransfer& transfer, int state) {
    transfer.state = state;
    if (transfer.callback) transfer.callback(&transfer);
}

std::string BuildRequest(const HttpTransfer& transfer) {
    // Hand-written pages link "my plugin.zip"; a raw blank would end the request's target early.
    std::string target;
    for (char c : transfer.target.size() < 2 ? std::string("/") : transfer.target)
        target += c == ' ' ? std::string("%20") : std::string(1, c);
    std::string host = transfer.host;
    if (transfer.secure && transfer.port != kHttpsPort) host += ":" + std::to_string(transfer.port);
    return "GET " + target + " HTTP/1.0\r\n" + "host: " + host + "\r\n" +
           "Connection: Close\r\n" +
           "User-Agent: Mozilla/5.0 (compatible; QVK/1.5.0.0; Windows) \r\n" + "\r\n";
}

std::string SplitUrl(const std::string& url, int part) {
    std::size_t scheme = url.find("://");
    std::size_t rest = scheme == std::string::npos ? 0 : scheme + 3;
    std::size_t slash = url.find('/', rest);

    if (part == 0) {
        if (scheme == std::string::npos) return std::string();
        // Only an "@" before the path separates user information; one in the path is data.
        std::size_t start = rest;
        std::size_t at = url.find('@', rest);
        if (at != std::string::npos && (slash == std::string::npos || at < slash)) start = at + 1;
        std::size_t end = url.find_first_of(":/", start);
        return url.substr(start, end == std::string::npos ? std::string::npos : end - start);
    }
    if (part != 1) return std::string();

    std::string path;
    if (slash != std::string::npos) {
        std::size_t question = url.find('?', slash + 1);
        path = url.substr(slash + 1, question == std::string::npos ? std::string::npos
                                                                   : question - slash - 1);
    }
    std::string target = "/" + path;
    std::size_t question = url.find('?');
    if (question != std::string::npos && question + 1 < url.size())
        target += "?" + url.substr(question + 1);
    return target;
}

void SetSystemHooks(ReplaceFileHook replaceFile, ErrorTextHook errorText) {
    replaceFileHook.store(replaceFile);
    errorTextHook.store(errorText);
}

void HttpDebug(const std::string& text, void (*hook)(const std::string&)) {
    if (text.empty() && hook) {
        debugHook.store(hook);
        return;
    }
    if (DebugHook registered = debugHook.load()) registered(text);
}

float TransferSpeed(int32_t received, uint32_t elapsedMs) {
    double seconds = static_cast<double>(std::max<uint32_t>(elapsedMs, 1)) / 1000.0;
    return static_cast<float>(static_cast<double>(received) / seconds / 1024.0);
}

int HttpGet(HttpTransfer& transfer) {
    transfer.redirects = 0;
    while (FetchOnce(transfer)) {
        const std::string from = TransferUrl(transfer);
        const std::string to = ResolveLocation(from, transfer.location);
        const HopVerdict verdict = CheckHop(from, to, transfer.redirects);
        if (verdict != HopVerdict::Follow) {
            HttpDebug(HopRefusal(verdict));
            SetTransferState(transfer, BadReply);
            break;
        }
        HttpDebug("KiteHTTP: * Redirected to " + to);
        ++transfer.redirects;
        SetTransferUrl(transfer, to);
    }
    return transfer.state;
}

}  // namespace kite
