// The server's chain judged by CryptoAPI against the Windows root store, with the calls and
// structures Windows XP's crypt32 has: the SSL chain policy checks the server name; an address
// is matched against the certificate's IP entries here, as XP's policy knows names only.
#include "trust.h"

#include <windows.h>
#include <wincrypt.h>

#include <cstring>

namespace kite::trust {

namespace {

bool ParseDottedAddress(const std::string& host, unsigned char out[4]) {
    int part = 0;
    unsigned value = 0;
    bool digits = false;
    for (std::size_t i = 0; i <= host.size(); ++i) {
        if (i == host.size() || host[i] == '.') {
            if (!digits || value > 255 || part > 3) return false;
            out[part++] = static_cast<unsigned char>(value);
            value = 0;
            digits = false;
        } else if (host[i] >= '0' && host[i] <= '9') {
            value = value * 10 + static_cast<unsigned>(host[i] - '0');
            if (value > 255) return false;
            digits = true;
        } else {
            return false;
        }
    }
    return part == 4;
}

bool HasAddress(PCCERT_CONTEXT leaf, const unsigned char address[4]) {
    const CERT_INFO* info = leaf->pCertInfo;
    PCERT_EXTENSION names =
        CertFindExtension(szOID_SUBJECT_ALT_NAME2, info->cExtension, info->rgExtension);
    if (!names) return false;
    DWORD size = 0;
    if (!CryptDecodeObject(X509_ASN_ENCODING, X509_ALTERNATE_NAME, names->Value.pbData,
                           names->Value.cbData, 0, nullptr, &size))
        return false;
    std::string buffer(size, '\0');
    if (!CryptDecodeObject(X509_ASN_ENCODING, X509_ALTERNATE_NAME, names->Value.pbData,
                           names->Value.cbData, 0, &buffer[0], &size))
        return false;
    const auto* decoded = reinterpret_cast<const CERT_ALT_NAME_INFO*>(buffer.data());
    for (DWORD i = 0; i < decoded->cAltEntry; ++i) {
        const CERT_ALT_NAME_ENTRY& entry = decoded->rgAltEntry[i];
        if (entry.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS && entry.IPAddress.cbData == 4 &&
            std::memcmp(entry.IPAddress.pbData, address, 4) == 0)
            return true;
    }
    return false;
}

std::string ChainProblem(PCCERT_CHAIN_CONTEXT chain, PCCERT_CONTEXT leaf) {
    const DWORD status = chain->TrustStatus.dwErrorStatus;
    if (status & CERT_TRUST_IS_NOT_TIME_VALID)
        return CertVerifyTimeValidity(nullptr, leaf->pCertInfo) < 0 ? "not yet valid" : "expired";
    if (status & CERT_TRUST_IS_REVOKED) return "revoked";
    if (status & CERT_TRUST_IS_NOT_SIGNATURE_VALID) return "bad signature";
    if (status & (CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN)) {
        const CERT_SIMPLE_CHAIN* simple = chain->cChain > 0 ? chain->rgpChain[0] : nullptr;
        const bool selfSigned = simple && simple->cElement == 1 &&
                                (simple->rgpElement[0]->TrustStatus.dwInfoStatus &
                                 CERT_TRUST_IS_SELF_SIGNED);
        return selfSigned ? "self-signed" : "unknown authority";
    }
    if (status & (CERT_TRUST_IS_NOT_VALID_FOR_USAGE | CERT_TRUST_CTL_IS_NOT_VALID_FOR_USAGE))
        return "not for server use";
    if (status != CERT_TRUST_NO_ERROR) {
        char text[48];
        wsprintfA(text, "chain not valid (0x%08lx)", static_cast<unsigned long>(status));
        return text;
    }
    return std::string();
}

std::string PolicyProblem(LONG error) {
    switch (static_cast<HRESULT>(error)) {
        case 0: return std::string();
        case CERT_E_CN_NO_MATCH: return "issued for another host";
        case CERT_E_EXPIRED: return "expired";
        case CERT_E_UNTRUSTEDROOT:
        case CERT_E_CHAINING: return "unknown authority";
        case CERT_E_WRONG_USAGE: return "not for server use";
        case CRYPT_E_REVOKED: return "revoked";
    }
    char text[48];
    wsprintfA(text, "refused by the SSL policy (0x%08lx)", static_cast<unsigned long>(error));
    return text;
}

// The chain's top must be one of the root store's own certificates.
bool TopIsInRootStore(PCCERT_CHAIN_CONTEXT chain) {
    if (chain->cChain == 0) return false;
    const CERT_SIMPLE_CHAIN* simple = chain->rgpChain[chain->cChain - 1];
    if (simple->cElement == 0) return false;
    PCCERT_CONTEXT top = simple->rgpElement[simple->cElement - 1]->pCertContext;
    HCERTSTORE roots = CertOpenSystemStoreA(0, "ROOT");
    if (!roots) return false;
    PCCERT_CONTEXT found = CertFindCertificateInStore(roots, X509_ASN_ENCODING, 0,
                                                      CERT_FIND_EXISTING, top, nullptr);
    if (found) CertFreeCertificateContext(found);
    CertCloseStore(roots, 0);
    return found != nullptr;
}

std::string Judge(PCCERT_CONTEXT leaf, HCERTSTORE sent, const std::string& host) {
    LPSTR usages[] = {const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH),
                      const_cast<LPSTR>(szOID_SERVER_GATED_CRYPTO),
                      const_cast<LPSTR>(szOID_SGC_NETSCAPE)};
    CERT_CHAIN_PARA para;
    std::memset(&para, 0, sizeof para);
    para.cbSize = sizeof para;
    para.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
    para.RequestedUsage.Usage.cUsageIdentifier = 3;
    para.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    if (!CertGetCertificateChain(nullptr, leaf, nullptr, sent, &para, 0, nullptr, &chain))
        return "no chain could be built";

    std::string problem = ChainProblem(chain, leaf);
    unsigned char address[4];
    const bool isAddress = ParseDottedAddress(host, address);
    if (problem.empty()) {
        std::wstring name(host.begin(), host.end());  // host names are ASCII
        SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl;
        std::memset(&ssl, 0, sizeof ssl);
        ssl.cbSize = sizeof ssl;
        ssl.dwAuthType = AUTHTYPE_SERVER;
        ssl.pwszServerName = isAddress ? nullptr : &name[0];
        CERT_CHAIN_POLICY_PARA policy;
        std::memset(&policy, 0, sizeof policy);
        policy.cbSize = sizeof policy;
        policy.pvExtraPolicyPara = &ssl;
        CERT_CHAIN_POLICY_STATUS verdict;
        std::memset(&verdict, 0, sizeof verdict);
        verdict.cbSize = sizeof verdict;
        if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &verdict))
            problem = "the SSL policy could not be checked";
        else
            problem = PolicyProblem(verdict.dwError);
    }
    if (problem.empty() && !TopIsInRootStore(chain)) problem = "unknown authority";
    if (problem.empty() && isAddress && !HasAddress(leaf, address))
        problem = "issued for another host";
    CertFreeCertificateChain(chain);
    return problem;
}

}  // namespace

std::string CheckServerChain(const std::vector<std::string>& chain, const std::string& host) {
    if (chain.empty()) return "no certificate";
    PCCERT_CONTEXT leaf = CertCreateCertificateContext(
        X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(chain[0].data()),
        static_cast<DWORD>(chain[0].size()));
    if (!leaf) return "unreadable certificate";
    // What else the server sent may complete the chain; it is never trusted for itself.
    HCERTSTORE sent = CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr);
    for (std::size_t i = 1; sent && i < chain.size(); ++i)
        CertAddEncodedCertificateToStore(sent, X509_ASN_ENCODING,
                                         reinterpret_cast<const BYTE*>(chain[i].data()),
                                         static_cast<DWORD>(chain[i].size()),
                                         CERT_STORE_ADD_ALWAYS, nullptr);
    std::string problem = Judge(leaf, sent, host);
    if (sent) CertCloseStore(sent, 0);
    CertFreeCertificateContext(leaf);
    return problem;
}

}  // namespace kite::trust
