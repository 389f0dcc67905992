#include "scadenzio/mail/Transport.h"

#include <curl/curl.h>

#include <cstring>

namespace sz::mail {

QString transportVersion()
{
    return QString::fromLatin1(curl_version());
}

bool supportsSecureSmtp()
{
    const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
    if (!info || !(info->features & CURL_VERSION_SSL))
        return false;
    bool smtp = false, smtps = false;
    for (const char* const* p = info->protocols; p && *p; ++p) {
        smtp = smtp || std::strcmp(*p, "smtp") == 0;
        smtps = smtps || std::strcmp(*p, "smtps") == 0;
    }
    return smtp && smtps;
}

} // namespace sz::mail
