#include "view/desktop_notification.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace veldrin {
namespace {

const char* const kService = "org.freedesktop.Notifications";
const char* const kPath = "/org/freedesktop/Notifications";
const char* const kInterface = "org.freedesktop.Notifications";
const char* const kMethod = "Notify";
// The server decides how long a notification stays.
constexpr int kServerDefaultTimeout = -1;

} // namespace

bool sendDesktopNotification(const QString& summary, const QString& body) {
    // Without an address there is no bus to try; libdbus would otherwise attempt to launch one.
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        return false;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return false;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(kService), QString::fromLatin1(kPath), QString::fromLatin1(kInterface),
        QString::fromLatin1(kMethod));
    // Notify(app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout).
    // Servers may read the body as markup; it is plain text, so its markup characters are
    // escaped.
    QString plainBody = body;
    plainBody.replace(QLatin1Char('&'), QStringLiteral("&amp;"))
        .replace(QLatin1Char('<'), QStringLiteral("&lt;"))
        .replace(QLatin1Char('>'), QStringLiteral("&gt;"));
    call << QStringLiteral("Veldrin") << 0u << QStringLiteral("org.veldrin.Veldrin") << summary
         << plainBody << QStringList() << QVariantMap() << kServerDefaultTimeout;
    // No reply is awaited: a missing or slow service never holds up the window.
    return bus.send(call);
}

} // namespace veldrin
