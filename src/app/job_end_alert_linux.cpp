// Notifications through the freedesktop notification service on the session
// bus, sounds from the freedesktop sound theme through libcanberra.
#include <canberra.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

#include <memory>

#include "job_end_alert.h"

namespace bramis {

void ShowDesktopNotification(QWidget*, const QString& title, const QString& text, bool failed) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    QDBusMessage notify =
        QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Notifications"),
                                       QStringLiteral("/org/freedesktop/Notifications"),
                                       QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    constexpr unsigned char kNormal = 1;
    constexpr unsigned char kCritical = 2;
    const QVariantMap hints{{QStringLiteral("urgency"), QVariant::fromValue(failed ? kCritical : kNormal)}};
    notify << title << 0U << QStringLiteral("bramis-programmer") << title << text << QStringList() << hints << -1;
    // Sent without waiting for an answer: a slow or absent service never holds the window.
    bus.send(notify);
}

void PlayDesktopSound(bool failed) {
    // One context for the program's life: a sound plays on after the call.
    static const std::unique_ptr<ca_context, int (*)(ca_context*)> context = [] {
        ca_context* created = nullptr;
        return std::unique_ptr<ca_context, int (*)(ca_context*)>(
            ca_context_create(&created) == CA_SUCCESS ? created : nullptr, ca_context_destroy);
    }();
    if (!context) return;
    ca_context_play(context.get(), 0, CA_PROP_EVENT_ID, failed ? "dialog-error" : "complete",
                    CA_PROP_APPLICATION_NAME, "bramis-programmer", nullptr);
}

}  // namespace bramis
