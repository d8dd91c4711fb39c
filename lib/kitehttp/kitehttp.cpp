#include "kitehttp.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "socket_shim.h"

namespace kite {

namespace {

using DebugHook = void (*)(const std::string&);
std::atomic<DebugHook> debugHook{nullptr};

// Chunks are handed to the file as they arrive; the C library gathers them into writes of this
// size, which halves the system calls per chunk (they dominate the cost of a fast transfer).
constexpr std::size_t kFileBufferSize = 65536;

// The status line must start this close to the beginning of the reply.
constexpr std::size_t kVersionSearchLength = 200;

uint32_t Now() { return shim::TickMs(); }

bool Cancelled(const HttpTransfer& transfer) {
    return transfer.cancel != nullptr && transfer.cancel->load();
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

    bool Open(const std::string& localFile) {
        partName = localFile + ".part";
        file = std::fopen(partName.c_str(), "wb");
        created = file != nullptr;
        if (file) {
            writeBuffer.resize(kFileBufferSize);
            std::setvbuf(file, writeBuffer.data(), _IOFBF, writeBuffer.size());
        }
        return created;
    }
    bool Write(const char* data, std::size_t size) {
        return size == 0 || std::fwrite(data, 1, size, file) == size;
    }
    bool Close() {
        bool ok = std::fclose(file) == 0;
        file = nullptr;
        return ok;
    }
};

void FailFile(HttpTransfer& transfer) {
    SetTransferState(transfer, FileError);
    HttpDebug("KiteHTTP: Fileerror!");
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
// came with the head.
void HandleHead(HttpTransfer& transfer, BodyFile& body, std::size_t have,
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

    if (transfer.status == 200) {
        if (!transfer.localFile.empty()) body.Open(transfer.localFile);
        SetTransferState(transfer, Header);
    } else if (transfer.status >= 300 && transfer.status <= 302) {
        // The redirect's own body is the result: callers recognise redirect pages by content.
        HttpDebug("KiteHTTP: 302 -> Redirect");
        SetTransferState(transfer, Redirect);
        body.Open(transfer.localFile);
        SetTransferState(transfer, Header);
    } else {
        SetTransferState(transfer, BadReply);
        return;
    }
    if (!body.file) {
        SetTransferState(transfer, FileError);
        return;
    }
    HttpDebug("KiteHTTP: Writing HeaderData");
    transfer.received = static_cast<int32_t>(have - layout.bodyStart);
    if (!body.Write(data + layout.bodyStart, have - layout.bodyStart)) FailFile(transfer);
}

// The server is done: the body file replaces localFile only when it is whole.
void FinishBody(HttpTransfer& transfer, BodyFile& body) {
    if (transfer.contentLength > 0 && transfer.received < transfer.contentLength) {
        SetTransferState(transfer, NetworkFailure);
        return;
    }
    if (!body.Close() || !shim::MoveFileOver(body.partName, transfer.localFile)) {
        FailFile(transfer);
        return;
    }
    body.created = false;  // it has become localFile
    SetTransferState(transfer, Finished);
    HttpDebug("KiteHTTP: ** FINISHED **");
}

// Receives the whole reply once data is waiting; returns with a final state.
void ReceiveReply(HttpTransfer& transfer, BodyFile& body) {
    char* data = transfer.buffer.data();
    const std::size_t capacity = transfer.buffer.size();
    std::size_t have = 0;  // bytes of the head read so far
    bool headDone = false;

    while (transfer.state < Finished) {
        if (Cancelled(transfer)) {
            SetTransferState(transfer, NetworkFailure);
            return;
        }
        uint32_t idle = TicksBetween(transfer.lastActivity, Now());
        if (idle > kIdleLimitMs) {
            // A server that sent every announced byte but keeps the line open has delivered.
            if (headDone && body.file && transfer.contentLength > 0 &&
                transfer.received >= transfer.contentLength)
                FinishBody(transfer, body);
            else
                SetTransferState(transfer, NetworkFailure);
            return;
        }
        unsigned wait = std::min<uint32_t>(kPollIntervalMs, kIdleLimitMs + 1 - idle);

        char* into = headDone ? data : data + have;
        std::size_t room = headDone ? capacity : kReceiveBufferSize - have;
        long n = shim::Receive(transfer.connection, into, room, wait);
        if (n == shim::kReceiveTimeout) continue;
        if (n < 0) {
            SetTransferState(transfer, NetworkFailure);
            return;
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
            else
                HandleHead(transfer, body, have, layout);
            continue;
        }

        if (n == 0) {
            FinishBody(transfer, body);
            return;
        }
        for (long at = 0; at < n && transfer.state < Finished; at += kReceiveBufferSize) {
            const long chunk = std::min<long>(kReceiveBufferSize, n - at);
            transfer.received = static_cast<int32_t>(static_cast<uint32_t>(transfer.received) +
                                                     static_cast<uint32_t>(chunk));
            SetTransferState(transfer, Data);
            if (!body.file || !body.Write(data + at, static_cast<std::size_t>(chunk))) {
                FailFile(transfer);
                break;
            }
            uint32_t now = Now();
            transfer.speed =
                TransferSpeed(transfer.received, TicksBetween(transfer.startTime, now));
            transfer.lastActivity = now;
        }
    }
}

}  // namespace

bool StartNetwork() { return shim::Startup(); }

void SetTransferState(HttpTransfer& transfer, int state) {
    transfer.state = state;
    if (transfer.callback) transfer.callback(&transfer);
}

std::string BuildRequest(const HttpTransfer& transfer) {
    const std::string& target = transfer.target.size() < 2 ? std::string("/") : transfer.target;
    return "GET " + target + " HTTP/1.0\r\n" + "host: " + transfer.host + "\r\n" +
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
    transfer.contentLength = 0;
    SetTransferState(transfer, Init);

    transfer.connection = shim::Connect(transfer.host, kHttpPort);
    if (transfer.connection == 0) {
        SetTransferState(transfer, NetworkFailure);
        return transfer.state;
    }
    SetTransferState(transfer, Connected);
    HttpDebug("KiteHTTP: * Connected");
    transfer.buffer.assign(kSocketReadSize, 0);
    transfer.startTime = transfer.lastActivity = Now();

    const std::string request = BuildRequest(transfer);
    shim::Send(transfer.connection, request.data(), request.size());
    HttpDebug("KiteHTTP: * Sending Request");
    HttpDebug("KiteHTTP: * Waiting for Reply");

    BodyFile body;
    while (transfer.state < Finished) {
        if (Cancelled(transfer)) {
            SetTransferState(transfer, NetworkFailure);
            break;
        }
        long waiting = shim::Available(transfer.connection);
        if (waiting < 0) {
            SetTransferState(transfer, NetworkFailure);
            break;
        }
        if (waiting > 0) {
            HttpDebug("KiteHTTP: * Receiving...");
            ReceiveReply(transfer, body);
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
    shim::Close(transfer.connection);
    transfer.connection = 0;
    return transfer.state;
}

}  // namespace kite
