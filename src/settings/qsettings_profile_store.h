// The settings store of the programmer window and bramis-flash: QSettings for
// the organisation "Orvy" and the application "TOLVA upgrade". On Windows that
// is the registry key HKEY_CURRENT_USER\Software\Orvy\TOLVA upgrade, a subkey
// per section, integers as DWORD and strings as REG_SZ values; elsewhere the
// INI file "Orvy/TOLVA upgrade.conf" in the user's configuration folder.
#pragma once

#include <QString>
#include <memory>
#include <string>

#include "image/profile_store.h"

class QSettings;

namespace bramis {

// One thread (the user-interface thread), as QSettings itself.
class QSettingsProfileStore : public ProfileStore {
public:
    // The user's own settings of this program.
    QSettingsProfileStore();

    // The INI file `iniFilePath` instead (for tests, or a portable setup).
    explicit QSettingsProfileStore(const QString& iniFilePath);

    ~QSettingsProfileStore() override;

    int GetInt(std::string_view section, std::string_view name, int defaultValue) const override;
    std::string GetString(std::string_view section, std::string_view name,
                          std::string_view defaultValue) const override;
    void WriteInt(std::string_view section, std::string_view name, int value) override;
    void WriteString(std::string_view section, std::string_view name, std::string_view value) override;
    void Remove(std::string_view section, std::string_view name) override;
    std::vector<std::string> ValueNames(std::string_view section) const override;

    // Writes pending changes out now (they are written by themselves soon
    // after, and when the object goes). False when the store cannot be written.
    bool Sync();

    // Where the values live: the INI file's path or the registry key.
    QString Location() const;

private:
    std::unique_ptr<QSettings> settings_;
};

// The user's own settings, for a program to use while it runs. Where they are
// a file that is not a regular file of a sane size (a FIFO, a link to a
// device, something huge), reading it could block or exhaust memory: then the
// store holds the defaults in memory only, and `warning` says why in Russian
// (it is left alone otherwise). The caller's thread only.
std::unique_ptr<ProfileStore> OpenUserSettings(std::string& warning);

}  // namespace bramis
