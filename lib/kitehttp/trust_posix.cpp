// The native build's trust: wolfSSL's certificate manager over the roots of a file the tests
// name. It stands in for the system store the Windows program asks, so that the transfer's
// handling of a refused certificate is tested natively too.
#include "trust.h"

#include <wolfssl/options.h>
#include <wolfssl/ssl.h>
#include <wolfssl/wolfcrypt/error-crypt.h>

#include <arpa/inet.h>

namespace kite::trust {

namespace {

std::string rootsFile;

const unsigned char* Bytes(const std::string& der) {
    return reinterpret_cast<const unsigned char*>(der.data());
}

bool SelfSigned(const std::string& der) {
    WOLFSSL_X509* cert = wolfSSL_X509_d2i(nullptr, Bytes(der), static_cast<int>(der.size()));
    if (!cert) return false;
    const bool same = wolfSSL_X509_NAME_cmp(wolfSSL_X509_get_subject_name(cert),
                                            wolfSSL_X509_get_issuer_name(cert)) == 0;
    wolfSSL_X509_free(cert);
    return same;
}

bool IssuedFor(const std::string& der, const std::string& host) {
    WOLFSSL_X509* cert = wolfSSL_X509_d2i(nullptr, Bytes(der), static_cast<int>(der.size()));
    if (!cert) return false;
    in_addr address;
    const bool match = inet_pton(AF_INET, host.c_str(), &address) == 1
                           ? wolfSSL_X509_check_ip_asc(cert, host.c_str(), 0) == 1
                           : wolfSSL_X509_check_host(cert, host.c_str(), host.size(), 0,
                                                     nullptr) == 1;
    wolfSSL_X509_free(cert);
    return match;
}

std::string Problem(int code, const std::vector<std::string>& chain) {
    switch (code) {
        case WOLFSSL_SUCCESS: return std::string();
        case ASN_AFTER_DATE_E: return "expired";
        case ASN_BEFORE_DATE_E: return "not yet valid";
        case ASN_NO_SIGNER_E:
            return chain.size() == 1 && SelfSigned(chain[0]) ? "self-signed" : "unknown authority";
        case ASN_SELF_SIGNED_E: return "self-signed";
        case ASN_SIG_CONFIRM_E: return "bad signature";
    }
    return "chain not valid (" + std::to_string(code) + ")";
}

}  // namespace

void SetRootsFile(const std::string& path) { rootsFile = path; }

std::string CheckServerChain(const std::vector<std::string>& chain, const std::string& host) {
    if (chain.empty()) return "no certificate";
    WOLFSSL_CERT_MANAGER* manager = wolfSSL_CertManagerNew();
    if (!manager) return "no certificate manager";
    std::string problem;
    if (rootsFile.empty() ||
        wolfSSL_CertManagerLoadCA(manager, rootsFile.c_str(), nullptr) != WOLFSSL_SUCCESS) {
        problem = Problem(ASN_NO_SIGNER_E, chain);
    } else {
        // From the top down: each certificate the server sent that a trusted one signed may
        // sign the next; the server's own certificate is judged last.
        for (std::size_t i = chain.size(); i-- > 1;) {
            const auto size = static_cast<long>(chain[i].size());
            if (wolfSSL_CertManagerVerifyBuffer(manager, Bytes(chain[i]), size,
                                                WOLFSSL_FILETYPE_ASN1) == WOLFSSL_SUCCESS)
                wolfSSL_CertManagerLoadCABuffer(manager, Bytes(chain[i]), size,
                                                WOLFSSL_FILETYPE_ASN1);
        }
        problem = Problem(wolfSSL_CertManagerVerifyBuffer(manager, Bytes(chain[0]),
                                                          static_cast<long>(chain[0].size()),
                                                          WOLFSSL_FILETYPE_ASN1),
                          chain);
    }
    wolfSSL_CertManagerFree(manager);
    if (problem.empty() && !IssuedFor(chain[0], host)) problem = "issued for another host";
    return problem;
}

}  // namespace kite::trust
