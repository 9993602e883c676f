#include "editor/qt/dbussleepinhibitor.h"

#include <QDBusMessage>
#include <QVariant>

namespace {

const QString kWho = QStringLiteral("VARNO414Editor");
// A bus that is there but does not answer costs the send this much before
// it goes on without the request; a missing bus fails at once.
constexpr int kCallTimeoutMs = 2000;

} // namespace

DBusSleepInhibitor::DBusSleepInhibitor() = default;

DBusSleepInhibitor::DBusSleepInhibitor(QDBusConnection system, QDBusConnection session)
    : m_system(std::move(system)), m_session(std::move(session))
{
}

DBusSleepInhibitor::~DBusSleepInhibitor()
{
    release();
}

bool DBusSleepInhibitor::inhibit(const std::string& reason)
{
    release();
    const QString why = QString::fromStdString(reason);
    return inhibitLogin(why) || inhibitScreenSaver(why);
}

// The login manager blocks both idle and requested sleep for as long as the
// descriptor it hands back stays open.
bool DBusSleepInhibitor::inhibitLogin(const QString& why)
{
    if (!m_system) m_system = QDBusConnection::systemBus();
    if (!m_system->isConnected() ||
        !m_system->connectionCapabilities().testFlag(QDBusConnection::UnixFileDescriptorPassing))
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep:idle") << kWho << why << QStringLiteral("block");
    const QDBusMessage reply = m_system->call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1) return false;
    const auto lock = reply.arguments().constFirst().value<QDBusUnixFileDescriptor>();
    if (!lock.isValid()) return false;
    m_lock = lock;
    return true;
}

// Desktops without the login manager keep at least the session from idling.
bool DBusSleepInhibitor::inhibitScreenSaver(const QString& why)
{
    if (!m_session) m_session = QDBusConnection::sessionBus();
    if (!m_session->isConnected()) return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("/org/freedesktop/ScreenSaver"),
        QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("Inhibit"));
    call << kWho << why;
    const QDBusMessage reply = m_session->call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1) return false;
    bool isNumber = false;
    const uint cookie = reply.arguments().constFirst().toUInt(&isNumber);
    if (!isNumber) return false;
    m_cookie = cookie;
    return true;
}

void DBusSleepInhibitor::release()
{
    // Closing the last copy of the descriptor ends the login manager's lock.
    m_lock = QDBusUnixFileDescriptor();
    if (m_cookie && m_session) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("/org/freedesktop/ScreenSaver"),
            QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("UnInhibit"));
        call << *m_cookie;
        // No reply is awaited: the end of a send never waits for the desktop.
        m_session->send(call);
    }
    m_cookie.reset();
}
