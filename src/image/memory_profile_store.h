// A ProfileStore held in memory, for tests of every layer that reads or
// writes settings.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <variant>

#include "profile_store.h"

namespace bramis {

// Values live in a map until the object goes; one thread at a time.
class MemoryProfileStore : public ProfileStore {
public:
    using Value = std::variant<int, std::string>;

    int GetInt(std::string_view section, std::string_view name, int defaultValue) const override;
    std::string GetString(std::string_view section, std::string_view name,
                          std::string_view defaultValue) const override;
    void WriteInt(std::string_view section, std::string_view name, int value) override;
    void WriteString(std::string_view section, std::string_view name, std::string_view value) override;
    void Remove(std::string_view section, std::string_view name) override;
    std::vector<std::string> ValueNames(std::string_view section) const override;

    // Every stored value with its section and name, for checks in tests.
    const std::map<std::pair<std::string, std::string>, Value>& Values() const { return values_; }

private:
    const Value* Find(std::string_view section, std::string_view name) const;

    std::map<std::pair<std::string, std::string>, Value> values_;
};

}  // namespace bramis
