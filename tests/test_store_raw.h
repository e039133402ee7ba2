#pragma once
// A second, plain SQLite connection for the store tests: it plays "another program" that
// shares the table file, and it checks what really reached the file.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTest>

#include <sqlite3.h>

namespace palvane::test {

class RawDb {
public:
    explicit RawDb(const QString& path, int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) {
        if (sqlite3_open_v2(path.toUtf8().constData(), &db_, flags, nullptr) != SQLITE_OK)
            qFatal("cannot open %s", qPrintable(path));
        sqlite3_busy_timeout(db_, 5000);
    }
    ~RawDb() { sqlite3_close_v2(db_); }
    RawDb(const RawDb&) = delete;
    RawDb& operator=(const RawDb&) = delete;

    sqlite3* get() const { return db_; }

    // Runs statements; returns false (and keeps the message) on failure.
    bool exec(const QString& sql) {
        char* message = nullptr;
        const int rc = sqlite3_exec(db_, sql.toUtf8().constData(), nullptr, nullptr, &message);
        error_ = message ? QString::fromUtf8(message) : QString();
        sqlite3_free(message);
        return rc == SQLITE_OK;
    }
    QString error() const { return error_; }

    // First column of every row, as text ("NULL" for a null).
    QStringList column(const QString& sql) {
        QStringList values;
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db_, sql.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK) {
            error_ = QString::fromUtf8(sqlite3_errmsg(db_));
            return values;
        }
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
            values << (text ? QString::fromUtf8(text) : QStringLiteral("NULL"));
        }
        sqlite3_finalize(stmt);
        return values;
    }
    QString value(const QString& sql) { return column(sql).value(0); }

private:
    sqlite3* db_ = nullptr;
    QString error_;
};

// The file change counter in the database header: it grows with every committed write, so an
// unchanged counter proves that nothing was written.
inline quint32 changeCounter(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray header = file.read(28);
    if (header.size() < 28)
        return 0;
    return (quint32(quint8(header[24])) << 24) | (quint32(quint8(header[25])) << 16) |
           (quint32(quint8(header[26])) << 8) | quint32(quint8(header[27]));
}

} // namespace palvane::test
