#include "flash_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

namespace bramis::devsim {

bool LoadFlashFile(const std::string& path, std::span<std::uint8_t, kImageSize> flash, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    // One byte more than the flash tells a longer file from an exact one.
    std::vector<char> bytes(kImageSize + 1);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (in.bad()) {
        error = path + ": read error";
        return false;
    }
    if (static_cast<std::size_t>(in.gcount()) != kImageSize) {
        error = path + ": not a device image (it must be exactly " + std::to_string(kImageSize) + " bytes)";
        return false;
    }
    std::memcpy(flash.data(), bytes.data(), kImageSize);
    return true;
}

bool SaveFlashFile(const std::string& path, std::span<const std::uint8_t, kImageSize> flash, std::string& error) {
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(flash.data()), static_cast<std::streamsize>(flash.size()));
        out.close();
        if (!out) {
            error = temporary + ": " + std::strerror(errno);
            std::remove(temporary.c_str());
            return false;
        }
    }
    std::error_code failure;
    std::filesystem::rename(temporary, path, failure);
    if (failure) {
        error = path + ": " + failure.message();
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace bramis::devsim
