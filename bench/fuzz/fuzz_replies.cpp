// libFuzzer target over the block decoder and the bootloader reply checks.
// The first input byte picks a scenario; each scenario checks a property
// and traps when it does not hold. Buffers are exactly as large as the
// protocol says, so the address sanitizer sees any access past them.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "link/codec.h"
#include "link/command_table.h"

namespace {

using bramis::CommandRow;
using Bytes = std::vector<std::uint8_t>;

constexpr const CommandRow* kCommands[] = {
    &bramis::kEnterProgrammingCommand, &bramis::kGetVersionCommand, &bramis::kEraseCommand,
    &bramis::kWriteBlockCommand,       &bramis::kReadBlockCommand,  &bramis::kRunProgramCommand,
};
constexpr std::size_t kCommandCount = sizeof kCommands / sizeof kCommands[0];

void Require(bool property) {
    if (!property) {
        __builtin_trap();
    }
}

// Takes bytes from the input, padding with zeros when it runs out.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t Byte() { return used_ < size_ ? data_[used_++] : 0; }
    Bytes Take(std::size_t count) {
        Bytes bytes(count);
        for (auto& b : bytes) {
            b = Byte();
        }
        return bytes;
    }
    Bytes Rest() { return Take(size_ - used_); }
    // A 16-bit number, low byte first.
    unsigned Number() {
        const unsigned low = Byte();
        return low | static_cast<unsigned>(Byte()) << 8;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t used_ = 0;
};

Bytes Request(const CommandRow& command, int blockNumber, const Bytes& block) {
    std::array<std::uint8_t, bramis::kMaxRequestSize> request{};
    const std::size_t length = bramis::BuildRequest(command, blockNumber, block.data(), request);
    return Bytes(request.begin(), request.begin() + static_cast<std::ptrdiff_t>(length));
}

// Whatever 1028 bytes come in: a block accepted as valid re-encodes to exactly them.
void DecodeArbitrary(Input& input) {
    const Bytes received = input.Take(bramis::kEncodedBlockSize);
    Bytes dest(bramis::kBlockWithCrcSize);
    if (bramis::DecodeBlock(std::span<const std::uint8_t, bramis::kEncodedBlockSize>(received),
                            std::span<std::uint8_t, bramis::kBlockWithCrcSize>(dest))) {
        Bytes again(bramis::kEncodedBlockSize);
        bramis::EncodeBlock(std::span<const std::uint8_t, bramis::kBlockSize>(dest.data(), bramis::kBlockSize),
                            std::span<std::uint8_t, bramis::kEncodedBlockSize>(again));
        Require(again == received);
    }
}

// Any reply to any command: success needs the exact length and the compared
// bytes, and the result is one the command may give. The input is XORed onto
// the request, so zeros mean an echo and the fuzzer reaches the further checks.
void CheckArbitraryReply(Input& input) {
    const CommandRow& command = *kCommands[input.Byte() % kCommandCount];
    const int blockNumber = static_cast<int>(input.Number() % bramis::kBlockCount);
    const Bytes request = Request(command, blockNumber, input.Take(bramis::kBlockSize));
    Bytes reply = input.Rest();
    for (std::size_t n = 0; n < reply.size() && n < request.size(); ++n) {
        reply[n] ^= request[n];
    }
    Bytes dest(bramis::kBlockWithCrcSize);
    const int result = bramis::CheckReply(command, request, reply, dest.data());
    if (result == bramis::LINK_OK) {
        Require(reply.size() == command.replyLength);
        for (std::size_t n = 0; n < command.comparedBytes; ++n) {
            Require(reply[n] == request[n]);
        }
    } else if (command.check == bramis::ReplyCheck::WriteStatus) {
        Require(result == bramis::LINK_CMD_FAILED || result == bramis::LINK_WRITE_STATUS_5A ||
                result == bramis::LINK_WRITE_STATUS_2A);
    } else {
        Require(result == command.failure);
    }
}

// A good block reply passes and yields its data; one changed byte never passes.
void CorruptGoodBlock(Input& input) {
    const Bytes block = input.Take(bramis::kBlockSize);
    const std::size_t position = input.Number() % (6 + bramis::kEncodedBlockSize);
    const std::uint8_t flip = input.Byte();
    const Bytes request = Request(bramis::kReadBlockCommand, 0, block);
    Bytes reply(request.begin(), request.begin() + 6);
    reply.resize(6 + bramis::kEncodedBlockSize);
    bramis::EncodeBlock(std::span<const std::uint8_t, bramis::kBlockSize>(block.data(), bramis::kBlockSize),
                        std::span<std::uint8_t, bramis::kEncodedBlockSize>(reply.data() + 6, bramis::kEncodedBlockSize));
    Bytes dest(bramis::kBlockWithCrcSize);
    Require(bramis::CheckReply(bramis::kReadBlockCommand, request, reply, dest.data()) == bramis::LINK_OK);
    Require(std::equal(block.begin(), block.end(), dest.begin()));
    if (flip != 0) {
        reply[position] ^= flip;
        Require(bramis::CheckReply(bramis::kReadBlockCommand, request, reply, dest.data()) != bramis::LINK_OK);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input input(data, size);
    switch (input.Byte() % 3) {
        case 0:
            DecodeArbitrary(input);
            break;
        case 1:
            CheckArbitraryReply(input);
            break;
        default:
            CorruptGoodBlock(input);
            break;
    }
    return 0;
}
