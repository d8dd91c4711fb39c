// The system's judgement of a server's certificate chain: on Windows the root certificate store
// through CryptoAPI (trust_win32.cpp), natively a root file a test names (trust_posix.cpp).
#pragma once
#include <string>
#include <vector>

namespace kite::trust {

// `chain` holds the certificates as the server sent them, its own first, each DER-encoded.
// Returns "" when the chain leads to a trusted root, every certificate is valid now and for
// server use, and the first one is issued for `host` (a name, or a dotted IPv4 address);
// otherwise why not, in a few words ("expired", "self-signed", "issued for another host").
std::string CheckServerChain(const std::vector<std::string>& chain, const std::string& host);

#ifndef _WIN32
// The PEM file of the roots the native build trusts; none until it is set.
void SetRootsFile(const std::string& path);
#endif

}  // namespace kite::trust
