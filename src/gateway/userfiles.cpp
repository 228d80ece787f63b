#include "gateway/userfiles.h"

#include <QFile>
#include <QRegularExpression>

namespace userfiles {

namespace {

// The lines of a small text file without comments and blank lines.
QStringList contentLines(const QString& file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QStringList out;
    // A member list or change table is a few kilobytes; more is no such file.
    const QString text = QString::fromUtf8(f.read(1024 * 1024));
    for (QString line : text.split(QLatin1Char('\n'))) {
        const qsizetype hash = line.indexOf(QLatin1Char('#'));
        if (hash >= 0)
            line.truncate(hash);
        line = line.trimmed();
        if (!line.isEmpty())
            out << line;
    }
    return out;
}

QStringList fields(const QString& line)
{
    static const QRegularExpression separators(QStringLiteral("[\\s,;]+"));
    return line.split(separators, Qt::SkipEmptyParts);
}

}  // namespace

QStringList members(const QString& dataFolder, const QString& index)
{
    QString name = index.trimmed();
    if (name.isEmpty() || name.contains(QLatin1Char('/')) || name.contains(QLatin1String("..")))
        return {};
    const QString folder = dataFolder + QStringLiteral("/members/");
    QString file = folder + (name.startsWith(QLatin1Char('^')) ? name.mid(1) : name) + QStringLiteral(".txt");
    if (!QFile::exists(file))
        file = folder + name + QStringLiteral(".txt");
    QStringList out;
    for (const QString& line : contentLines(file))
        out << fields(line).value(0);
    return out;
}

QHash<QString, QString> changes(const QString& dataFolder)
{
    QHash<QString, QString> out;
    for (const QString& line : contentLines(dataFolder + QStringLiteral("/changes.txt"))) {
        const QStringList f = fields(line);
        if (f.size() >= 2)
            out.insert(f[0].toUpper(), f[1]);
    }
    return out;
}

}  // namespace userfiles
