#include "acquisition/ui/web_address.h"

#include <QDesktopServices>

#include "acquisition/intelligence_agent.h"
#include "foundation/text_encoding.h"

namespace vorn {

QUrl OpenableWebUrl(std::string_view address) {
    if (!IsOpenableWebAddress(address))
        return {};
    // The feed stores texts as cp932; a host or path outside ASCII is decoded from it.
    const QUrl url(QString::fromStdString(Cp932ToUtf8(address)), QUrl::TolerantMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return {};
    return url;
}

bool OpenWebAddress(std::string_view address) {
    const QUrl url = OpenableWebUrl(address);
    return url.isValid() && QDesktopServices::openUrl(url);
}

} // namespace vorn
