#include "support/settingsstore.h"

#include "support/paths.h"

#include <QSettings>
#include <memory>

namespace store {
namespace {
const QString kGroup = QStringLiteral("Settings");

// One QSettings per settings file; a test that points XDG_CONFIG_HOME
// elsewhere gets a fresh one.
std::unique_ptr<QSettings>& instance()
{
    static std::unique_ptr<QSettings> settings;
    return settings;
}

QSettings& settings()
{
    std::unique_ptr<QSettings>& instance = store::instance();
    const QString file = paths::settingsFile();
    if (!instance || instance->fileName() != file) {
        if (instance)
            instance->sync();
        instance = std::make_unique<QSettings>(file, QSettings::IniFormat);
    }
    return *instance;
}

QString storedName(QSettings& s, const QString& key)
{
    s.beginGroup(kGroup);
    const QStringList keys = s.childKeys();
    s.endGroup();
    for (const QString& existing : keys) {
        if (existing.compare(key, Qt::CaseInsensitive) == 0)
            return existing;
    }
    return {};
}
}  // namespace

QString read(const QString& key, const QString& defaultText)
{
    QSettings& s = settings();
    const QString name = storedName(s, key);
    if (name.isEmpty())
        return defaultText;
    const QVariant value = s.value(kGroup + QLatin1Char('/') + name);
    // A value holding a comma comes back from the INI file as a list.
    if (value.userType() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(','));
    return value.toString();
}

void write(const QString& key, const QString& text)
{
    QSettings& s = settings();
    const QString name = storedName(s, key);
    s.setValue(kGroup + QLatin1Char('/') + (name.isEmpty() ? key : name), text);
}

void sync() { settings().sync(); }

void close()
{
    instance().reset();  // QSettings writes what is pending as it goes
}

}  // namespace store
