// The sync's password kept in a real desktop secret store: a private D-Bus session bus and
// gnome-keyring-daemon (its secrets component, unlocked with a password on standard input),
// both started here with their folders in the sandbox, so nothing of the user's is touched.

#include "sync/password_store.h"
#include "tests/support/sandbox.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <memory>

using palvane::test::Sandbox;

class TestSyncSecretService : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void kept_data();
    void kept();

private:
    std::unique_ptr<Sandbox> box_;
    QProcess bus_;
    QProcess keyring_;
};

void TestSyncSecretService::initTestCase() {
    box_ = std::make_unique<Sandbox>();
    const QString home = box_->path() + QStringLiteral("/home");
    QVERIFY(QDir().mkpath(home + QStringLiteral("/run")));
    QFile(home + QStringLiteral("/run"))
        .setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("gnome-keyring-daemon"));
    if (daemon.isEmpty())
        QFAIL("gnome-keyring-daemon is not installed (scripts/install-deps)");
    bus_.start(QStringLiteral("dbus-daemon"),
               {QStringLiteral("--session"), QStringLiteral("--nofork"),
                QStringLiteral("--print-address=1")});
    QVERIFY(bus_.waitForStarted(10000));
    QVERIFY(QTest::qWaitFor([&] { return bus_.canReadLine(); }, 10000));
    const QByteArray address = bus_.readLine().trimmed();
    QVERIFY2(address.startsWith("unix:"), address.constData());
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home + QStringLiteral("/run"));
    keyring_.setProcessEnvironment(env);
    keyring_.start(daemon, {QStringLiteral("--foreground"), QStringLiteral("--unlock"),
                            QStringLiteral("--components=secrets")});
    QVERIFY(keyring_.waitForStarted(10000));
    keyring_.write("keyring password");
    keyring_.closeWriteChannel();
    // Ready once it owns the service's name on the bus.
    QVERIFY(QTest::qWaitFor(
        [&] {
            QProcess ask;
            ask.start(QStringLiteral("dbus-send"),
                      {QStringLiteral("--session"), QStringLiteral("--print-reply"),
                       QStringLiteral("--dest=org.freedesktop.DBus"), QStringLiteral("/"),
                       QStringLiteral("org.freedesktop.DBus.NameHasOwner"),
                       QStringLiteral("string:org.freedesktop.secrets")});
            ask.waitForFinished(5000);
            return ask.readAllStandardOutput().contains("boolean true");
        },
        15000));
}

void TestSyncSecretService::cleanupTestCase() {
    keyring_.kill();
    keyring_.waitForFinished(5000);
    bus_.kill();
    bus_.waitForFinished(5000);
}

void TestSyncSecretService::kept_data() {
    QTest::addColumn<QStringList>("stored"); // "user:password", in order
    QTest::addColumn<QString>("user");       // looked up
    QTest::addColumn<QString>("expected");   // null: none

    QTest::newRow("kept and found") << QStringList{"alice:s3cret pass"} << "alice"
                                    << "s3cret pass";
    QTest::newRow("a new password replaces the old one")
        << QStringList{"alice:old", "alice:new ünïcode"} << "alice"
        << "new ünïcode";
    QTest::newRow("another user's is not given") << QStringList{"alice:hers"} << "bob" << QString();
}

void TestSyncSecretService::kept() {
    QFETCH(QStringList, stored);
    QFETCH(QString, user);
    QFETCH(QString, expected);

    // An address book of its own per row: the keyring lives through all of them.
    const QString url =
        QStringLiteral("http://127.0.0.1:5232/%1/book/").arg(QTest::currentDataTag());
    for (const QString& entry : stored) {
        QString place;
        palvane::sync::storePassword(url, entry.section(QLatin1Char(':'), 0, 0),
                                     entry.section(QLatin1Char(':'), 1), &place);
        QCOMPARE(place, QStringLiteral("the desktop's secret store"));
    }
    // Nothing went to the fallback file.
    QVERIFY(!QFile::exists(palvane::sync::passwordFilePath()));
    const std::optional<QString> found = palvane::sync::lookUpPassword(url, user);
    QCOMPARE(found.has_value(), !expected.isNull());
    if (found)
        QCOMPARE(*found, expected);
}

QTEST_GUILESS_MAIN(TestSyncSecretService)
#include "test_sync_secret_service.moc"
