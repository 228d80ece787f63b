#include "writers/filenames.h"

#include "support/safefile.h"

#include <QFile>
#include <QFileInfo>

namespace filenames {
namespace {
// Long enough for any ticker or name, short enough for every file system
// once the extension is added.
constexpr int kMaxBaseLength = 200;

bool safeChar(QChar c)
{
    const ushort u = c.unicode();
    if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9'))
        return true;
    return u == '_' || u == '-' || u == '^' || u == '=' || u == '+' || u == '&';
}

QString clean(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text)
        out += safeChar(c) ? c : QLatin1Char('_');
    if (out.size() > kMaxBaseLength)
        out.truncate(kMaxBaseLength);
    // A name of nothing but replacement characters says nothing about the symbol.
    bool usable = false;
    for (QChar c : out)
        usable = usable || c != QLatin1Char('_');
    return usable ? out : QString();
}
}  // namespace

QString reduceName(const QString& name)
{
    QString out;
    for (QChar c : name) {
        const ushort u = c.unicode();
        if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9'))
            out += c;
    }
    return out;
}

QString tickerBaseName(const QString& ticker)
{
    QString base = ticker.trimmed();
    base.replace(QLatin1Char('.'), QLatin1Char('_'));
    base.replace(QLatin1String("prn"), QLatin1String("pr1"));
    base.replace(QLatin1String("PRN"), QLatin1String("PR1"));
    return clean(base);
}

QString longBaseName(const QString& name) { return clean(name.trimmed()); }

bool filePresent(const QString& file)
{
    // A new content a batch holds for the file counts, not the one on disk.
    safefile::settle(file);
    const QFileInfo info(file);
    if (!info.exists())
        return false;
    if (info.isFile() && info.size() == 0) {
        QFile::remove(file);
        return false;
    }
    return true;
}

}  // namespace filenames
