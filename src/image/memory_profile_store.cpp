#include "memory_profile_store.h"

namespace bramis {

namespace {

std::pair<std::string, std::string> Key(std::string_view section, std::string_view name) {
    return {std::string(section), std::string(name)};
}

}  // namespace

const MemoryProfileStore::Value* MemoryProfileStore::Find(std::string_view section,
                                                          std::string_view name) const {
    const auto found = values_.find(Key(section, name));
    return found == values_.end() ? nullptr : &found->second;
}

int MemoryProfileStore::GetInt(std::string_view section, std::string_view name, int defaultValue) const {
    const Value* value = Find(section, name);
    if (value == nullptr) {
        return defaultValue;
    }
    if (const int* number = std::get_if<int>(value)) {
        return *number;
    }
    return ParseProfileInt(std::get<std::string>(*value)).value_or(defaultValue);
}

std::string MemoryProfileStore::GetString(std::string_view section, std::string_view name,
                                          std::string_view defaultValue) const {
    const Value* value = Find(section, name);
    if (value == nullptr) {
        return std::string(defaultValue);
    }
    if (const int* number = std::get_if<int>(value)) {
        return std::to_string(*number);
    }
    return std::get<std::string>(*value);
}

void MemoryProfileStore::WriteInt(std::string_view section, std::string_view name, int value) {
    values_[Key(section, name)] = value;
}

void MemoryProfileStore::WriteString(std::string_view section, std::string_view name, std::string_view value) {
    values_[Key(section, name)] = std::string(value);
}

void MemoryProfileStore::Remove(std::string_view section, std::string_view name) {
    values_.erase(Key(section, name));
}

std::vector<std::string> MemoryProfileStore::ValueNames(std::string_view section) const {
    std::vector<std::string> names;
    for (const auto& [key, value] : values_) {
        if (key.first == section) {
            names.push_back(key.second);
        }
    }
    return names;
}

}  // namespace bramis
