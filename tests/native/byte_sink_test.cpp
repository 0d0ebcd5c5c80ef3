#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>

#include "file_test_support.h"
#include "imagefiles/byte_sink.h"

namespace {

TEST(ByteSink, FieldsAreLittleEndianAfterWhatItHeld) {
    Bytes bytes = {0xEE};
    ByteSink out{bytes};
    out.put16(0x1234);
    out.put32(0xA1B2C3D4);
    out.putText("RIFF");
    const std::uint8_t data[] = {7, 8};
    out.putBytes(data);
    out.putZeros(2);
    EXPECT_EQ(out.size(), 15u);
    EXPECT_EQ(bytes,
              (Bytes{0xEE, 0x34, 0x12, 0xD4, 0xC3, 0xB2, 0xA1, 'R', 'I', 'F', 'F', 7, 8, 0, 0}));
}

// An encoder that appends part of a file and then ends as `finish` says: only a success keeps
// what it appended; every other ending leaves the sink with what it held before.
TEST(AppendWholeFile, KeepsTheFileOnlyWhenTheEncoderSucceeds) {
    struct Case {
        const char* name;
        std::function<EncodeResult()> finish;
        EncodeError error;
        Bytes after;
    };
    const Case cases[] = {
        {"success", [] { return EncodeResult{}; }, EncodeError::None, {1, 2, 0xF1, 0xF2}},
        {"refusal",
         [] {
             return EncodeResult{EncodeError::UnusableFrame, "no"};
         },
         EncodeError::UnusableFrame,
         {1, 2}},
        {"out of memory",
         []() -> EncodeResult { throw std::bad_alloc(); },
         EncodeError::OutOfMemory,
         {1, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes bytes = {1, 2};
        ByteSink out{bytes};
        const EncodeResult result = appendWholeFile(out, [&] {
            out.put16(0xF2F1);
            return c.finish();
        });
        EXPECT_EQ(result.error, c.error);
        EXPECT_EQ(result.ok(), result.message.empty());
        EXPECT_EQ(bytes, c.after);
    }
}

// Any other exception is the caller's to handle, and still takes no part of a file with it.
TEST(AppendWholeFile, OtherExceptionsPassThroughAndLeaveNothing) {
    Bytes bytes = {1, 2};
    ByteSink out{bytes};
    EXPECT_THROW((void)appendWholeFile(out,
                                       [&]() -> EncodeResult {
                                           out.putZeros(3);
                                           throw std::runtime_error("frames failed");
                                       }),
                 std::runtime_error);
    EXPECT_EQ(bytes, (Bytes{1, 2}));
}

} // namespace
