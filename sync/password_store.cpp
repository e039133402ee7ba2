#include "sync/password_store.h"

#include "sync/dav_client.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

// GLib names a struct member "signals", which Qt defines as a macro.
#pragma push_macro("signals")
#undef signals
#include <libsecret/secret.h>
#pragma pop_macro("signals")

#include <sys/stat.h>

namespace palvane::sync {

namespace {

const SecretSchema* schema() {
    static const SecretSchema kSchema = {"io.github.palvane.Palvane32.CardDAV",
                                         SECRET_SCHEMA_NONE,
                                         {{"url", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                          {"user", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                          {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
                                         0,
                                         nullptr,
                                         nullptr,
                                         nullptr,
                                         nullptr,
                                         nullptr,
                                         nullptr,
                                         nullptr};
    return &kSchema;
}

// Tab-separated: URL, user, password in base64 (any character may stand in it).
QByteArray lineOf(const QString& url, const QString& user, const QString& password) {
    return url.toUtf8() + '\t' + user.toUtf8() + '\t' + password.toUtf8().toBase64() + '\n';
}

bool matches(const QByteArray& line, const QString& url, const QString& user) {
    const QList<QByteArray> parts = line.trimmed().split('\t');
    return parts.size() == 3 && parts[0] == url.toUtf8() && parts[1] == user.toUtf8();
}

QByteArray readPrivateFile(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    if (info.st_mode & (S_IRWXG | S_IRWXO))
        throw SyncError(SyncError::Kind::Setup,
                        QStringLiteral("the password file %1 can be read by others; make it "
                                       "yours alone (chmod 600) or set the password up again")
                            .arg(path));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw SyncError(SyncError::Kind::Setup,
                        QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
    return file.readAll();
}

void storeInFile(const QString& url, const QString& user, const QString& password) {
    const QString path = passwordFilePath();
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        throw SyncError(SyncError::Kind::Setup, QStringLiteral("cannot make %1").arg(folder));
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QByteArray kept;
    for (const QByteArray& line : readPrivateFile(path).split('\n'))
        if (!line.trimmed().isEmpty() && !matches(line, url, user))
            kept += line + '\n';
    kept += lineOf(url, user, password);
    // Private before the first byte is written, and complete or not there at all.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        !file.setPermissions(QFile::ReadOwner | QFile::WriteOwner) || file.write(kept) < 0 ||
        !file.commit())
        throw SyncError(SyncError::Kind::Setup,
                        QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
}

} // namespace

QString passwordFilePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/palvane32/sync-passwords");
}

void storePassword(const QString& url, const QString& user, const QString& password,
                   QString* place) {
    GError* error = nullptr;
    const QByteArray label = QStringLiteral("Palvane 32 address book %1").arg(url).toUtf8();
    const gboolean stored = secret_password_store_sync(
        schema(), SECRET_COLLECTION_DEFAULT, label.constData(), password.toUtf8().constData(),
        nullptr, &error, "url", url.toUtf8().constData(), "user", user.toUtf8().constData(),
        nullptr);
    if (error)
        g_error_free(error);
    if (stored) {
        *place = QStringLiteral("the desktop's secret store");
        return;
    }
    storeInFile(url, user, password);
    *place = passwordFilePath();
}

std::optional<QString> lookUpPassword(const QString& url, const QString& user) {
    GError* error = nullptr;
    gchar* found =
        secret_password_lookup_sync(schema(), nullptr, &error, "url", url.toUtf8().constData(),
                                    "user", user.toUtf8().constData(), nullptr);
    if (error)
        g_error_free(error);
    if (found) {
        const QString password = QString::fromUtf8(found);
        secret_password_free(found);
        return password;
    }
    for (const QByteArray& line : readPrivateFile(passwordFilePath()).split('\n'))
        if (matches(line, url, user))
            return QString::fromUtf8(QByteArray::fromBase64(line.trimmed().split('\t')[2]));
    return std::nullopt;
}

} // namespace palvane::sync
