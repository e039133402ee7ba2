#include "tests/support/table_tool.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>

#include <functional>

namespace palvane::test {

namespace {

QStringList describeWith(const std::vector<ContactRow>& rows,
                         const std::function<QString(double)>& days) {
    QStringList lines;
    for (const ContactRow& r : rows)
        lines << QStringList{r.nick,
                             r.name,
                             r.location,
                             r.email,
                             r.notes,
                             r.timeDisplacement ? days(*r.timeDisplacement)
                                                : QStringLiteral("blank"),
                             r.spin ? QString::number(*r.spin) : QStringLiteral("blank"),
                             r.picture}
                     .join(QStringLiteral(" | "));
    return lines;
}

} // namespace

ToolRun runTool(const QStringList& arguments, const QByteArray& input, const QString& timeZone) {
    QProcess process;
    if (!timeZone.isEmpty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TZ"), timeZone);
        process.setProcessEnvironment(environment);
    }
    process.start(QStringLiteral(PALVANE_TABLE_TOOL), arguments);
    ToolRun run;
    if (!process.waitForStarted(30000))
        return run;
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

QByteArray contentsOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList describe(const std::vector<ContactRow>& rows) {
    return describeWith(rows, [](double days) { return QString::number(days, 'g', 17); });
}

QStringList describeInHours(const std::vector<ContactRow>& rows) {
    return describeWith(rows, [](double days) { return QString::number(days * 24); });
}

} // namespace palvane::test
