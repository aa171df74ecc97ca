#pragma once

#include <QByteArray>

namespace quillet::test {

// A session bus configuration for `dbus-daemon --config-file` that starts no services: only the
// programs a test starts answer on it, never the distribution's own portal.
inline QByteArray bareSessionBusConfig()
{
    return "<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen><auth>EXTERNAL</auth>"
           "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
           "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>";
}

} // namespace quillet::test
