#include "util/WebPages.h"

#include <QCoreApplication>
#include <QUrl>

#ifndef KZP_GUIDE_URL
#define KZP_GUIDE_URL ""
#endif
#ifndef KZP_SUPPORT_URL
#define KZP_SUPPORT_URL ""
#endif

namespace {

QUrl shippedGuide() {
    return QUrl::fromLocalFile(QCoreApplication::applicationDirPath() + QStringLiteral("/guide/index.html"));
}

} // namespace

WebPages& WebPages::instance() {
    static WebPages pages;
    return pages;
}

WebPages::WebPages() {
    refresh();
}

void WebPages::refresh() {
    guideUrl = builtInGuide();
    supportUrl = builtInSupport();
    supportSecondUrl = supportUrl;
}

QString WebPages::builtInGuide() {
    const QString configured = QString::fromUtf8(KZP_GUIDE_URL);
    if (!configured.isEmpty())
        return configured;
    return shippedGuide().toString(QUrl::FullyEncoded);
}

QString WebPages::builtInSupport() {
    const QString configured = QString::fromUtf8(KZP_SUPPORT_URL);
    if (!configured.isEmpty())
        return configured;
    QUrl url = shippedGuide();
    url.setFragment(QStringLiteral("support"));
    return url.toString(QUrl::FullyEncoded);
}
