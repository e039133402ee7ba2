#include "store/sqlite_util.h"

#include <QRegularExpression>

#include <limits>

namespace palvane::sql {

QString errorText(sqlite3* db) {
    if (!db)
        return QStringLiteral("out of memory");
    return QString::fromUtf8(sqlite3_errmsg(db));
}

QString failureText(sqlite3* db) {
    const int code = db ? sqlite3_errcode(db) & 0xff : SQLITE_NOMEM;
    if (code == SQLITE_BUSY || code == SQLITE_LOCKED)
        return QStringLiteral("another program is writing or reading the table; try again when "
                              "it has finished");
    return errorText(db);
}

QString quoteIdentifier(const QString& name) {
    QString quoted = name;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

int declaredLength(const QString& declaredType) {
    // VARCHAR(64), CHAR (10), NVARCHAR(20), VARCHAR(10, 0): the first number in parentheses.
    static const QRegularExpression lengthPattern(QStringLiteral("\\(\\s*(\\d+)"));
    const QRegularExpressionMatch match = lengthPattern.match(declaredType);
    if (!match.hasMatch())
        return 0;
    bool ok = false;
    const qlonglong length = match.captured(1).toLongLong(&ok);
    if (!ok || length <= 0 || length > std::numeric_limits<int>::max())
        return 0;
    return static_cast<int>(length);
}

QString cutToLength(const QString& text, int maxChars) {
    // Fewer UTF-16 units than the limit means fewer code points too: the common case.
    if (maxChars <= 0 || text.size() <= maxChars)
        return text;
    qsizetype pos = 0;
    int count = 0;
    while (pos < text.size() && count < maxChars) {
        const bool pair = text.at(pos).isHighSurrogate() && pos + 1 < text.size() &&
                          text.at(pos + 1).isLowSurrogate();
        pos += pair ? 2 : 1;
        ++count;
    }
    return text.left(pos);
}

Statement& Statement::operator=(Statement&& other) noexcept {
    if (this != &other) {
        sqlite3_finalize(stmt_);
        stmt_ = other.stmt_;
        other.stmt_ = nullptr;
    }
    return *this;
}

int Statement::prepare(sqlite3* db, const QString& sql, bool persistent) {
    sqlite3_finalize(stmt_);
    stmt_ = nullptr;
    const QByteArray utf8 = sql.toUtf8();
    return sqlite3_prepare_v3(db, utf8.constData(), static_cast<int>(utf8.size()),
                              persistent ? SQLITE_PREPARE_PERSISTENT : 0, &stmt_, nullptr);
}

QString Statement::sql() const {
    return stmt_ ? QString::fromUtf8(sqlite3_sql(stmt_)) : QString();
}

int bindText(sqlite3_stmt* stmt, int index, const QString& text) {
    if (text.isNull())
        return sqlite3_bind_null(stmt, index);
    const QByteArray utf8 = text.toUtf8();
    return sqlite3_bind_text64(stmt, index, utf8.constData(),
                               static_cast<sqlite3_uint64>(utf8.size()), SQLITE_TRANSIENT,
                               SQLITE_UTF8);
}

QString columnText(sqlite3_stmt* stmt, int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
    if (!text)
        return QString();
    return QString::fromUtf8(text, sqlite3_column_bytes(stmt, column));
}

int exec(sqlite3* db, const QString& sql) {
    return sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr);
}

int makeCommitsDurable(sqlite3* db) {
    return sqlite3_exec(db, "PRAGMA synchronous = EXTRA", nullptr, nullptr, nullptr);
}

} // namespace palvane::sql
