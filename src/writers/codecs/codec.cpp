#include "writers/codecs/codec.h"

#include "writers/filenames.h"
#include "writers/storedfiles.h"
#include "writers/symbolwriter.h"

#include <QFileInfo>
#include <algorithm>

bool StoredCodec::isOwnFolder(const QString&) const { return false; }

StoredBars StoredCodec::readFile(const QString&) const { return {}; }

storedfiles::Series StoredCodec::readSeries(const QString& path) const { return storedfiles::series(readFile(path)); }

QDate StoredCodec::lastDate(const QString&) const { return {}; }

std::optional<checkfiles::StoredFile> StoredCodec::parse(const QByteArray&) const { return std::nullopt; }

bool StoredCodec::isOwnContent(const QByteArray&) const { return false; }

QByteArray StoredCodec::fieldBytes(const Quote&, int, checkfiles::StoredFile::Place) const { return {}; }

std::optional<integrity::Bar> StoredCodec::lastDay(const QString&, textio::KeptTails*) const { return std::nullopt; }

QDate SymbolFileLookup::lastDate(const QString& ticker, const QString& name) const
{
    const QString path = symbolFile(letter_, ticker, filenames::reduceName(name)).path;
    return path.isEmpty() ? QDate() : codec_.lastDate(path);
}

StoredSymbol SymbolFileLookup::read(const QString& ticker, const QString& name) const
{
    StoredSymbol out;
    const QString path = symbolFile(letter_, ticker, filenames::reduceName(name)).path;
    if (!path.isEmpty() && QFileInfo::exists(path)) {
        out.where = path;
        out.series = codec_.readSeries(path);
    }
    return out;
}

namespace codecs {

QByteArrayView textPart(const QByteArray& content)
{
    qsizetype n = content.size();
    while (n > 0 && content[n - 1] == '\x1a')
        --n;
    return QByteArrayView(content.constData(), n);
}

bool isText(QByteArrayView text)
{
    return std::none_of(text.begin(), text.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return (u < 0x20 && c != '\r' && c != '\n' && c != '\t') || u == 0x7f;
    });
}

}  // namespace codecs
