// A write that the system refuses part of the way through, as on a full
// disk, for root as well: the process's file size limit (POSIX only).
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstdint>

namespace bramis::testing {

// Runs `action` with files limited to `bytes`; the limit is put back before anything else.
template <typename Action>
auto WithFileSizeLimit(std::uint64_t bytes, Action action) {
    rlimit saved{};
    EXPECT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit tight = saved;
    tight.rlim_cur = bytes;
    const auto previousHandler = ::signal(SIGXFSZ, SIG_IGN);
    EXPECT_EQ(::setrlimit(RLIMIT_FSIZE, &tight), 0);
    auto result = action();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, previousHandler);
    return result;
}

}  // namespace bramis::testing
