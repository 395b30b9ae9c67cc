#include "Publish.hpp"

#include <QList>
#include <QRegularExpression>
#include <QSysInfo>

#include "Csv.hpp"

namespace qv58163::recorder {

namespace {

// The scheme, what stands before '@', the host (a name, an IPv4 address or an IPv6 address in
// brackets), the port's digits and the prefix, each group empty when missing.
const QRegularExpression &urlForm() {
    static const QRegularExpression form(QStringLiteral(
        R"(^(mqtts?)://(?:([^@/]*)@)?(\[[0-9A-Fa-f:.]+\]|[^:/@\[\]]*)(?::([^/]*))?(?:/(.*))?$)"));
    return form;
}

bool isNameCharacter(QChar c) {
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
           (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('-') ||
           c == QLatin1Char('_');
}

// A topic prefix: levels of printable characters apart from the wildcards, none empty, not
// starting with '$' (the broker's own topics).
bool isPrefix(const QString &prefix) {
    if (prefix.startsWith(QLatin1Char('$'))) {
        return false;
    }
    for (const QString &level : prefix.split(QLatin1Char('/'))) {
        if (level.isEmpty() || level.contains(QLatin1Char('+')) ||
            level.contains(QLatin1Char('#')) ||
            std::any_of(level.begin(), level.end(), [](QChar c) { return !c.isPrint(); })) {
            return false;
        }
    }
    return true;
}

// The host: a name or address of letters, digits, '.', '-' and '_' (or an IPv6 address, which
// the URL form keeps in brackets).
bool isHost(const QString &host) {
    if (host.startsWith(QLatin1Char('['))) {
        return true;
    }
    return !host.isEmpty() && std::all_of(host.begin(), host.end(), [](QChar c) {
        return isNameCharacter(c) || c == QLatin1Char('.');
    });
}

// The CSV's field names, "time" to "status", as JSON keys with what follows them: "\"CH00\": ".
const QList<QByteArray> &jsonKeys() {
    static const QList<QByteArray> keys = [] {
        QList<QByteArray> all;
        for (const QByteArray &name : csvHeader().trimmed().split(',')) {
            all << ", \"" + name + "\": ";
        }
        all.first().remove(0, 2);  // no ", " before the first
        return all;
    }();
    return keys;
}

}  // namespace

QString readPublishUrl(const QString &url, PublishOptions &options) {
    const QString form = QStringLiteral("mqtt://[USER@]HOST[:PORT][/PREFIX] or mqtts://...");
    const QRegularExpressionMatch match = urlForm().match(url);
    if (!match.hasMatch()) {
        return form;
    }
    if (match.captured(2).contains(QLatin1Char(':'))) {
        return QStringLiteral("a URL without a password (it goes in %1)")
            .arg(QLatin1String(passwordVariable));
    }
    if (match.hasCaptured(2) && match.captured(2).isEmpty()) {
        return QStringLiteral("a user name before '@'");
    }
    if (!isHost(match.captured(3))) {
        return QStringLiteral("a host name or address in ") + form;
    }
    options.tls = match.captured(1) == QLatin1String("mqtts");
    options.user = match.captured(2);
    options.host = match.captured(3);
    options.port = options.tls ? 8883 : 1883;
    if (match.hasCaptured(4)) {
        bool ok = false;
        const int port = match.captured(4).toInt(&ok, 10);
        if (!ok || port < 1 || port > 65535 || !match.captured(4).front().isDigit()) {
            return QStringLiteral("a port 1 to 65535 in ") + form;
        }
        options.port = port;
    }
    if (!match.captured(5).isEmpty()) {
        if (!isPrefix(match.captured(5))) {
            return QStringLiteral(
                       "a topic prefix of levels between '/', none empty, without '+', "
                       "'#' or a leading '$', in ") +
                   form;
        }
        options.prefix = match.captured(5);
    }
    return {};
}

QString urlWithoutPassword(const QString &url) {
    const qsizetype at = url.indexOf(QLatin1Char('@'));
    const qsizetype scheme = url.indexOf(QLatin1String("://"));
    const qsizetype colon = url.indexOf(QLatin1Char(':'), scheme < 0 ? 0 : scheme + 3);
    if (at < 0 || colon < 0 || colon > at) {
        return url;
    }
    return url.left(colon + 1) + QStringLiteral("***") + url.mid(at);
}

bool isStationName(const QString &name) {
    return !name.isEmpty() && std::all_of(name.begin(), name.end(), isNameCharacter);
}

QString defaultStationName() {
    QString name = QSysInfo::machineHostName();
    for (QChar &c : name) {
        if (!isNameCharacter(c)) {
            c = QLatin1Char('-');
        }
    }
    return name.isEmpty() ? QStringLiteral("station") : name;
}

QByteArray topicOf(const PublishOptions &options, int card, const char *leaf) {
    return QStringLiteral("%1/%2/card%3/%4")
        .arg(options.prefix, options.station)
        .arg(card)
        .arg(QLatin1String(leaf))
        .toUtf8();
}

QByteArray sampleJson(QByteArrayView csvRow) {
    const QList<QByteArray> &keys = jsonKeys();
    QByteArray json;
    json.reserve(csvRow.size() + 160);
    json += '{';
    qsizetype start = 0;
    for (qsizetype k = 0; k < keys.size(); ++k) {
        qsizetype end = csvRow.indexOf(',', start);
        if (end < 0) {
            end = csvRow.size();
            while (end > start && (csvRow[end - 1] == '\n' || csvRow[end - 1] == '\r')) {
                --end;
            }
        }
        const QByteArrayView field = csvRow.sliced(start, end - start);
        json += keys[k];
        if (k == 0) {
            json += '"' + field.toByteArray() + '"';
        } else {
            json += field.isEmpty() ? QByteArrayView("null") : field;
        }
        start = end + 1;
    }
    json += '}';
    return json;
}

QByteArray stateJson(const char *state, const PublishOptions &options, int card,
                     const QString &startedUtc, std::optional<int> exitStatus) {
    // The station's name needs no escaping: letters, digits, '-' and '_'.
    QString json = QStringLiteral(R"({"state": "%1", "station": "%2", "card": %3)")
                       .arg(QLatin1String(state), options.station)
                       .arg(card);
    if (!startedUtc.isEmpty()) {
        json += QStringLiteral(R"(, "started": "%1")").arg(startedUtc);
    }
    if (exitStatus) {
        json += QStringLiteral(R"(, "exit_status": %1)").arg(*exitStatus);
    }
    return (json + QLatin1Char('}')).toUtf8();
}

QString publishedText(const PublishTally &tally) {
    QString text =
        QStringLiteral("published %1 of %2 samples, %3 dropped, reconnected %4 %5")
            .arg(tally.published)
            .arg(tally.samples)
            .arg(tally.dropped)
            .arg(tally.reconnects)
            .arg(tally.reconnects == 1 ? QStringLiteral("time") : QStringLiteral("times"));
    if (tally.unsent() > 0) {
        text += QStringLiteral(", %1 unsent").arg(tally.unsent());
    } else if (!tally.allSent) {
        text += QStringLiteral(", the report and the state \"ended\" unsent");
    }
    return text;
}

}  // namespace qv58163::recorder
