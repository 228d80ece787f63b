#include "runs/options.h"

#include "database/db.h"
#include "database/settingsrow.h"
#include "support/errors.h"
#include "support/messages.h"
#include "support/settingsstore.h"
#include "support/state.h"
#include "support/textconv.h"

#include <algorithm>

namespace options {

QStringList secondsItems()
{
    QStringList items;
    for (int n = 1; n <= kMaxSeconds; ++n)
        items << QString::number(n);
    return items;
}

QStringList delayItems()
{
    QStringList items;
    for (int n = 1; n <= kDelayItems; ++n)
        items << QString::number(n * kDelayStep);
    return items;
}

int delayIndex(int ms) { return std::clamp(ms / kDelayStep - 1, 0, kDelayItems - 1); }

QString delayQuestion()
{
    return QStringLiteral("   If you don't use this delay and you have a fast internet-connection then\r\n"
                          "it is possible that the server thinks you are attacking him and disconnects you.\r\n") +
           QString(51, QLatin1Char(' ')) + QStringLiteral("Are you sure?");
}

bool setDelay(bool on)
{
    if (!on && !askYesNo(delayQuestion(), QString(), true))
        on = true;
    settings().isdelay = on;
    store::write(QStringLiteral("Isdelay"), textconv::fromBool(on));
    return on;
}

void setIntegrityAction(integrity::Action action)
{
    store::write(QStringLiteral("IntegrityAction"), integrity::actionName(action));
}

QStringList integrityItems()
{
    return {QStringLiteral("Flag: write the quote as sent and record the finding"),
            QStringLiteral("Repair what is unambiguous, flag the rest"),
            QStringLiteral("Skip: do not write a quote with a finding")};
}

void setDefaults()
{
    ProgramSettings& s = settings();
    s.teller2 = 10;
    s.teller3 = 5;
    s.teller4 = 0;
    s.teller5 = 1;
    s.isdelay = true;
    s.split = 0;
    s.dcurrent = 0;
    s.reject = true;
    s.server = QLatin1Char('U');
    s.intervalDownload = kDefaultDelay;
    setIntegrityAction(integrity::Action::Flag);
    save();
}

void save()
{
    guarded([] {
        auto db = Database::openDefault();
        settingsrow::saveOptions(*db);
    });
    const ProgramSettings& s = settings();
    store::write(QStringLiteral("server"), s.server == QLatin1Char('E') ? QStringLiteral("E") : QStringLiteral("U"));
    store::write(QStringLiteral("Isdelay"), textconv::fromBool(s.isdelay));
    store::write(QStringLiteral("reject"), textconv::fromBool(s.reject));
    store::write(QStringLiteral("Intervaldownload"), QString::number(s.intervalDownload));
}

namespace {
std::optional<int> inRange(const QString& value, int min, int max)
{
    const auto n = textconv::toInteger(value, min, max);
    if (!n)
        return std::nullopt;
    return static_cast<int>(*n);
}
}  // namespace

QString setByName(const QString& name, const QString& value)
{
    ProgramSettings& s = settings();
    auto is = [&name](const char* n) { return name.compare(QLatin1String(n), Qt::CaseInsensitive) == 0; };
    auto bad = [&name, &value](const QString& allowed) {
        return QStringLiteral("Invalid value \"%1\" for %2: %3").arg(value, name, allowed);
    };
    if (is("teller2") || is("teller3")) {
        const auto n = inRange(value, 1, kMaxSeconds);
        if (!n)
            return bad(QStringLiteral("a whole number from 1 to 60"));
        (is("teller2") ? s.teller2 : s.teller3) = *n;
    } else if (is("teller4") || is("teller5") || is("split") || is("dcurrent")) {
        const auto flag = inRange(value, 0, 1);
        if (!flag)
            return bad(QStringLiteral("0 or 1"));
        const int n = *flag;
        if (is("teller4"))
            s.teller4 = n;
        else if (is("teller5"))
            s.teller5 = n;
        else if (is("split"))
            s.split = n;
        else
            s.dcurrent = n;
    } else if (is("Isdelay") || is("reject")) {
        const auto flag = textconv::toBool(value);
        if (!flag)
            return bad(QStringLiteral("True or False"));
        if (is("Isdelay")) {
            if (setDelay(*flag) != *flag)
                return QStringLiteral("The delay stays on");
        } else {
            s.reject = *flag;
        }
    } else if (is("IntervalDownload")) {
        const auto n = inRange(value, kDelayStep, kDelayStep * kDelayItems);
        if (!n || *n % kDelayStep != 0)
            return bad(QStringLiteral("a multiple of 125 from 125 to 10000"));
        s.intervalDownload = *n;
    } else if (is("IntegrityAction")) {
        const auto action = integrity::actionFromName(value);
        if (!action)
            return bad(QStringLiteral("flag, repair or skip"));
        setIntegrityAction(*action);
    } else if (is("server")) {
        const QString v = value.trimmed().toUpper();
        if (v != QLatin1String("U") && v != QLatin1String("E"))
            return bad(QStringLiteral("U or E"));
        s.server = v.at(0);
    } else {
        return QStringLiteral("Unknown option: %1").arg(name);
    }
    save();
    return {};
}

QVector<QPair<QString, QString>> describe()
{
    const ProgramSettings& s = settings();
    return {
        {QStringLiteral("teller2"), QString::number(s.teller2)},
        {QStringLiteral("teller3"), QString::number(s.teller3)},
        {QStringLiteral("teller4"), QString::number(s.teller4)},
        {QStringLiteral("teller5"), QString::number(s.teller5)},
        {QStringLiteral("Isdelay"), textconv::fromBool(s.isdelay)},
        {QStringLiteral("IntervalDownload"), QString::number(s.intervalDownload)},
        {QStringLiteral("split"), QString::number(s.split)},
        {QStringLiteral("dcurrent"), QString::number(s.dcurrent)},
        {QStringLiteral("reject"), textconv::fromBool(s.reject)},
        {QStringLiteral("server"), QString(s.server)},
        {QStringLiteral("IntegrityAction"), integrity::actionName(integrity::storedAction())},
    };
}

void saveDownloadLists(const std::array<bool, 17>& chosen)
{
    for (int n = 1; n <= 16; ++n) {
        settings().dList[n] = chosen[n];
        store::write(QStringLiteral("DList%1").arg(n), textconv::fromBool(chosen[n]));
    }
}

QVector<int> chosenLists()
{
    QVector<int> chosen;
    for (int n = 1; n <= 16; ++n) {
        if (settings().dList[n])
            chosen << n;
    }
    return chosen;
}

QString chosenListNames()
{
    QStringList names;
    for (int n : chosenLists()) {
        const QString name = settings().listNames[n].trimmed();
        // A list without a name adds nothing, not even a separator.
        if (!name.isEmpty())
            names << name;
    }
    return names.join(QStringLiteral(", "));
}

}  // namespace options
