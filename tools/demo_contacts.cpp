#include "tools/demo_contacts.h"

#include "core/time_displacement.h"
#include "store/table.h"

#include <QColor>
#include <QDir>
#include <QFileInfo>
#include <QImage>

#include <array>
#include <cmath>

namespace palvane::tool {

namespace {

struct Sample {
    const char* nick;
    const char* name;
    const char* location;
    const char* email;
    const char* notes;
    int hours;
    int pattern; // picture pattern, or -1 for none
};

// Nicks include equal ones ("bob" twice) and similar ones (alpha, alpine, Alphonse) so that
// the nick search and browsing in nick order have something to show.
constexpr std::array<Sample, 14> kSamples = {{
    {"alpha", "Alan Pike", "Reykjavik, Iceland", "alpha@example.net",
     "Met on #linux in 1998.\nRuns the channel's quote bot.\nAsk him about volcanoes.", 0, 0},
    {"alpine", "Ines Berger", "Innsbruck, Austria", "ines.berger@example.at",
     "Ski instructor in winter,\nkernel hacker in summer.", 1, 1},
    {"Alphonse", "Alphonse Dubois", "Montreal, Canada", "alphonse@example.ca",
     "Speaks French and Perl.\nBirthday: 12 March.", -5, -1},
    {"bob", "Bob Marsh", "Chicago, USA", "bob@example.com", "The first bob.\nOp on #chicago.", -6,
     2},
    {"bob", "Roberto Ruiz", "Lima, Peru", "roberto@example.pe",
     "The other bob: not the one from Chicago.\nPlays charango.", -5, -1},
    {"kiwi", "Hemi Walker", "Auckland, New Zealand", "hemi@example.nz",
     "Always the first to see the new year.\nRugby talk only on #sport.", 13, 3},
    {"pago", "Sione Tuilagi", "Pago Pago, American Samoa", "sione@example.as",
     "Last to see the new year.\nSends postcards.", -11, -1},
    {"tiki", "Leilani Kahale", "Honolulu, USA", "leilani@example.org",
     "Surfs before joining in the morning.", -10, 4},
    {"sakura", "Yui Tanaka", "Osaka, Japan", "yui@example.jp",
     "Translates the channel FAQ.\nLikes trains.\nCall after 20:00 her time.", 9, 5},
    {"nadia", "Nadia Haddad", "Beirut, Lebanon", "nadia@example.lb",
     "Mathematician.\nAsk her about prime numbers.", 2, -1},
    {"mate", "Lucas Ferreira", "Porto Alegre, Brazil", "lucas@example.br",
     "Drinks chimarrao during long sessions.", -3, 6},
    {"vlad", "Vladimir Sokolov", "Vladivostok, Russia", "vlad@example.ru",
     "Night owl.\nKeeps the channel logs since 2001.", 10, -1},
    {"rasa", "Rasa Rahman", "Dhaka, Bangladesh", "rasa@example.bd", "Writes poems in the topic.", 6,
     7},
    {"zed", "Zbigniew Nowak", "Gdansk, Poland", "zed@example.pl",
     "Last in the list, first to answer.\nSails on weekends.", 1, -1},
}};

// A 64x64 colourful pattern, different for each pattern number.
QImage patternImage(int pattern) {
    QImage image(64, 64, QImage::Format_RGB32);
    const double hue = (pattern * 47) % 360;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const double dx = x - 31.5;
            const double dy = y - 31.5;
            const double radius = std::sqrt(dx * dx + dy * dy);
            double shade = 0.0;
            switch (pattern % 4) {
            case 0: // rings
                shade = 0.5 + 0.5 * std::sin(radius / (2.0 + pattern % 3));
                break;
            case 1: // checks
                shade = ((x / 8 + y / 8) % 2) ? 0.9 : 0.35;
                break;
            case 2: // diagonal stripes
                shade = 0.5 + 0.5 * std::sin((x + y) / 4.0);
                break;
            default: // spokes
                shade = 0.5 + 0.5 * std::sin(6.0 * std::atan2(dy, dx));
                break;
            }
            const int h = static_cast<int>(hue + 120.0 * x / 64.0) % 360;
            image.setPixelColor(x, y, QColor::fromHsv(h, 200, static_cast<int>(80 + 175 * shade)));
        }
    }
    return image;
}

QString picturePath(const QDir& dir, const Sample& sample, int number) {
    const QString name =
        QStringLiteral("%1-%2.bmp").arg(QString::fromUtf8(sample.nick)).arg(number);
    const QString path = dir.absoluteFilePath(name);
    if (QFileInfo::exists(path))
        return path; // drawn by an earlier demo: keep it
    if (!patternImage(sample.pattern).save(path, "BMP"))
        throw TableError(QStringLiteral("Cannot write the picture %1").arg(path));
    return path;
}

} // namespace

std::vector<ContactRow> sampleContacts(const QString& pictureDir) {
    QDir dir(pictureDir);
    if (!dir.mkpath(QStringLiteral(".")))
        throw TableError(QStringLiteral("Cannot make the picture directory %1").arg(pictureDir));
    std::vector<ContactRow> rows;
    int number = 0;
    for (const Sample& sample : kSamples) {
        ++number;
        ContactRow row;
        row.nick = QString::fromUtf8(sample.nick);
        row.name = QString::fromUtf8(sample.name);
        row.location = QString::fromUtf8(sample.location);
        row.email = QString::fromUtf8(sample.email);
        row.notes = QString::fromUtf8(sample.notes);
        row.spin = sample.hours;
        row.timeDisplacement = hoursToDays(sample.hours);
        if (sample.pattern >= 0)
            row.picture = picturePath(dir, sample, number);
        rows.push_back(std::move(row));
    }
    return rows;
}

void generatedContact(qint64 i, ContactRow& row) {
    static const std::array<const char*, 16> syllables = {"ka", "lo", "mi", "ra", "zu", "ne",
                                                          "to", "vi", "sa", "do", "re", "xa",
                                                          "be", "qu", "fi", "yo"};
    static const std::array<const char*, 8> places = {"Oslo",  "Lagos", "Quito", "Perth",
                                                      "Hanoi", "Tunis", "Lyon",  "Austin"};
    // splitmix64 spreads consecutive numbers over the whole nick space.
    quint64 h = static_cast<quint64>(i) + 0x9e3779b97f4a7c15ULL;
    h = (h ^ (h >> 30)) * 0xbf58476d1ce4e5b9ULL;
    h = (h ^ (h >> 27)) * 0x94d049bb133111ebULL;
    h ^= h >> 31;
    QString nick;
    nick.reserve(12);
    for (int s = 0; s < 3; ++s)
        nick += QLatin1String(syllables[(h >> (4 * s)) & 15]);
    nick += QString::number((h >> 12) % 1000); // at a million rows about a fifth share a nick
    const int hours = static_cast<int>(i % 25) - 11;
    row.nick = nick;
    row.name = QStringLiteral("Contact %1").arg(i + 1);
    row.location = QLatin1String(places[(h >> 40) & 7]);
    row.email = nick + QStringLiteral("@example.org");
    row.notes = QStringLiteral("Generated contact %1.").arg(i + 1);
    row.spin = hours;
    row.timeDisplacement = hoursToDays(hours);
}

} // namespace palvane::tool
