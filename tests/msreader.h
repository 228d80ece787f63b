#pragma once

// A MetaStock folder read by a reader of its own, written in Python from the
// byte layout alone (no code of the program's library): what other programs
// see of a folder the program wrote. It also checks the rules such readers
// rely on: header counts, MASTER and EMASTER in step, master dates equal to
// the data file's, dates ascending, symbols of at most 14 characters.

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QVector>

struct MsDay {
    qint32 date = 0;  // YYYYMMDD
    double open = 0, high = 0, low = 0, close = 0, volume = 0;
};

struct MsSecurity {
    int fileNumber = 0;
    QString symbol, name;
    QVector<MsDay> days;
};

struct MsFolderRead {
    bool ran = false;                // the reader ran and printed its answer
    QString error;                   // why it did not
    QVector<MsSecurity> securities;  // MASTER's order, then XMASTER's
    QStringList problems;            // rules the folder breaks
    QStringList unnamed;             // data files no entry names

    const MsSecurity* find(const QString& symbol) const
    {
        for (const MsSecurity& s : securities) {
            if (s.symbol == symbol)
                return &s;
        }
        return nullptr;
    }
    int count(const QString& symbol) const
    {
        int n = 0;
        for (const MsSecurity& s : securities)
            n += s.symbol == symbol ? 1 : 0;
        return n;
    }
};

inline const char* msReaderScript()
{
    return R"PY(
import json, os, re, struct, sys

def mbf(b):
    if b[3] == 0:
        return 0.0
    e = b[3] - 2
    if e <= 0 or e >= 255:
        return float('nan')
    ieee = bytes([b[0], b[1], (b[2] & 0x7f) | ((e & 1) << 7), (b[2] & 0x80) | (e >> 1)])
    return struct.unpack('<f', ieee)[0]

def fdate(v):
    return int(round(v)) + 19000000 if v > 0 else 0

def text(b, nul):
    if nul:
        b = b.split(b'\0', 1)[0]
    return b.decode('latin-1').rstrip(' \0')

def read(path):
    try:
        with open(path, 'rb') as f:
            return f.read()
    except FileNotFoundError:
        return None

FIELDS = [(0x01, 'date'), (0x80, 'time'), (0x20, 'open'), (0x02, 'high'), (0x04, 'low'),
          (0x08, 'close'), (0x10, 'volume'), (0x40, 'oi')]

def layout(bits):
    return [name for bit, name in FIELDS if bits & bit]

def bits_for(n):
    return {5: 0x1F, 6: 0x3F, 7: 0x7F, 8: 0xFF}.get(n, 0x7F)

d = sys.argv[1]
problems, securities = [], []
master = read(os.path.join(d, 'MASTER'))
emaster = read(os.path.join(d, 'EMASTER'))
xmaster = read(os.path.join(d, 'XMASTER'))

entries = []
if master is not None:
    if len(master) < 53:
        problems.append('MASTER shorter than its header')
    else:
        count, highest = struct.unpack_from('<HH', master, 0)
        if count != len(master) // 53 - 1 or len(master) % 53:
            problems.append('MASTER count %d for %d bytes' % (count, len(master)))
        if highest > 255:
            problems.append('MASTER highest file number %d' % highest)
        for i in range(min(count, len(master) // 53 - 1)):
            e = master[(i + 1) * 53:(i + 2) * 53]
            nf = e[4]
            if e[3] != 4 * nf:
                problems.append('MASTER entry %d record length' % (i + 1))
            entries.append({'file': e[0], 'fields': nf, 'name': text(e[7:23], False),
                            'first': fdate(mbf(e[25:29])), 'last': fdate(mbf(e[29:33])),
                            'symbol': text(e[36:50], False), 'bits': bits_for(nf)})
        if entries and highest != max(x['file'] for x in entries):
            problems.append('MASTER highest file number %d, entries up to %d' % (highest, max(x['file'] for x in entries)))
    if emaster is None or len(emaster) < 192:
        problems.append('EMASTER missing')
    else:
        ecount = struct.unpack_from('<H', emaster, 0)[0]
        if ecount != len(entries) or len(emaster) != (ecount + 1) * 192:
            problems.append('EMASTER count %d, MASTER %d' % (ecount, len(entries)))
        for i, m in enumerate(entries[:ecount]):
            e = emaster[(i + 1) * 192:(i + 2) * 192]
            if e[2] != m['file'] or text(e[11:25], True) != m['symbol']:
                problems.append('EMASTER entry %d differs from MASTER' % (i + 1))
            long = text(e[139:191], True)
            if long and not long.startswith(m['name'].strip()):
                problems.append('EMASTER long name %r does not begin with %r' % (long, m['name']))
            if long:
                m['name'] = long
            if (e[7] & 0x0F) == 0x0F:
                m['bits'] = e[7]
if xmaster is not None:
    if len(xmaster) < 150 or xmaster[:4] != b'\x5d\xfe\x58\x4d':
        problems.append('XMASTER header')
    else:
        xcount = struct.unpack_from('<H', xmaster, 10)[0]
        if len(xmaster) != (xcount + 1) * 150:
            problems.append('XMASTER count %d for %d bytes' % (xcount, len(xmaster)))
        for i in range(min(xcount, len(xmaster) // 150 - 1)):
            e = xmaster[(i + 1) * 150:(i + 2) * 150]
            n = struct.unpack_from('<H', e, 65)[0]
            if n <= 255:
                problems.append('XMASTER entry %d file number %d' % (i + 1, n))
            entries.append({'file': n, 'name': text(e[16:62], True), 'symbol': text(e[1:16], True),
                            'first': struct.unpack_from('<i', e, 108)[0], 'last': struct.unpack_from('<i', e, 116)[0],
                            'bits': e[70]})

named = set()
for m in entries:
    named.add(m['file'])
    if len(m['symbol']) > 14:
        problems.append('symbol %r longer than 14' % m['symbol'])
    names = layout(m['bits'])
    size = 4 * len(names)
    path = os.path.join(d, 'F%d.%s' % (m['file'], 'DAT' if m['file'] <= 255 else 'MWD'))
    data = read(path)
    days = []
    if data is None:
        problems.append('%s missing' % os.path.basename(path))
    else:
        counted = struct.unpack_from('<H', data, 2)[0] - 1 if len(data) >= 4 else -1
        if counted != len(data) // size - 1 or len(data) % size:
            problems.append('%s counts %d records in %d bytes' % (os.path.basename(path), counted, len(data)))
        for k in range(max(0, min(counted, len(data) // size - 1))):
            rec = data[(k + 1) * size:(k + 2) * size]
            v = {name: mbf(rec[4 * j:4 * j + 4]) for j, name in enumerate(names)}
            days.append([fdate(v['date']), v.get('open', v['close']), v['high'], v['low'], v['close'], v.get('volume', 0)])
        dates = [x[0] for x in days]
        if dates != sorted(dates) or len(set(dates)) != len(dates):
            problems.append('%s dates not ascending' % os.path.basename(path))
        first, last = (dates[0], dates[-1]) if dates else (0, 0)
        if (m['first'], m['last']) != (first, last):
            problems.append('%s master dates %d-%d, data %d-%d' % (m['symbol'], m['first'], m['last'], first, last))
    securities.append({'file': m['file'], 'symbol': m['symbol'], 'name': m['name'], 'days': days})

unnamed = []
for name in sorted(os.listdir(d)):
    g = re.match(r'^F([0-9]+)\.(DAT|MWD)$', name)
    if g and int(g.group(1)) not in named:
        unnamed.append(name)
print(json.dumps({'securities': securities, 'problems': problems, 'unnamed': unnamed}))
)PY";
}

inline MsFolderRead readMsFolder(const QString& dir)
{
    MsFolderRead out;
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QString::fromLatin1(msReaderScript()), dir});
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        out.error = QString::fromLocal8Bit(p.readAllStandardError());
        return out;
    }
    const QJsonObject o = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    for (const QJsonValue& v : o.value(QStringLiteral("securities")).toArray()) {
        const QJsonObject s = v.toObject();
        MsSecurity sec;
        sec.fileNumber = s.value(QStringLiteral("file")).toInt();
        sec.symbol = s.value(QStringLiteral("symbol")).toString();
        sec.name = s.value(QStringLiteral("name")).toString();
        for (const QJsonValue& d : s.value(QStringLiteral("days")).toArray()) {
            const QJsonArray a = d.toArray();
            sec.days.append({a.at(0).toInt(), a.at(1).toDouble(), a.at(2).toDouble(), a.at(3).toDouble(),
                             a.at(4).toDouble(), a.at(5).toDouble()});
        }
        out.securities.append(sec);
    }
    for (const QJsonValue& v : o.value(QStringLiteral("problems")).toArray())
        out.problems << v.toString();
    for (const QJsonValue& v : o.value(QStringLiteral("unnamed")).toArray())
        out.unnamed << v.toString();
    out.ran = true;
    return out;
}
