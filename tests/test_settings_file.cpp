#include "core/settings_file.h"

#include "core/ini_format.h"
#include "tests/support/sandbox.h"
#include "widgets/error_report.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <stdexcept>
#include <unistd.h>

using palvane::SettingsFile;
namespace ini = palvane::ini;

namespace {

QByteArray readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<unreadable>";
    return file.readAll();
}

// A byte string with its embedded NULs.
template <std::size_t N> QByteArray bytes(const char (&text)[N]) {
    return QByteArray(text, N - 1);
}

void writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(content), content.size());
}

// The message of the palvane::Error that f throws, or a note that it threw none.
template <class F> QString errorOf(F&& f) {
    try {
        f();
    } catch (const palvane::Error& e) {
        return e.message();
    }
    return QStringLiteral("<no error>");
}

// Restores an environment variable at the end of a test.
class EnvGuard {
public:
    explicit EnvGuard(const char* name)
        : name_(name), wasSet_(qEnvironmentVariableIsSet(name)), old_(qgetenv(name)) {}
    ~EnvGuard() {
        if (wasSet_)
            qputenv(name_, old_);
        else
            qunsetenv(name_);
    }
    EnvGuard(const EnvGuard&) = delete;
    EnvGuard& operator=(const EnvGuard&) = delete;

private:
    const char* name_;
    bool wasSet_;
    QByteArray old_;
};

} // namespace

class TestSettingsFile : public QObject {
    Q_OBJECT

private slots:
    void convertsIntegerTexts_data();
    void convertsIntegerTexts();
    void readsValuesFromContent();
    void writesValuesKeepingEverythingElse();
    void firstRunUsesDefaultsAndCreatesFile();
    void readsEachKeyOnItsOwn();
    void writeKeepsOtherContentOfRealFile();
    void unwritableLocationGivesExactError();
    void tenMebibyteLineSurvives();
    void writeRemovesTemporariesOfKilledWrites();
    void locationFollowsEnvironment();
};

void TestSettingsFile::convertsIntegerTexts_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<std::optional<int>>("expected");
    // Each row is named by its text in brackets, so blanks show.
    const auto row = [](const char* text, std::optional<int> expected) {
        QTest::addRow("[%s]", text) << QByteArray(text) << expected;
    };
    row("300", 300);
    row("0x12C", 300);
    row("$12C", 300);
    row("-40", -40);
    row("0x64", 100);
    row("$32", 50);
    row("0X1f", 31);
    row("$abcDEF", 0xABCDEF);
    row("+5", 5);
    row(" 7", 7);
    row("   -7", -7);
    row("007", 7);
    row("-0", 0);
    row("-2147483648", -2147483647 - 1);
    row("2147483647", 2147483647);
    row("$FFFFFFFF", -1);
    row("0xffffffff", -1);
    row("$80000000", -2147483647 - 1);
    row("$000000000012C", 300); // leading zeros do not count against the 32 bits
    row("", std::nullopt);
    row("abc", std::nullopt);
    row("0x", std::nullopt);
    row("0X", std::nullopt);
    row("$", std::nullopt);
    row("12px", std::nullopt);
    row("12 ", std::nullopt); // the file's own blanks are trimmed before conversion
    row("1 2", std::nullopt);
    row("-", std::nullopt);
    row("+", std::nullopt);
    row("--5", std::nullopt);
    row("+-5", std::nullopt);
    row("2147483648", std::nullopt);
    row("-2147483649", std::nullopt);
    row("99999999999999999999999999", std::nullopt);
    row("$100000000", std::nullopt);
    row("$-1", std::nullopt);
    row("-$5", std::nullopt);
    row("$0x5", std::nullopt);
    row("0x-5", std::nullopt);
    row("0x 5", std::nullopt);
    row("$12G", std::nullopt);
    row(" 0x10", std::nullopt); // "0x" counts only at the very start
    row("\t7", std::nullopt);
    row("1.5", std::nullopt);
    row("1e3", std::nullopt);
    QTest::newRow("[12<NUL>]") << bytes("12\0") << std::optional<int>();
}

void TestSettingsFile::convertsIntegerTexts() {
    palvane::test::Sandbox sandbox;
    QFETCH(QByteArray, text);
    QFETCH(std::optional<int>, expected);
    const auto shown = [](std::optional<int> n) {
        return n ? QString::number(*n) : QStringLiteral("no number");
    };
    QCOMPARE(shown(ini::convertInteger(text)), shown(expected));
}

void TestSettingsFile::readsValuesFromContent() {
    palvane::test::Sandbox sandbox;
    const auto read = [](const QByteArray& content, const char* section = "Window",
                         const char* key = "Left") {
        return ini::readValue(content, section, key);
    };
    QVERIFY(read("") == std::nullopt);
    QVERIFY(read("[Other]\nLeft=1\n") == std::nullopt);
    QVERIFY(read("[Window]\nTop=1\n") == std::nullopt);
    QVERIFY(read("Left=1\n[Window]\n") == std::nullopt); // keys before any section are nobody's
    QVERIFY(read("[Window]\nLeft=1\n[Other]\n", "Other") == std::nullopt);
    QCOMPARE(read("[Window]\nLeft=300\nTop=200\n"), QByteArray("300"));
    QCOMPARE(read("[Window]\nLeft=300\nTop=200\n", "Window", "Top"), QByteArray("200"));

    // Names without regard to case; blanks around names and values trimmed.
    QCOMPARE(read("[wINDOW]\nlEFT=5\n"), QByteArray("5"));
    QCOMPARE(read("[Window]\nleft=5\n", "WINDOW", "LEFT"), QByteArray("5"));
    QCOMPARE(read("  [ Window ]  ; note\n\t Left \t=  12  \t\n"), QByteArray("12"));
    QCOMPARE(read("[Window]\nLeft=\n"), QByteArray(""));
    QCOMPARE(read("[Window]\nLeft=a=b\n"), QByteArray("a=b"));
    QCOMPARE(read("[Window]\nLeft=\"5\"\n"), QByteArray("5")); // the service drops the quotes

    // Comments, broken headers and lines without "=" are not keys.
    QVERIFY(read("[Window]\n;Left=1\n") == std::nullopt);
    QVERIFY(read("[Window]\n  ; Left=1\nLeft\n") == std::nullopt);
    QVERIFY(read("[Window\nLeft=1\n") == std::nullopt);
    QCOMPARE(read("[Window]\n[Window\nLeft=1\n"), QByteArray("1"));

    // Line endings, byte-order mark, no final newline.
    QCOMPARE(read("[Window]\r\nLeft=7\r\nTop=8\r\n"), QByteArray("7"));
    QCOMPARE(read("\xEF\xBB\xBF[Window]\nLeft=9\n"), QByteArray("9"));
    QCOMPARE(read("[Window]\nLeft=10"), QByteArray("10"));

    // Duplicates: the first section with the name is the one, and its first key.
    QCOMPARE(read("[Window]\nLeft=1\nLeft=2\n"), QByteArray("1"));
    QCOMPARE(read("[Window]\nLeft=1\n[window]\nLeft=2\n"), QByteArray("1"));
    QVERIFY(read("[Window]\nTop=1\n[Window]\nLeft=2\n") == std::nullopt);

    // Binary garbage elsewhere does not disturb the key.
    const QByteArray garbage = bytes("\0\xff\xfe[\x01]=\x80\n[Window]\n\0junk\nLeft=3\n");
    QCOMPARE(read(garbage), QByteArray("3"));

    // Long values are cut to 1023 characters, after trimming.
    const QByteArray longValue(5000, '7');
    QCOMPARE(read("[Window]\nLeft=   " + longValue + "\n"), longValue.left(1023));
}

void TestSettingsFile::writesValuesKeepingEverythingElse() {
    palvane::test::Sandbox sandbox;
    const auto write = [](const QByteArray& content, const char* key, const char* value) {
        return ini::writeValue(content, "Window", key, value);
    };

    QCOMPARE(write("", "Left", "1"), QByteArray("[Window]\r\nLeft=1\r\n"));
    QCOMPARE(write(write("", "Left", "1"), "Top", "2"),
             QByteArray("[Window]\r\nLeft=1\r\nTop=2\r\n"));

    // Replaced in place with the caller's spelling; position and line ending kept.
    QCOMPARE(write("[Window]\n  left = 5 \nTop=2\n", "Left", "-40"),
             QByteArray("[Window]\nLeft=-40\nTop=2\n"));
    QCOMPARE(write("[window]\r\nLEFT=5\r\nTop=2\r\n", "Left", "9"),
             QByteArray("[window]\r\nLeft=9\r\nTop=2\r\n"));
    QCOMPARE(write("[Window]\nLeft=5", "Left", "6"), QByteArray("[Window]\nLeft=6"));

    // A missing key goes after the last non-blank line of its own section.
    QCOMPARE(write("[Window]\nLeft=1\n\n[Other]\nA=b\n", "Top", "2"),
             QByteArray("[Window]\nLeft=1\nTop=2\n\n[Other]\nA=b\n"));
    QCOMPARE(write("[Window]\nLeft=1\n; tail comment\n\n\n[Other]\n", "Top", "2"),
             QByteArray("[Window]\nLeft=1\n; tail comment\nTop=2\n\n\n[Other]\n"));
    QCOMPARE(write("[Window]\n[Other]\n", "Top", "2"), QByteArray("[Window]\nTop=2\n[Other]\n"));
    QCOMPARE(write("[Window]\nLeft=1", "Top", "2"), QByteArray("[Window]\nLeft=1\nTop=2\n"));
    QCOMPARE(write("[Window]\r\nLeft=1\r\n", "Top", "2"),
             QByteArray("[Window]\r\nLeft=1\r\nTop=2\r\n"));

    // A missing section is appended right after the file's last line.
    QCOMPARE(write("[Other]\nA=b\n", "Left", "1"), QByteArray("[Other]\nA=b\n[Window]\nLeft=1\n"));
    QCOMPARE(write("[Other]\nA=b", "Left", "1"), QByteArray("[Other]\nA=b\n[Window]\nLeft=1\n"));
    QCOMPARE(write("[Other]\nA=b\n\n", "Left", "1"),
             QByteArray("[Other]\nA=b\n\n[Window]\nLeft=1\n"));
    QCOMPARE(write("[Other]\r\nA=b\r\n", "Left", "1"),
             QByteArray("[Other]\r\nA=b\r\n[Window]\r\nLeft=1\r\n"));
    QCOMPARE(write("; only a comment", "Left", "1"),
             QByteArray("; only a comment\r\n[Window]\r\nLeft=1\r\n"));

    // Byte-order mark kept in front.
    QCOMPARE(write("\xEF\xBB\xBF", "Left", "1"), QByteArray("\xEF\xBB\xBF[Window]\r\nLeft=1\r\n"));
    QCOMPARE(write("\xEF\xBB\xBF[Window]\nLeft=1\n", "Left", "2"),
             QByteArray("\xEF\xBB\xBF[Window]\nLeft=2\n"));

    // Duplicates: the first section and its first key change, nothing else.
    QCOMPARE(write("[Window]\nLeft=1\nLeft=2\n[WINDOW]\nLeft=3\n", "Left", "4"),
             QByteArray("[Window]\nLeft=4\nLeft=2\n[WINDOW]\nLeft=3\n"));
    QCOMPARE(write("[Window]\nA=1\n[Window]\nLeft=3\n", "Left", "4"),
             QByteArray("[Window]\nA=1\nLeft=4\n[Window]\nLeft=3\n"));

    // Binary garbage and NULs around the section survive byte for byte.
    const QByteArray garbage = bytes("\0\xff[\x01]\n[Window]\nLeft=1\n\0\x80\x7f\n");
    QByteArray expected = garbage;
    expected.replace("Left=1", "Left=22");
    QCOMPARE(write(garbage, "Left", "22"), expected);

    // Writing what is already there changes nothing.
    const QByteArray once = write("[A]\nx=1\n", "Left", "5");
    QCOMPARE(write(once, "Left", "5"), once);

    // Names that could not be read back as themselves are refused.
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, ini::writeValue("", "Win]dow", "Left", "1"));
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, ini::writeValue("", "Window", "Le=ft", "1"));
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, ini::writeValue("", "Window", " Left", "1"));
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, ini::writeValue("", "Window", "", "1"));
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument,
                             ini::writeValue("", "Window", "Left", "1\n[Evil]"));
}

void TestSettingsFile::firstRunUsesDefaultsAndCreatesFile() {
    palvane::test::Sandbox sandbox;
    QVERIFY(QDir(sandbox.configDir()).removeRecursively());
    const SettingsFile settings(QStringLiteral("PALVANE.INI"));
    QCOMPARE(settings.fileName(), QStringLiteral("PALVANE.INI"));
    QCOMPARE(settings.filePath(), sandbox.iniPath());
    QCOMPARE(settings.ReadInteger("Window", "Left", 226), 226);
    QCOMPARE(settings.ReadInteger("Window", "Top", 167), 167);
    QVERIFY(!QFileInfo::exists(sandbox.configDir())); // reading creates nothing

    settings.WriteInteger("Window", "Left", 300);
    settings.WriteInteger("Window", "Top", -25);
    QCOMPARE(readFile(sandbox.iniPath()), QByteArray("[Window]\r\nLeft=300\r\nTop=-25\r\n"));
    QCOMPARE(settings.ReadInteger("Window", "Left", 226), 300);
    QCOMPARE(settings.ReadInteger("Window", "Top", 167), -25);
    // A second object (the next run) sees the same file.
    QCOMPARE(SettingsFile("PALVANE.INI").ReadInteger("Window", "Top", 167), -25);
    // No temporary file is left beside it.
    QCOMPARE(
        QDir(sandbox.configDir()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
        QStringList{"PALVANE.INI"});
}

void TestSettingsFile::readsEachKeyOnItsOwn() {
    palvane::test::Sandbox sandbox;
    const SettingsFile settings("PALVANE.INI");
    const auto position = [&] {
        return QPair<int, int>(settings.ReadInteger("Window", "Left", 226),
                               settings.ReadInteger("Window", "Top", 167));
    };
    writeFile(sandbox.iniPath(), "[Window]\nLeft=0x64\nTop=$32\n");
    QCOMPARE(position(), qMakePair(100, 50));
    // Nothing is cached: a change of the file shows at the next read.
    writeFile(sandbox.iniPath(), "[Window]\nLeft=\nTop=$32\n");
    QCOMPARE(position(), qMakePair(226, 50));
    writeFile(sandbox.iniPath(), "[Window]\nLeft=12px\nTop=40\n");
    QCOMPARE(position(), qMakePair(226, 40));
    writeFile(sandbox.iniPath(), "[Window]\nTop=40\n");
    QCOMPARE(position(), qMakePair(226, 40));
    writeFile(sandbox.iniPath(), "[Other]\nLeft=1\nTop=2\n");
    QCOMPARE(position(), qMakePair(226, 167));
    writeFile(sandbox.iniPath(), "[WINDOW]\r\n  left = 12  \r\ntop=-3\r\n");
    QCOMPARE(position(), qMakePair(12, -3));

    // Negative and extreme values round trip.
    for (const int value : {-1, -40, -2147483647 - 1, 2147483647, 0}) {
        settings.WriteInteger("Window", "Left", value);
        QCOMPARE(settings.ReadInteger("Window", "Left", 226), value);
    }
    QCOMPARE(readFile(sandbox.iniPath()), QByteArray("[WINDOW]\r\nLeft=0\r\ntop=-3\r\n"));
}

void TestSettingsFile::writeKeepsOtherContentOfRealFile() {
    palvane::test::Sandbox sandbox;
    const SettingsFile settings("PALVANE.INI");
    const QByteArray before("\xEF\xBB\xBF; Palvane settings\r\n"
                            "[Fonts]\r\n"
                            "Face = Arial \r\n"
                            "\r\n"
                            "[window]\r\n"
                            "TOP=1\r\n"
                            "Extra=\x01\xff\r\n"
                            "\r\n"
                            "[Last]\r\n"
                            "k=v");
    writeFile(sandbox.iniPath(), before);
    // 0640, unlike what a new file would get, so the write must carry the bits over.
    QVERIFY(QFile::setPermissions(sandbox.iniPath(),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    settings.WriteInteger("Window", "Left", -8);
    settings.WriteInteger("Window", "Top", 700);
    const QByteArray after("\xEF\xBB\xBF; Palvane settings\r\n"
                           "[Fonts]\r\n"
                           "Face = Arial \r\n"
                           "\r\n"
                           "[window]\r\n"
                           "Top=700\r\n"
                           "Extra=\x01\xff\r\n"
                           "Left=-8\r\n"
                           "\r\n"
                           "[Last]\r\n"
                           "k=v");
    QCOMPARE(readFile(sandbox.iniPath()), after);
    // The owner stays too (an administrator may write a user's file).
    if (::geteuid() == 0) {
        QCOMPARE(::chown(QFile::encodeName(sandbox.iniPath()).constData(), 4321, 4322), 0);
        settings.WriteInteger("Window", "Top", 700);
        QCOMPARE(QFileInfo(sandbox.iniPath()).ownerId(), 4321u);
        QCOMPARE(QFileInfo(sandbox.iniPath()).groupId(), 4322u);
        QCOMPARE(readFile(sandbox.iniPath()), after);
    }
    QCOMPARE(QFile::permissions(sandbox.iniPath()), QFile::ReadOwner | QFile::WriteOwner |
                                                        QFile::ReadUser | QFile::WriteUser |
                                                        QFile::ReadGroup);

    // A settings file that is a link to a file elsewhere stays a link.
    const QString elsewhere = sandbox.path() + "/kept/PALVANE.INI";
    QVERIFY(QDir().mkpath(sandbox.path() + "/kept"));
    QVERIFY(QFile::rename(sandbox.iniPath(), elsewhere));
    QVERIFY(QFile::link(elsewhere, sandbox.iniPath()));
    settings.WriteInteger("Window", "Left", 5);
    QVERIFY(QFileInfo(sandbox.iniPath()).isSymLink());
    QByteArray linked = after;
    linked.replace("Left=-8", "Left=5");
    QCOMPARE(readFile(elsewhere), linked);
    QCOMPARE(settings.ReadInteger("Window", "Left", 226), 5);
}

void TestSettingsFile::unwritableLocationGivesExactError() {
    palvane::test::Sandbox sandbox;
    const SettingsFile settings("PALVANE.INI");
    const QString expected = QStringLiteral("Unable to write to PALVANE.INI");

    // The configuration directory cannot exist: a regular file stands in its place.
    QVERIFY(QDir(sandbox.configDir()).removeRecursively());
    writeFile(sandbox.configDir(), "not a directory");
    QCOMPARE(errorOf([&] { settings.WriteInteger("Window", "Left", 1); }), expected);
    QCOMPARE(readFile(sandbox.configDir()), QByteArray("not a directory"));
    QCOMPARE(settings.ReadInteger("Window", "Left", 226), 226);

    // The settings file itself is a directory: it is neither read nor replaced.
    QVERIFY(QFile::remove(sandbox.configDir()));
    QVERIFY(QDir().mkpath(sandbox.iniPath() + "/inside"));
    QCOMPARE(errorOf([&] { settings.WriteInteger("Window", "Top", 2); }), expected);
    QVERIFY(QFileInfo(sandbox.iniPath() + "/inside").isDir());
    QCOMPARE(settings.ReadInteger("Window", "Top", 167), 167);

    // The message carries the name as given.
    QVERIFY(QDir().mkpath(sandbox.configDir() + "/Odd.INI"));
    QCOMPARE(errorOf([&] { SettingsFile("Odd.INI").WriteInteger("Window", "Left", 1); }),
             QStringLiteral("Unable to write to Odd.INI"));
}

void TestSettingsFile::tenMebibyteLineSurvives() {
    palvane::test::Sandbox sandbox;
    const SettingsFile settings("PALVANE.INI");
    QByteArray huge(10 * 1024 * 1024, 'x');
    huge[0] = ';';
    const QByteArray longValue = "[Window]\nLeft=" + QByteArray(10 * 1024 * 1024, '1') + "\n";
    writeFile(sandbox.iniPath(), huge + "\n" + longValue + "[Other]\nA=" + huge + "\n");

    QCOMPARE(settings.ReadInteger("Window", "Left", 226), 226); // cut to 1023 digits: too large
    QCOMPARE(settings.ReadInteger("Window", "Top", 167), 167);
    settings.WriteInteger("Window", "Top", 42);
    QCOMPARE(readFile(sandbox.iniPath()),
             huge + "\n" + longValue + "Top=42\n[Other]\nA=" + huge + "\n");
    settings.WriteInteger("Window", "Left", 7);
    QCOMPARE(readFile(sandbox.iniPath()),
             huge + "\n[Window]\nLeft=7\nTop=42\n[Other]\nA=" + huge + "\n");
    QCOMPARE(settings.ReadInteger("Window", "Left", 226), 7);
    QCOMPARE(settings.ReadInteger("Window", "Top", 167), 42);
}

void TestSettingsFile::writeRemovesTemporariesOfKilledWrites() {
    palvane::test::Sandbox sandbox;
    const SettingsFile settings("PALVANE.INI");
    const QString dir = sandbox.configDir();
    const QDateTime hourAgo = QDateTime::currentDateTime().addSecs(-3600);
    const auto place = [&](const QString& name, const QDateTime& modified) {
        writeFile(dir + "/" + name, "[Window]\r\nLeft=1\r\n");
        QFile file(dir + "/" + name);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(modified, QFileDevice::FileModificationTime));
    };
    // Left by killed writes long ago: removed.
    place(".PALVANE.INI.3k9z1.tmp", hourAgo);
    place(".PALVANE.INI.0.tmp", hourAgo);
    // Another copy's write may be under way: kept.
    place(".PALVANE.INI.fresh1.tmp", QDateTime::currentDateTime());
    // Not ours: other names, another program's file, a link to a stale-looking file.
    place(".PALVANE.INI.Upper.tmp", hourAgo);
    place(".PALVANE.INI.tmp", hourAgo);
    place(".OTHER.INI.abc.tmp", hourAgo);
    place("PALVANE.INI.abc.tmp", hourAgo);
    QVERIFY(QFile::link(dir + "/.OTHER.INI.abc.tmp", dir + "/.PALVANE.INI.link1.tmp"));

    settings.WriteInteger("Window", "Left", 9);
    QCOMPARE(settings.ReadInteger("Window", "Left", 226), 9);
    QStringList left = QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System);
    left.sort();
    QCOMPARE(left, (QStringList{".OTHER.INI.abc.tmp", ".PALVANE.INI.Upper.tmp",
                                ".PALVANE.INI.fresh1.tmp", ".PALVANE.INI.link1.tmp",
                                ".PALVANE.INI.tmp", "PALVANE.INI", "PALVANE.INI.abc.tmp"}));
}

void TestSettingsFile::locationFollowsEnvironment() {
    palvane::test::Sandbox sandbox;
    EnvGuard home("HOME");
    const SettingsFile settings("PALVANE.INI");
    const QString second = sandbox.path() + "/second";
    qputenv("HOME", sandbox.path().toLocal8Bit());

    QCOMPARE(SettingsFile::directory(), sandbox.configDir());
    settings.WriteInteger("Window", "Left", 11);

    // Read anew at every call: another directory, another file.
    qputenv("XDG_CONFIG_HOME", second.toLocal8Bit());
    QCOMPARE(settings.filePath(), second + "/PALVANE.INI");
    QCOMPARE(settings.ReadInteger("Window", "Left", 226), 226);
    settings.WriteInteger("Window", "Left", 22); // creates the missing directory
    QCOMPARE(readFile(second + "/PALVANE.INI"), QByteArray("[Window]\r\nLeft=22\r\n"));

    // A relative or empty XDG_CONFIG_HOME does not count: ~/.config takes its place.
    qputenv("XDG_CONFIG_HOME", "relative/dir");
    QCOMPARE(SettingsFile::directory(), sandbox.path() + "/.config");
    qputenv("XDG_CONFIG_HOME", "");
    QCOMPARE(SettingsFile::directory(), sandbox.path() + "/.config");
    qunsetenv("XDG_CONFIG_HOME");
    QCOMPARE(SettingsFile::directory(), sandbox.path() + "/.config");
    settings.WriteInteger("Window", "Top", 33);
    QCOMPARE(readFile(sandbox.path() + "/.config/PALVANE.INI"),
             QByteArray("[Window]\r\nTop=33\r\n"));
    QVERIFY(!QFileInfo::exists(sandbox.path() + "/relative"));

    qputenv("XDG_CONFIG_HOME", sandbox.configDir().toLocal8Bit());
    QCOMPARE(settings.ReadInteger("Window", "Left", 226), 11);
}

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "test_settings_file.moc"
