#include "settings/qsettings_profile_store.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <QVariant>

#include "image/memory_profile_store.h"

namespace bramis {

namespace {

QString ToQString(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

QString Key(std::string_view section, std::string_view name) {
    return ToQString(section) + QLatin1Char('/') + ToQString(name);
}

// The text of a stored value. An INI line with unquoted commas comes back as
// a list; its text is what the line said.
std::optional<std::string> TextOf(const QVariant& value) {
    if (value.typeId() == QMetaType::QStringList) {
        return value.toStringList().join(QStringLiteral(", ")).toStdString();
    }
    if (!value.canConvert<QString>()) {
        return std::nullopt;
    }
    return value.toString().toStdString();
}

// The largest settings file read: the recent files and a "Ports" entry for
// every COM number take a few tens of KiB.
constexpr qint64 kMaxSettingsFileBytes = 1024 * 1024;

// The INI file of the user's settings; empty where they are in the registry.
// Only that file, without the system-wide fallbacks, so that what is read is
// what OpenUserSettings has checked.
QString UserSettingsFile() {
#ifdef Q_OS_WIN
    return {};
#else
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Orvy/TOLVA upgrade.conf");
#endif
}

std::unique_ptr<QSettings> UserSettings() {
    const QString file = UserSettingsFile();
    if (file.isEmpty()) {
        return std::make_unique<QSettings>(QStringLiteral("Orvy"), QStringLiteral("TOLVA upgrade"));
    }
    return std::make_unique<QSettings>(file, QSettings::IniFormat);
}

}  // namespace

QSettingsProfileStore::QSettingsProfileStore() : settings_(UserSettings()) {}

QSettingsProfileStore::QSettingsProfileStore(const QString& iniFilePath)
    : settings_(std::make_unique<QSettings>(iniFilePath, QSettings::IniFormat)) {}

QSettingsProfileStore::~QSettingsProfileStore() = default;

int QSettingsProfileStore::GetInt(std::string_view section, std::string_view name, int defaultValue) const {
    const QVariant value = settings_->value(Key(section, name));
    switch (value.typeId()) {
        case QMetaType::Int:
            return value.toInt();
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong: {
            // A registry DWORD above INT_MAX, or a QWORD: only what fits counts.
            bool fits = false;
            const int number = value.toInt(&fits);
            return fits ? number : defaultValue;
        }
        default: {
            const std::optional<std::string> text = TextOf(value);
            return text ? ParseProfileInt(*text).value_or(defaultValue) : defaultValue;
        }
    }
}

std::string QSettingsProfileStore::GetString(std::string_view section, std::string_view name,
                                             std::string_view defaultValue) const {
    const QVariant value = settings_->value(Key(section, name));
    if (!value.isValid()) {
        return std::string(defaultValue);
    }
    return TextOf(value).value_or(std::string(defaultValue));
}

void QSettingsProfileStore::WriteInt(std::string_view section, std::string_view name, int value) {
    settings_->setValue(Key(section, name), value);
}

void QSettingsProfileStore::WriteString(std::string_view section, std::string_view name,
                                        std::string_view value) {
    settings_->setValue(Key(section, name), ToQString(value));
}

void QSettingsProfileStore::Remove(std::string_view section, std::string_view name) {
    settings_->remove(Key(section, name));
}

std::vector<std::string> QSettingsProfileStore::ValueNames(std::string_view section) const {
    settings_->beginGroup(ToQString(section));
    const QStringList keys = settings_->childKeys();
    settings_->endGroup();
    std::vector<std::string> names;
    names.reserve(static_cast<std::size_t>(keys.size()));
    for (const QString& key : keys) {
        names.push_back(key.toStdString());
    }
    return names;
}

bool QSettingsProfileStore::Sync() {
    settings_->sync();
    return settings_->status() == QSettings::NoError;
}

QString QSettingsProfileStore::Location() const { return settings_->fileName(); }

std::unique_ptr<ProfileStore> OpenUserSettings(std::string& warning) {
    const QFileInfo file(UserSettingsFile());
    // QFileInfo follows links: a link to /dev/zero is not a file.
    if (!file.filePath().isEmpty() && file.exists() &&
        (!file.isFile() || file.size() > kMaxSettingsFileBytes)) {
        warning = "Файл настроек «" + QDir::toNativeSeparators(file.filePath()).toStdString() +
                  "» не прочитан: это не обычный файл или он больше 1 МиБ. Действуют настройки "
                  "по умолчанию, изменения в этом сеансе не сохраняются.";
        return std::make_unique<MemoryProfileStore>();
    }
    return std::make_unique<QSettingsProfileStore>();
}

}  // namespace bramis
