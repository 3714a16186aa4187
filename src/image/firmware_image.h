// The image in memory: one heap buffer of kImageBufferSize bytes whose first
// kImageSize bytes are the image. It is allocated once and never moves, so a
// transfer job can keep its address for as long as the owner lives.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "link/device_memory.h"

namespace bramis {

// Owned by the main window (or a command-line job); used by one thread at a
// time: the owner's, or the transfer worker's while a job runs.
class FirmwareImage {
public:
    // Allocates the buffer, all zero until something is loaded.
    FirmwareImage() : buffer_(std::make_unique<std::uint8_t[]>(kImageBufferSize)) {}
    FirmwareImage(const FirmwareImage&) = delete;
    FirmwareImage& operator=(const FirmwareImage&) = delete;

    // The whole buffer, including the two spare bytes a block read uses.
    std::span<std::uint8_t, kImageBufferSize> Buffer() {
        return std::span<std::uint8_t, kImageBufferSize>(buffer_.get(), kImageBufferSize);
    }

    // The image bytes: what a file holds and what the device is written with.
    std::span<std::uint8_t, kImageSize> Bytes() { return Buffer().first<kImageSize>(); }
    std::span<const std::uint8_t, kImageSize> Bytes() const {
        return std::span<const std::uint8_t, kImageSize>(buffer_.get(), kImageSize);
    }

private:
    const std::unique_ptr<std::uint8_t[]> buffer_;
};

}  // namespace bramis
