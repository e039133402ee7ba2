// The settings file follows the initialisation-file service's rules for reading and writing a
// key of a section, whoever wrote the file: one table row per rule, then the rules about the
// file's and the folder's permissions.

#include "core/settings_file.h"

#include "tests/support/sandbox.h"
#include "widgets/error_report.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <optional>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

using palvane::SettingsFile;

namespace {

QByteArray readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<missing>";
    return file.readAll();
}

void writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(content), content.size());
}

template <std::size_t N> QByteArray bytes(const char (&text)[N]) {
    return QByteArray(text, N - 1);
}

struct stat status(const QString& path) {
    struct stat info {};
    ::stat(QFile::encodeName(path).constData(), &info);
    return info;
}

QString errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const palvane::Error& e) {
        return e.message();
    }
    return QStringLiteral("<no error>");
}

// Root writes where an ordinary user may not. As root, the checks run with the file-system
// permissions of the user "nobody" (for this thread only), who is given the configuration
// folder and the settings file first.
class OrdinaryUser {
public:
    explicit OrdinaryUser(const palvane::test::Sandbox& sandbox) : root_(::geteuid() == 0) {
        if (!root_)
            return;
        ::chmod(QFile::encodeName(sandbox.path()).constData(), 0711);
        for (const QString& path : {sandbox.configDir(), sandbox.iniPath()})
            if (::chown(QFile::encodeName(path).constData(), kNobody, kNobody) != 0)
                qFatal("cannot give %s to nobody", qPrintable(path));
        ::setfsgid(kNobody);
        ::setfsuid(kNobody);
    }
    ~OrdinaryUser() {
        if (root_) {
            ::setfsuid(0);
            ::setfsgid(0);
        }
    }
    OrdinaryUser(const OrdinaryUser&) = delete;
    OrdinaryUser& operator=(const OrdinaryUser&) = delete;

private:
    static constexpr uid_t kNobody = 65534;
    const bool root_;
};

} // namespace

class TestSettingsFileService : public QObject {
    Q_OBJECT

private slots:
    void readingRules();
    void writingRules();
    void permissionsOfFileAndFolder();
};

void TestSettingsFileService::readingRules() {
    palvane::test::Sandbox sandbox;
    const SettingsFile settings(QStringLiteral("PALVANE.INI"));
    const struct {
        const char* rule;
        QByteArray file;
        int left;
    } rules[] = {
        {"a missing section gives the default", "[Other]\r\nLeft=5\r\n", 226},
        {"a section without keys gives the default", "[Window]\r\n[Other]\r\nLeft=5\r\n", 226},
        {"a missing key gives the default", "[Window]\r\nTop=5\r\n", 226},
        {"names match without regard to case", "[wINDOW]\r\nlEFT=5\r\n", 5},
        {"blanks around names and values do not count", "[ Window ]\r\n Left\t= 5 \r\n", 5},
        {"a line without '=' is no key", "[Window]\r\nLeft\r\nLeft=7\r\n", 7},
        {"an empty value is a key, read as no number", "[Window]\r\nLeft=\r\nLeft=7\r\n", 226},
        {"keys before the first section belong to none", "Left=5\r\n[Window]\r\n", 226},
        {"an empty section name is a section of its own", "[Window]\r\n[]\r\nLeft=5\r\n", 226},
        {"a value in double quotes is read without them", "[Window]\r\nLeft=\"300\"\r\n", 300},
        {"a value in single quotes is read without them", "[Window]\r\nLeft='300'\r\n", 300},
        {"lines may end in CR alone", "[Window]\rTop=1\rLeft=5\r", 5},
        {"lines may end in LF alone", "[Window]\nTop=1\nLeft=5\n", 5},
        {"a value is read up to 1023 characters",
         "[Window]\r\nLeft=" + QByteArray(1021, '0') + "456", 45},
        {"bytes before the first section do not count",
         bytes("Data \0 before \0 first\r\n[Window]\r\nLeft=5\r\n"), 5},
    };
    for (const auto& r : rules) {
        writeFile(sandbox.iniPath(), r.file);
        QVERIFY2(settings.ReadInteger("Window", "Left", 226) == r.left, r.rule);
    }
    // Nothing is cached: a deleted file gives the default; a file in the working directory
    // is not the settings file.
    QVERIFY(QFile::remove(sandbox.iniPath()));
    writeFile(sandbox.path() + "/PALVANE.INI", "[Window]\r\nLeft=5\r\n");
    QCOMPARE(settings.ReadInteger("Window", "Left", 226), 226);
}

void TestSettingsFileService::writingRules() {
    palvane::test::Sandbox sandbox;
    const SettingsFile settings(QStringLiteral("PALVANE.INI"));
    const struct {
        const char* rule;
        std::optional<QByteArray> before; // no file at all without one
        int left;
        QByteArray after;
    } rules[] = {
        {"a new file holds the section and the key, lines ending in CR LF", std::nullopt, 1,
         "[Window]\r\nLeft=1\r\n"},
        {"a new section follows the last line directly", "[App1]\r\nk=v\r\n", 1,
         "[App1]\r\nk=v\r\n[Window]\r\nLeft=1\r\n"},
        {"a last line without its ending gets one first", "[App1]\r\nk=v", 1,
         "[App1]\r\nk=v\r\n[Window]\r\nLeft=1\r\n"},
        {"a new key follows the last key of its section", "[Window]\r\nTop=2\r\n[App2]\r\n", -40,
         "[Window]\r\nTop=2\r\nLeft=-40\r\n[App2]\r\n"},
        {"an existing key's value is replaced in place", "[window]\r\n left = 9 \r\nTop=2\r\n", 1,
         "[window]\r\nLeft=1\r\nTop=2\r\n"},
        {"lines that are no keys stay in the section", "[Window]\r\nname3\r\n", 1,
         "[Window]\r\nname3\r\nLeft=1\r\n"},
        {"bytes before the first section, NULs too, stay",
         bytes("Data \0 before \0 first\r\n[Window]\r\nLeft=3\r\n"), 1,
         bytes("Data \0 before \0 first\r\n[Window]\r\nLeft=1\r\n")},
        {"new lines take the file's own ending (LF)", "[Window]\nTop=2\n", 1,
         "[Window]\nTop=2\nLeft=1\n"},
        {"new lines take the file's own ending (CR)", "[Window]\rTop=2\r", 1,
         "[Window]\rTop=2\rLeft=1\r"},
    };
    for (const auto& r : rules) {
        QFile::remove(sandbox.iniPath());
        if (r.before)
            writeFile(sandbox.iniPath(), *r.before);
        settings.WriteInteger("Window", "Left", r.left);
        QVERIFY2(readFile(sandbox.iniPath()) == r.after, r.rule);
        QVERIFY2(settings.ReadInteger("Window", "Left", 226) == r.left, r.rule);
    }
}

void TestSettingsFileService::permissionsOfFileAndFolder() {
    palvane::test::Sandbox sandbox;
    const SettingsFile settings(QStringLiteral("PALVANE.INI"));
    const QString dir = sandbox.configDir();
    const QString ini = sandbox.iniPath();
    const QByteArray dirName = QFile::encodeName(dir);
    const QByteArray iniName = QFile::encodeName(ini);
    const QByteArray original = "; mine\r\n[Window]\r\nLeft=100\r\nTop=50\r\n";
    const QString refused = QStringLiteral("Unable to write to PALVANE.INI");
    const auto entries = [&] {
        return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    };
    writeFile(ini, original);
    const OrdinaryUser user(sandbox);

    // A read-only file in a writable folder is refused, not replaced by the rename.
    QCOMPARE(::chmod(iniName.constData(), 0444), 0);
    QCOMPARE(errorOf([&] { settings.WriteInteger("Window", "Left", 120); }), refused);
    QCOMPARE(readFile(ini), original);
    QCOMPARE(status(ini).st_mode & 07777, mode_t(0444));
    QCOMPARE(entries(), QStringList{"PALVANE.INI"});

    // A writable file in a read-only folder is written where it is, longer and shorter.
    QCOMPARE(::chmod(iniName.constData(), 0644), 0);
    QCOMPARE(::chmod(dirName.constData(), 0555), 0);
    const ino_t inode = status(ini).st_ino;
    settings.WriteInteger("Window", "Left", -12345);
    settings.WriteInteger("Window", "Top", 7);
    QCOMPARE(readFile(ini), QByteArray("; mine\r\n[Window]\r\nLeft=-12345\r\nTop=7\r\n"));
    settings.WriteInteger("Window", "Left", 3);
    QCOMPARE(readFile(ini), QByteArray("; mine\r\n[Window]\r\nLeft=3\r\nTop=7\r\n"));
    QCOMPARE(status(ini).st_ino, inode);
    QCOMPARE(settings.ReadInteger("Window", "Left", 226), 3);

    // Without a file, a read-only folder takes none.
    QCOMPARE(::chmod(dirName.constData(), 0755), 0);
    QVERIFY(QFile::remove(ini));
    QCOMPARE(::chmod(dirName.constData(), 0555), 0);
    QCOMPARE(errorOf([&] { settings.WriteInteger("Window", "Left", 1); }), refused);
    QCOMPARE(entries(), QStringList());
    QCOMPARE(::chmod(dirName.constData(), 0755), 0);
}

QTEST_GUILESS_MAIN(TestSettingsFileService)
#include "test_settings_file_service.moc"
