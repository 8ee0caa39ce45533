// A stand-in for a desktop's org.freedesktop.ScreenSaver service, for the inhibitor tests.
// It owns the service name on the bus at --address, serves the objects named by --paths
// (comma-separated; /org/freedesktop/ScreenSaver by default), hands out cookies from 1001 on
// and writes one line per call to standard output:
//   ready
//   Inhibit <TAB> path <TAB> application <TAB> reason <TAB> cookie
//   UnInhibit <TAB> path <TAB> <TAB> <TAB> cookie
// --reply-delay-ms holds each Inhibit reply back for that long, as a busy service would.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QTextStream>
#include <QTimer>

#include <cstdio>

namespace {

void writeLine(const QStringList& fields) {
    QTextStream out(stdout);
    out << fields.join(QLatin1Char('\t')) << Qt::endl; // endl flushes: the test reads at once
}

class FakeScreenSaverObject final : public QDBusVirtualObject {
public:
    explicit FakeScreenSaverObject(int replyDelayMs) : replyDelayMs_(replyDelayMs) {}

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.interface() != QLatin1String("org.freedesktop.ScreenSaver"))
            return false;
        const QList<QVariant> args = message.arguments();
        if (message.member() == QLatin1String("Inhibit") && args.size() == 2) {
            const uint cookie = nextCookie_++;
            writeLine({QStringLiteral("Inhibit"), message.path(), args[0].toString(),
                       args[1].toString(), QString::number(cookie)});
            const QDBusMessage reply = message.createReply(QVariant::fromValue(cookie));
            if (replyDelayMs_ <= 0)
                return connection.send(reply);
            message.setDelayedReply(true);
            QTimer::singleShot(replyDelayMs_,
                               [connection, reply]() mutable { connection.send(reply); });
            return true;
        }
        if (message.member() == QLatin1String("UnInhibit") && args.size() == 1) {
            writeLine({QStringLiteral("UnInhibit"), message.path(), QString(), QString(),
                       QString::number(args[0].toUInt())});
            return connection.send(message.createReply());
        }
        return false;
    }

private:
    int replyDelayMs_;
    uint nextCookie_ = 1001;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption address(QStringLiteral("address"), QString(), QStringLiteral("a"));
    const QCommandLineOption paths(QStringLiteral("paths"), QString(), QStringLiteral("p"),
                                   QStringLiteral("/org/freedesktop/ScreenSaver"));
    const QCommandLineOption delay(QStringLiteral("reply-delay-ms"), QString(),
                                   QStringLiteral("ms"), QStringLiteral("0"));
    parser.addOptions({address, paths, delay});
    parser.process(app);

    QDBusConnection bus =
        QDBusConnection::connectToBus(parser.value(address), QStringLiteral("fake"));
    if (!bus.isConnected())
        return 2;
    FakeScreenSaverObject object(parser.value(delay).toInt());
    for (const QString& path : parser.value(paths).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        if (!bus.registerVirtualObject(path, &object))
            return 3;
    }
    if (!bus.registerService(QStringLiteral("org.freedesktop.ScreenSaver")))
        return 4;
    writeLine({QStringLiteral("ready")});
    return app.exec();
}
