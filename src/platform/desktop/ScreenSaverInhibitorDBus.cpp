#include "platform/desktop/ScreenSaverInhibitorDBus.h"

#include "core/AppInfo.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QObject>

#include <iterator>

namespace orlix::platform {
namespace {

// The standard object first; some services (older KDE and Xfce releases) serve only the
// second, and KDE serves both.
const char* const kPaths[] = {"/org/freedesktop/ScreenSaver", "/ScreenSaver"};
constexpr int kPathCount = static_cast<int>(std::size(kPaths));

// Errors that say "not at this object", as opposed to "no such service" or "no answer".
bool wrongObject(QDBusError::ErrorType type) {
    return type == QDBusError::UnknownObject || type == QDBusError::UnknownInterface ||
           type == QDBusError::UnknownMethod;
}

} // namespace

ScreenSaverInhibitorDBus::ScreenSaverInhibitorDBus(const QDBusConnection& connection,
                                                   std::unique_ptr<ScreenSaverInhibitor> fallback)
    : connection_(connection), fallback_(std::move(fallback)), context_(new QObject) {
    // A connection that never came up reports that on the first call as well; deciding here
    // keeps it from being tried at all.
    if (!connection_.isConnected())
        handedOver_ = true;
}

ScreenSaverInhibitorDBus::~ScreenSaverInhibitorDBus() {
    if (handedOver_)
        return; // the fallback, if any, releases in its own destructor
    if (pending_) {
        // The cookie is still on its way; without it nothing can be released. The wait is
        // bounded by the call's own timeout.
        QDBusPendingCall call = *pending_;
        delete pending_;
        pending_ = nullptr;
        call.waitForFinished();
        const QDBusPendingReply<uint> reply = call;
        if (reply.isValid() && !reply.isError())
            cookie_ = reply.value();
    }
    if (cookie_) {
        // Blocking, so that the release is on the bus before the process can end: a message
        // still queued when the program exits would be lost, and the screen would stay awake.
        connection_.call(uninhibitMessage(*cookie_), QDBus::Block, kReleaseTimeoutMs);
    }
}

QDBusMessage ScreenSaverInhibitorDBus::inhibitMessage() const {
    QDBusMessage message = QDBusMessage::createMethodCall(
        QString::fromLatin1(kService), QString::fromLatin1(kPaths[pathIndex_]),
        QString::fromLatin1(kInterface), QStringLiteral("Inhibit"));
    message << QString::fromUtf8(app::kTitle) << QString::fromUtf8(kReason);
    return message;
}

QDBusMessage ScreenSaverInhibitorDBus::uninhibitMessage(uint cookie) const {
    QDBusMessage message = QDBusMessage::createMethodCall(
        QString::fromLatin1(kService), QString::fromLatin1(kPaths[pathIndex_]),
        QString::fromLatin1(kInterface), QStringLiteral("UnInhibit"));
    message << cookie;
    return message;
}

void ScreenSaverInhibitorDBus::setInhibited(bool inhibited) {
    wanted_ = inhibited;
    if (handedOver_) {
        if (fallback_)
            fallback_->setInhibited(inhibited);
        return;
    }
    update();
}

void ScreenSaverInhibitorDBus::update() {
    if (pending_)
        return; // onInhibitFinished() settles what was asked meanwhile
    if (wanted_ && !cookie_) {
        pending_ = new QDBusPendingCallWatcher(
            connection_.asyncCall(inhibitMessage(), kInhibitTimeoutMs), context_.get());
        QObject::connect(pending_, &QDBusPendingCallWatcher::finished, context_.get(),
                         [this] { onInhibitFinished(); });
    } else if (!wanted_ && cookie_) {
        // The service answers nothing worth waiting for; a lost cookie would only matter to
        // a service that restarted, which has forgotten it anyway.
        connection_.send(uninhibitMessage(*cookie_));
        cookie_.reset();
    }
}

void ScreenSaverInhibitorDBus::onInhibitFinished() {
    const QDBusPendingReply<uint> reply = *pending_;
    pending_->deleteLater();
    pending_ = nullptr;
    if (reply.isError()) {
        if (wrongObject(reply.error().type()) && pathIndex_ + 1 < kPathCount) {
            ++pathIndex_;
            update();
        } else {
            handOver();
        }
        return;
    }
    cookie_ = reply.value();
    update(); // releases at once if the show stopped while the call was on its way
}

void ScreenSaverInhibitorDBus::handOver() {
    handedOver_ = true;
    if (fallback_ && wanted_)
        fallback_->setInhibited(true);
}

} // namespace orlix::platform
