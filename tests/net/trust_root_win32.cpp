// net_trust_root add|remove FILE: puts a DER certificate into the current user's root store, or
// takes it out, for the HTTP client's https test on Windows. A process of its own, because the
// system keeps the root store of a process as it found it when first asked (so Wine does):
// the test runs this before its own first https request.
#include "fw/windows/windows_api.h"

#include <wincrypt.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3 || (std::strcmp(argv[1], "add") != 0 && std::strcmp(argv[1], "remove") != 0)) {
        std::fprintf(stderr, "usage: net_trust_root add|remove FILE\n");
        return 2;
    }
    std::ifstream f(argv[2], std::ios::binary);
    const std::string der((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    PCCERT_CONTEXT cert = CertCreateCertificateContext(X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                                       static_cast<DWORD>(der.size()));
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root");
    bool ok = false;
    if (cert && store) {
        if (std::strcmp(argv[1], "add") == 0) {
            ok = CertAddCertificateContextToStore(store, cert, CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
        } else {
            PCCERT_CONTEXT found =
                CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, cert, nullptr);
            ok = !found || CertDeleteCertificateFromStore(found);
        }
    }
    if (store) CertCloseStore(store, 0);
    if (cert) CertFreeCertificateContext(cert);
    if (!ok) std::fprintf(stderr, "net_trust_root: %s %s failed (error %lu)\n", argv[1], argv[2], GetLastError());
    return ok ? 0 : 1;
}
