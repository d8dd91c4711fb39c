// http_bench URL FILE: one HttpGet of URL into FILE, timed around the call alone (no process
// start). Prints "<final state> <bytes received> <seconds>".
#include <chrono>
#include <cstdio>

#include "kitehttp.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: http_bench URL FILE\n");
        return 2;
    }
    if (!kite::StartNetwork()) return 2;
    kite::HttpTransfer transfer;
    transfer.host = kite::SplitUrl(argv[1], 0);
    transfer.target = kite::SplitUrl(argv[1], 1);
    transfer.localFile = argv[2];
    // Stands in for the progress callback, which runs once per 4096-byte chunk.
    unsigned long long chunks = 0;
    transfer.callback = [&chunks](kite::HttpTransfer* t) { chunks += t->state == kite::Data; };

    auto start = std::chrono::steady_clock::now();
    int state = kite::HttpGet(transfer);
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("%d %d %.6f %llu\n", state, transfer.received, took.count(), chunks);
    return state == kite::Finished ? 0 : 1;
}
