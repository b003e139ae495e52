#pragma once

#include <QtGlobal>

// Unless TZ names the zone, the C library looks up /etc/localtime again for
// every local time it works out, and reading a mail index of a hundred
// thousand dates pays a file lookup per date. Naming the system's own zone
// file changes no time shown or stored. Call before the first local time.
inline void SettleLocalTimeZone() {
  if (qEnvironmentVariableIsEmpty("TZ")) qputenv("TZ", ":/etc/localtime");
}
