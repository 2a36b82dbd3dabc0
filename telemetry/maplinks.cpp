#include "maplinks.h"

bool mapLinkMayLeave(const QUrl &link)
{
    const QUrl attribution(QString::fromLatin1(kMapAttributionUrl));
    return link.isValid() && link.scheme() == QLatin1String("https")
           && link.matches(attribution, QUrl::NormalizePathSegments | QUrl::StripTrailingSlash);
}
