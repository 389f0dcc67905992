#include "FirmaRicevuta.h"

#include "Ricevuta.h"

#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/x509.h>

#include <climits>
#include <memory>

namespace sz::pec {

namespace {

QString erroreOpenSsl()
{
    char testo[256] = {};
    const unsigned long e = ERR_get_error();
    ERR_clear_error();
    if (e == 0)
        return {};
    ERR_error_string_n(e, testo, sizeof testo);
    return QString::fromLatin1(testo);
}

} // namespace

Firma verificaFirma(const QByteArray& eml, QString* dettaglio)
{
    if (eml.size() > limiteEml || eml.size() > INT_MAX)
        return Firma::Alterata;
    ERR_clear_error();
    const std::unique_ptr<BIO, decltype(&BIO_free)> in(BIO_new_mem_buf(eml.constData(), int(eml.size())), BIO_free);
    if (!in)
        return Firma::Alterata;
    BIO* contenuto = nullptr;
    CMS_ContentInfo* cms = SMIME_read_CMS(in.get(), &contenuto);
    const std::unique_ptr<BIO, decltype(&BIO_free)> cont(contenuto, BIO_free);
    if (!cms) {
        if (dettaglio)
            *dettaglio = erroreOpenSsl();
        return Firma::Alterata;
    }
    const std::unique_ptr<CMS_ContentInfo, decltype(&CMS_ContentInfo_free)> guardia(cms, CMS_ContentInfo_free);
    // An opaque signature (application/pkcs7-mime) has no detached content: not this form.
    if (!contenuto)
        return Firma::Assente;
    const std::unique_ptr<X509_STORE, decltype(&X509_STORE_free)> store(X509_STORE_new(), X509_STORE_free);
    const int ok = CMS_verify(cms, nullptr, store.get(), contenuto, nullptr, CMS_NO_SIGNER_CERT_VERIFY);
    if (ok == 1) {
        ERR_clear_error();
        return Firma::Integra;
    }
    if (dettaglio)
        *dettaglio = erroreOpenSsl();
    ERR_clear_error();
    return Firma::Alterata;
}

} // namespace sz::pec
