// kitefetch URL FILE [--debug]
//
// Runs one HttpGet of URL into FILE and prints, one line each, every state the transfer
// reported ("state N"), then "final N". With --debug the client's "KiteHTTP: " lines are
// printed too, in order with the states. Exit code: 0 when the final state is 6, the final
// state otherwise, 2 for bad arguments or a network layer that does not start.
#include <cstdio>
#include <cstring>
#include <string>

#include "kitehttp.h"

namespace {

void PrintLine(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    bool debug = argc == 4 && std::strcmp(argv[3], "--debug") == 0;
    if (argc != 3 && !debug) {
        std::fprintf(stderr, "usage: kitefetch URL FILE [--debug]\n");
        return 2;
    }
    if (!kite::StartNetwork()) {
        std::fprintf(stderr, "kitefetch: the network layer did not start\n");
        return 2;
    }
    if (debug) kite::HttpDebug("", PrintLine);

    kite::HttpTransfer transfer;
    transfer.host = kite::SplitUrl(argv[1], 0);
    transfer.target = kite::SplitUrl(argv[1], 1);
    transfer.localFile = argv[2];
    transfer.callback = [](kite::HttpTransfer* t) { PrintLine("state " + std::to_string(t->state)); };
    int state = kite::HttpGet(transfer);
    PrintLine("final " + std::to_string(state));
    PrintLine("status " + std::to_string(transfer.status) + " received " +
              std::to_string(transfer.received) + " length " +
              std::to_string(transfer.contentLength));
    return state == kite::Finished ? 0 : state;
}
