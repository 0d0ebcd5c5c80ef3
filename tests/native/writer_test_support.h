#pragma once

// What every writer test does first: encode into memory and expect success.

#include <gtest/gtest.h>

#include "file_test_support.h"
#include "imagefiles/byte_sink.h"
#include "imagefiles/encode_result.h"

// The bytes `encode` (a call of one writer with a ByteSink&) puts into a fresh sink; a failure,
// or a message beside success, fails the test.
template <typename Encode> Bytes encodedOrFail(Encode&& encode) {
    Bytes bytes;
    ByteSink out{bytes};
    const EncodeResult result = encode(out);
    EXPECT_TRUE(result.ok()) << result.message;
    EXPECT_TRUE(result.message.empty());
    return bytes;
}
