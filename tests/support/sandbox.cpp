#include "tests/support/sandbox.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <QWidget>

#include <cstdlib>
#include <memory>

#include <sys/stat.h>

namespace palvane::test {

Sandbox::Sandbox() {
    oldCwd_ = QDir::currentPath();
    hadXdg_ = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    oldXdg_ = qgetenv("XDG_CONFIG_HOME");
    QDir(dir_.path()).mkpath(QStringLiteral("config"));
    qputenv("XDG_CONFIG_HOME", configDir().toLocal8Bit());
    QDir::setCurrent(dir_.path());
}

Sandbox::~Sandbox() {
    QDir::setCurrent(oldCwd_);
    if (hadXdg_)
        qputenv("XDG_CONFIG_HOME", oldXdg_);
    else
        qunsetenv("XDG_CONFIG_HOME");
}

QString Sandbox::path() const {
    return dir_.path();
}
QString Sandbox::dataDir() const {
    return dir_.path() + QStringLiteral("/data");
}
QString Sandbox::dbPath() const {
    return dataDir() + QStringLiteral("/palvane.db");
}
QString Sandbox::configDir() const {
    return dir_.path() + QStringLiteral("/config");
}
QString Sandbox::iniPath() const {
    return configDir() + QStringLiteral("/PALVANE.INI");
}

void Sandbox::createTable(const std::vector<ContactRow>& rows) {
    createContactTable(dbPath());
    if (!rows.empty())
        insertContacts(dbPath(), rows);
}

void Sandbox::waitForLaterTimestamps() const {
    const auto changed = [](const QString& path) {
        struct stat info {};
        ::stat(QFile::encodeName(path).constData(), &info);
        return info.st_ctim;
    };
    const timespec folder = changed(dataDir());
    const QString probe = path() + QStringLiteral("/clock-probe");
    for (;;) {
        QFile file(probe);
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(probe));
        file.write("x");
        file.close();
        const timespec now = changed(probe);
        if (now.tv_sec > folder.tv_sec ||
            (now.tv_sec == folder.tv_sec && now.tv_nsec > folder.tv_nsec))
            break;
    }
    QFile::remove(probe);
}

ContactRow contact(const QString& nick, const QString& name, int hours, const QString& picture) {
    ContactRow row;
    row.nick = nick;
    row.name = name;
    row.spin = hours;
    row.timeDisplacement = hours / 24.0;
    row.picture = picture;
    return row;
}

void onNextModal(std::function<void(QWidget*)> action, int timeoutMs) {
    auto timer = std::make_shared<QElapsedTimer>();
    timer->start();
    auto attempt = std::make_shared<std::function<void()>>();
    *attempt = [action, timer, timeoutMs, attempt]() {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            action(modal);
            *attempt = nullptr; // break the self-reference
            return;
        }
        if (timer->elapsed() > timeoutMs) {
            *attempt = nullptr;
            return;
        }
        QTimer::singleShot(5, [attempt] {
            if (*attempt)
                (*attempt)();
        });
    };
    QTimer::singleShot(0, [attempt] {
        if (*attempt)
            (*attempt)();
    });
}

} // namespace palvane::test
