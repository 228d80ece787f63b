#include "app/commands_schedule.h"

#include "app/headless.h"
#include "app/stopsignals.h"
#include "runs/currentrun.h"
#include "runs/scheduler.h"
#include "support/settingsstore.h"
#include "support/state.h"
#include "support/textconv.h"
#include "support/toplevel.h"
#include "windows/notify.h"
#include "windows/runrecord.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QTimer>
#include <algorithm>
#include <optional>

namespace {
const char kUsage[] = "usage: schedule\n"
                      "       schedule set N --start HH:MM [--end HH:MM] [--interval HH:MM]\n"
                      "       schedule off N\n"
                      "       schedule options [--use-interval on|off] [--weekdays on|off] [--disconnect on|off]\n"
                      "                        [--disconnect-command COMMAND]\n"
                      "       schedule plan --from \"YYYY-MM-DD HH:MM\" --until \"YYYY-MM-DD HH:MM\"\n"
                      "       schedule run\n";

const QString kMinute = QStringLiteral("yyyy-MM-dd HH:mm");

std::optional<QTime> parseTime(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d{1,2}):(\\d{2})$"));
    const auto m = pattern.match(text.trimmed());
    if (!m.hasMatch())
        return std::nullopt;
    const QTime t(m.captured(1).toInt(), m.captured(2).toInt());
    return t.isValid() ? std::optional<QTime>(t) : std::nullopt;
}

std::optional<bool> parseSwitch(const QString& text)
{
    if (text == QLatin1String("on"))
        return true;
    if (text == QLatin1String("off"))
        return false;
    return std::nullopt;
}

int parseList(const QString& text) { return static_cast<int>(textconv::toInteger(text, 1, 16).value_or(0)); }

int usage(HeadlessContext& c)
{
    c.err << kUsage;
    return 2;
}

const char* onOff(bool value) { return value ? "on" : "off"; }

void printOptions(HeadlessContext& c, const Schedule& s)
{
    const QString command = store::read(QStringLiteral("DisconnectCommand"), QString()).trimmed();
    c.out << "use interval: " << onOff(s.useInterval) << ", weekdays only: " << onOff(s.weekdaysOnly)
          << ", disconnect after each download: " << onOff(s.disconnectSchedule) << '\n';
    c.out << "disconnect command: " << (command.isEmpty() ? QStringLiteral("(none)") : command) << '\n';
}

void printRows(HeadlessContext& c, const Schedule& s, const QVector<int>& rows)
{
    int width = 4;
    for (int n : rows)
        width = std::max(width, static_cast<int>(settings().listNames[n].size()));
    const QDateTime now = QDateTime::currentDateTime();
    c.out << "list  " << QStringLiteral("name").leftJustified(width)
          << "  on/off  start  end    interval  next download\n";
    for (int n : rows) {
        const ListSchedule& l = s.lists[n];
        c.out << QString::number(n).rightJustified(4) << "  " << settings().listNames[n].leftJustified(width) << "  "
              << QString::fromLatin1(onOff(l.on)).leftJustified(6) << "  " << l.start.toString(QStringLiteral("HH:mm"))
              << "  " << l.end.toString(QStringLiteral("HH:mm")) << "  "
              << l.interval.toString(QStringLiteral("HH:mm")).leftJustified(8) << "  "
              << (l.on ? Schedule::momentText(s.firstDownload(n, now), now, kMinute) : QStringLiteral("-")) << '\n';
    }
}

QVector<int> allLists()
{
    QVector<int> rows;
    for (int n = 1; n <= 16; ++n)
        rows << n;
    return rows;
}

int cmdSet(HeadlessContext& c, Schedule& s)
{
    const int n = c.args.size() >= 2 ? parseList(c.args[1]) : 0;
    if (!n)
        return usage(c);
    ListSchedule& l = s.lists[n];
    std::optional<QTime> start, end = l.end, interval = l.interval;
    for (int i = 2; i < c.args.size(); i += 2) {
        if (i + 1 >= c.args.size())
            return usage(c);
        const std::optional<QTime> value = parseTime(c.args[i + 1]);
        if (!value) {
            c.err << "Not a time HH:MM: " << c.args[i + 1] << '\n';
            return 2;
        }
        const QString& a = c.args[i];
        if (a == QLatin1String("--start"))
            start = value;
        else if (a == QLatin1String("--end"))
            end = value;
        else if (a == QLatin1String("--interval"))
            interval = value;
        else
            return usage(c);
    }
    if (!start)
        return usage(c);
    l.on = true;
    s.setTimes(n, *start, *end, *interval);
    s.save();
    printRows(c, s, {n});
    return 0;
}

int cmdOptions(HeadlessContext& c, Schedule& s)
{
    const struct {
        const char* option;
        bool Schedule::*member;
    } switches[] = {{"--use-interval", &Schedule::useInterval},
                    {"--weekdays", &Schedule::weekdaysOnly},
                    {"--disconnect", &Schedule::disconnectSchedule}};
    std::optional<QString> command;
    for (int i = 1; i < c.args.size(); i += 2) {
        if (i + 1 >= c.args.size())
            return usage(c);
        const QString& a = c.args[i];
        if (a == QLatin1String("--disconnect-command")) {
            command = c.args[i + 1].trimmed();
            continue;
        }
        bool known = false;
        for (const auto& sw : switches) {
            if (a == QLatin1String(sw.option)) {
                const std::optional<bool> value = parseSwitch(c.args[i + 1]);
                if (!value)
                    return usage(c);
                s.*sw.member = *value;
                known = true;
            }
        }
        if (!known)
            return usage(c);
    }
    s.save();
    if (command)
        store::write(QStringLiteral("DisconnectCommand"), *command);
    store::sync();
    printOptions(c, s);
    return 0;
}

int cmdPlan(HeadlessContext& c, const Schedule& s)
{
    QDateTime from, until;
    for (int i = 1; i < c.args.size(); i += 2) {
        if (i + 1 >= c.args.size())
            return usage(c);
        const QDateTime t = QDateTime::fromString(c.args[i + 1].trimmed(), kMinute);
        if (!t.isValid()) {
            c.err << "Not a moment \"YYYY-MM-DD HH:MM\": " << c.args[i + 1] << '\n';
            return 2;
        }
        if (c.args[i] == QLatin1String("--from"))
            from = t;
        else if (c.args[i] == QLatin1String("--until"))
            until = t;
        else
            return usage(c);
    }
    if (!from.isValid() || !until.isValid() || until < from)
        return usage(c);
    for (const auto& [moment, list] : scheduleplan::plan(s, from, until))
        c.out << moment.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) << " list " << list << '\n';
    return 0;
}

int cmdRun(HeadlessContext& c, const Schedule& s)
{
    if (c.args.size() != 1)
        return usage(c);
    QVector<int> on;
    for (int n = 1; n <= 16; ++n) {
        if (s.lists[n].on)
            on << n;
    }
    if (on.isEmpty()) {
        c.err << "No list takes part in the schedule (schedule set N --start HH:MM)\n";
        return 1;
    }
    SystemClock clock;
    CurrentRun run;
    Scheduler scheduler(clock, Scheduler::downloadWith(run));
    scheduler.schedule = s;
    auto line = [&c](const QString& text) {
        c.out << text << '\n';
        c.out.flush();
    };
    QDateTime started;
    QObject::connect(&scheduler, &Scheduler::downloadStarting, [&](int, const QDateTime& at) { started = at; });
    QObject::connect(&scheduler, &Scheduler::downloadEnded, [&](int list) {
        const QString outcome = run.summary().outcome();
        line(QStringLiteral("%1 list %2: %3")
                 .arg(started.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
                 .arg(list)
                 .arg(outcome.isEmpty() ? QStringLiteral("nothing to download") : outcome));
        notify::scheduledRunFinished(list, run.summary());
        if (!outcome.isEmpty())
            runrecord::note(false, outcome);  // for the start page
    });
    QObject::connect(&scheduler, &Scheduler::notice, line);

    StopSignals signalsGuard;
    // The command's one event loop turns until the scheduler has stopped
    // and its last tick (a download on its way) has ended.
    auto quitWhenDone = [&scheduler, &run] {
        if (!scheduler.active() && !scheduler.ticking() && !run.running())
            QCoreApplication::quit();
    };
    QObject::connect(&scheduler, &Scheduler::activeChanged, QCoreApplication::instance(), quitWhenDone,
                     Qt::QueuedConnection);
    QObject::connect(&scheduler, &Scheduler::tickEnded, QCoreApplication::instance(), quitWhenDone,
                     Qt::QueuedConnection);
    QObject::connect(&run, &CurrentRun::finished, QCoreApplication::instance(), quitWhenDone, Qt::QueuedConnection);
    QTimer poll;
    poll.setInterval(100);
    bool signalled = false;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!signalsGuard.take())
            return;
        signalled = true;
        poll.stop();
        line(QStringLiteral("Stopping..."));
        if (run.running())
            run.stop();
        scheduler.StopScheduler();
    });
    poll.start();

    scheduler.StartScheduler();
    line(QStringLiteral("Scheduler started"));
    for (int n : on)
        line(QStringLiteral("list %1: next download %2")
                 .arg(n)
                 .arg(Schedule::momentText(scheduler.ExactDownload(n), scheduler.clock().now(), kMinute)));
    if (scheduler.active())
        runTopLevel();
    if (signalled) {
        line(QStringLiteral("Scheduler stopped"));
        return 0;
    }
    // A run's error answered with Abort ends the scheduler: a service
    // manager should see a failure and may start it again.
    line(QStringLiteral("Scheduler stopped after an abort"));
    return kExitFailed;
}
}  // namespace

int cmdSchedule(HeadlessContext& c)
{
    const QString sub = c.args.value(0);
    const bool changes = sub == QLatin1String("set") || sub == QLatin1String("off") || sub == QLatin1String("options");
    const bool opened = headlessStartup(c, sub == QLatin1String("run"));
    // Saving writes all sixteen lists: only over values the start-up read.
    if (!opened && (changes || sub == QLatin1String("run")))
        return 1;
    Schedule s = Schedule::load();

    if (c.args.isEmpty()) {
        printOptions(c, s);
        printRows(c, s, allLists());
        return 0;
    }
    if (sub == QLatin1String("set"))
        return cmdSet(c, s);
    if (sub == QLatin1String("off")) {
        const int n = c.args.size() == 2 ? parseList(c.args[1]) : 0;
        if (!n)
            return usage(c);
        s.lists[n].on = false;
        s.save();
        printRows(c, s, {n});
        return 0;
    }
    if (sub == QLatin1String("options"))
        return cmdOptions(c, s);
    if (sub == QLatin1String("plan"))
        return cmdPlan(c, s);
    if (sub == QLatin1String("run"))
        return cmdRun(c, s);
    return usage(c);
}
