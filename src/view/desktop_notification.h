#pragma once
// Desktop notifications through the freedesktop notification service on the session bus. Where
// there is no session bus (or no service on it) nothing is sent and nothing fails.

#include <QString>

namespace veldrin {

// Sends without waiting for an answer; false when no session bus could be reached.
bool sendDesktopNotification(const QString& summary, const QString& body);

} // namespace veldrin
