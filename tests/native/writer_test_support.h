#pragma once

// What every writer test does: encode into memory and expect success, or expect a refusal that
// leaves the sink as it was.

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

// What `encode` refuses with. Its sink already holds bytes, which a refusal must leave as they
// were; success, or a refusal that does not say why, fails the test.
template <typename Encode> EncodeResult refusalOf(Encode&& encode) {
    const Bytes earlier = {0x5A, 0xA5};
    Bytes bytes = earlier;
    ByteSink out{bytes};
    EncodeResult result = encode(out);
    EXPECT_FALSE(result.ok());
    EXPECT_FALSE(result.message.empty());
    EXPECT_EQ(bytes, earlier);
    return result;
}
