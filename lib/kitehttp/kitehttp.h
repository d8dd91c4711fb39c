// KiteHTTP: a small blocking HTTP/1.0 client that fetches one URL into one file.
//
// One fresh TCP connection per transfer: to port 80 for http, through TLS (tls.h) to port 443 or
// the address's own port for https, after the server's certificate was checked; the reply body is streamed into
// localFile + ".part", which replaces localFile only when the whole reply arrived and the
// server closed the connection. Every state change is reported to the transfer's callback;
// diagnostic lines (all beginning with "KiteHTTP: ") go to the hook registered with HttpDebug.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kite {

constexpr int kHttpPort = 80;
constexpr int kHttpsPort = 443;
// Redirect replies followed for one transfer before it fails.
constexpr int kMaxRedirects = 5;
// The transfer handles the reply in chunks of at most this size: the reply head must lie within
// the first, and every further chunk is one Data state and one callback.
constexpr int kReceiveBufferSize = 4096;
// One receive from the system takes up to this much and hands it on chunk by chunk. Under Wine
// every receive is a round trip to the wineserver: 4096-byte receives held a loopback download
// to about a tenth of curl's speed.
constexpr int kSocketReadSize = 65536;
constexpr unsigned kPollIntervalMs = 10;
// A transfer fails once more than this many milliseconds passed without a byte.
constexpr uint32_t kIdleLimitMs = 10000;

// The numbers are a contract with the callers: 6 means success and the loops end at 6 or more.
enum TransferState {
    Init = 0,
    Connected = 1,
    Header = 2,
    Data = 3,
    Redirect = 4,
    Idle = 5,
    Finished = 6,
    NetworkFailure = 7,
    BadReply = 8,
    FileError = 9
};

// One transfer. Owned by the caller and reused from one transfer to the next without being
// cleared: fields keep their values until the next transfer sets them.
struct HttpTransfer {
    std::function<void(HttpTransfer*)> callback;  // called after every state change
    std::intptr_t connection = 0;                 // 0 while no connection is open
    std::string host;                             // host name or dotted address
    std::string target;                           // "/" + path [+ "?" + query]
    std::string localFile;                        // final file; the body goes to localFile + ".part"
    int32_t state = Init;
    uint8_t showName = 0;                         // read by the progress callback only
    int32_t status = 0;                           // status code of the reply
    int32_t contentLength = 0;                    // the reply's "Content-Length:", 0 when absent
    std::vector<char> buffer;                     // kSocketReadSize bytes while connected
    int32_t received = 0;                         // body bytes received so far
    uint32_t startTime = 0;                       // tick count (ms) when the connection opened
    uint32_t lastActivity = 0;                    // tick count of the last byte received
    float speed = 0.0f;                           // KB/s since the connection opened
    // When set and true, the transfer stops at its next poll or chunk with state 7.
    const std::atomic<bool>* cancel = nullptr;
    bool secure = false;                          // https: TLS, certificate checked
    int port = kHttpPort;                         // connected to; http always uses port 80
    std::intptr_t session = 0;                    // the TLS session over `connection`, or 0
    // With true, a 301, 302, 303, 307 or 308 reply with a "Location:" is not the result: the
    // transfer goes on from there (at most kMaxRedirects times, never from https to http).
    // Without, such a reply's body is the result, as a 300 to 302 reply's always is when it
    // has no location, and `location` tells the caller where it points.
    bool followRedirects = false;
    std::string location;                         // the last reply's "Location:", as sent
    int redirects = 0;                            // redirects followed by this transfer
    // What the system said of the socket or file call that failed this transfer, in the form
    // of the error text hook (" (10061: ...)"); empty when no system call failed.
    std::string systemError;
};

// Starts the platform's network layer (Windows Sockets 1.1); true when it is usable.
bool StartNetwork();

// Runs the whole exchange on the calling thread and returns the final state (6 to 9).
int HttpGet(HttpTransfer& transfer);

// Stores the state, then calls the transfer's callback, if any.
void SetTransferState(HttpTransfer& transfer, int state);

// The request text, byte for byte as it goes on the wire; a blank in the target goes as "%20".
std::string BuildRequest(const HttpTransfer& transfer);

// With `part` 0: the host of an absolute URL; with 1: the request target; otherwise "".
std::string SplitUrl(const std::string& url, int part);

// Fills the transfer's host, target, secure flag and port from an absolute http:// or
// https:// URL. A port written in an https URL is used; an http transfer keeps port 80.
void SetTransferUrl(HttpTransfer& transfer, const std::string& url);

// The URL a transfer fetches, as SetTransferUrl would take it back.
std::string TransferUrl(const HttpTransfer& transfer);

// With an empty text and a hook: registers the hook. Otherwise hands the text to the
// registered hook, or drops it when none is registered.
void HttpDebug(const std::string& text, void (*hook)(const std::string&) = nullptr);

// The program's own file replacement (puts `from` in the place of `to` in one step; false with
// the system's last error kept on failure) and its text of a system error code for the log
// (" (5: Access is denied.)", "" for 0). Registered once at start-up, before any transfer, as the
// debug hook is. Until then no body can take localFile's place (a file error) and a code shows
// bare.
using ReplaceFileHook = bool (*)(const std::string& from, const std::string& to);
using ErrorTextHook = std::string (*)(long code);
void SetSystemHooks(ReplaceFileHook replaceFile, ErrorTextHook errorText);

// Milliseconds from `then` to `now` on the 32-bit tick counter, correct across its wrap.
inline uint32_t TicksBetween(uint32_t then, uint32_t now) { return now - then; }

// Average speed in KB/s; finite also when no time has passed.
float TransferSpeed(int32_t received, uint32_t elapsedMs);

}  // namespace kite
