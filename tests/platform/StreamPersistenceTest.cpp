// The stream form of saved properties: layout, round trips over streams that
// move few bytes at a time, and damaged streams.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "platform/com/StreamPersistence.h"
#include "support/MemoryStream.h"

namespace pullbay::com {
namespace {

// Hands out at most uintSlice bytes per Read, as a pipe or a socket may.
class TricklingStream : public test::MemoryStream {
public:
    explicit TricklingStream(std::uint32_t uintSlice) : m_uintSlice(uintSlice) {}
    HRESULT Read(void* pData, std::uint32_t uintSize, std::uint32_t* pRead) override
    {
        return MemoryStream::Read(pData, std::min(uintSize, m_uintSlice), pRead);
    }

private:
    std::uint32_t m_uintSlice;
};

std::string Bytes(std::initializer_list<int> values)
{
    std::string bytes;
    for (int intValue : values) {
        bytes.push_back(static_cast<char>(intValue));
    }
    return bytes;
}

void Rewind(core::IStream& stream)
{
    ASSERT_EQ(stream.Seek(0, core::StreamSeekOrigin::Begin, nullptr), S_OK);
}

const std::vector<Variant>& EveryKindOfValue()
{
    static const std::vector<Variant> values = {
        Variant(),
        Variant::FromI4(std::numeric_limits<std::int32_t>::min()),
        Variant::FromI4(-1),
        Variant::FromUI4(0xFFFFFFFFu),
        Variant::FromR8(-0.1),
        Variant::FromR8(std::numeric_limits<double>::infinity()),
        Variant::FromBool(true),
        Variant::FromBool(false),
        Variant::FromString(NullableString()),
        Variant::FromString(L""),
        Variant::FromString(L"Gr\u00FC\u00DFe \u20AC"),
        Variant::FromString(std::wstring(L"a") + static_cast<wchar_t>(0x1F600) + L"b"),
        Variant::FromString(std::wstring(70000, L'x')),
    };
    return values;
}

TEST(StreamPersistenceTest, WritesTheLittleEndianLayout)
{
    test::MemoryStream stream;
    ASSERT_EQ(WriteVersion(stream), S_OK);
    ASSERT_EQ(WriteUInt32(stream, 0x01020304u), S_OK);
    ASSERT_EQ(WriteVariant(stream, Variant::FromI4(-2)), S_OK);
    ASSERT_EQ(WriteVariant(stream, Variant::FromBool(true)), S_OK);
    ASSERT_EQ(WriteVariant(stream, Variant::FromR8(1.0)), S_OK);
    ASSERT_EQ(WriteVariant(stream,
                           Variant::FromString(std::wstring(L"A") + static_cast<wchar_t>(0x1F600))),
              S_OK);
    ASSERT_EQ(WriteVariant(stream, Variant::FromString(NullableString())), S_OK);
    const std::string expected =
        Bytes({0x00, 0x0A, 0x00, 0x00}) + Bytes({0x04, 0x03, 0x02, 0x01}) +
        Bytes({0x03, 0x00, 0xFE, 0xFF, 0xFF, 0xFF}) + Bytes({0x0B, 0x00, 0xFF, 0xFF}) +
        Bytes({0x05, 0x00, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F}) +
        Bytes({0x08, 0x00, 0x06, 0x00, 0x00, 0x00, 0x41, 0x00, 0x3D, 0xD8, 0x00, 0xDE}) +
        Bytes({0x08, 0x00, 0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(stream.Contents(), expected);
}

TEST(StreamPersistenceTest, EveryValueRoundTripsThroughShortReadsAndWrites)
{
    TricklingStream stream(3);
    stream.LimitWriteTo(5);
    ASSERT_EQ(WriteVersion(stream), S_OK);
    for (const Variant& value : EveryKindOfValue()) {
        const std::uint64_t uintBefore = stream.Position();
        ASSERT_EQ(WriteVariant(stream, value), S_OK);
        EXPECT_EQ(stream.Position() - uintBefore, VariantSizeEstimate(value));
    }
    Rewind(stream);
    ASSERT_EQ(ReadVersion(stream), S_OK);
    for (const Variant& expected : EveryKindOfValue()) {
        Variant value = Variant::FromI4(12345);
        ASSERT_EQ(ReadVariant(stream, value), S_OK);
        EXPECT_EQ(value, expected);
    }
    Variant value;
    EXPECT_EQ(ReadVariant(stream, value), STG_E_READFAULT);
}

TEST(StreamPersistenceTest, NewerVersionsAndDamagedStreamsFailCleanly)
{
    const struct {
        const char* strCase;
        std::string bytes;
        HRESULT hrVersion;
    } versions[] = {
        {"current", Bytes({0x00, 0x0A, 0x00, 0x00}), S_OK},
        {"older", Bytes({0xFF, 0x09, 0x00, 0x00}), S_OK},
        {"newer", Bytes({0x01, 0x0A, 0x00, 0x00}), E_FAIL},
        {"much newer", Bytes({0x00, 0x00, 0x00, 0x80}), E_FAIL},
        {"truncated", Bytes({0x00, 0x0A}), STG_E_READFAULT},
    };
    for (const auto& row : versions) {
        test::MemoryStream stream;
        stream.Write(row.bytes.data(), static_cast<std::uint32_t>(row.bytes.size()), nullptr);
        Rewind(stream);
        EXPECT_EQ(ReadVersion(stream), row.hrVersion) << row.strCase;
    }

    const struct {
        const char* strCase;
        std::string bytes;
        HRESULT hr;
    } values[] = {
        {"empty stream", "", STG_E_READFAULT},
        {"half a type", Bytes({0x03}), STG_E_READFAULT},
        {"I4 cut short", Bytes({0x03, 0x00, 0x01, 0x02}), STG_E_READFAULT},
        {"R8 cut short", Bytes({0x05, 0x00, 0, 0, 0, 0}), STG_E_READFAULT},
        {"unknown type", Bytes({0x07, 0x00, 0, 0, 0, 0, 0, 0, 0, 0}), E_FAIL},
        {"type with flag bits", Bytes({0x08, 0x20, 0, 0, 0, 0}), E_FAIL},
        {"odd text length", Bytes({0x08, 0x00, 0x03, 0x00, 0x00, 0x00, 0x41, 0x00, 0x42}), E_FAIL},
        {"huge text length", Bytes({0x08, 0x00, 0xFE, 0xFF, 0xFF, 0xFF, 0x41, 0x00}), E_FAIL},
        {"text longer than its stream", Bytes({0x08, 0x00, 0x00, 0x00, 0x00, 0x01, 0x41, 0x00}),
         STG_E_READFAULT},
        {"text length cut short", Bytes({0x08, 0x00, 0x02, 0x00}), STG_E_READFAULT},
    };
    for (const auto& row : values) {
        test::MemoryStream stream;
        stream.Write(row.bytes.data(), static_cast<std::uint32_t>(row.bytes.size()), nullptr);
        Rewind(stream);
        Variant value = Variant::FromI4(7);
        EXPECT_EQ(ReadVariant(stream, value), row.hr) << row.strCase;
        EXPECT_EQ(value, Variant::FromI4(7)) << row.strCase;
    }
}

TEST(StreamPersistenceTest, LoneSurrogatesReadAsReplacementCharacters)
{
    test::MemoryStream stream;
    const std::string bytes =
        Bytes({0x08, 0x00, 0x06, 0x00, 0x00, 0x00, 0x00, 0xDC, 0x3D, 0xD8, 0x41, 0x00});
    stream.Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()), nullptr);
    Rewind(stream);
    Variant value;
    ASSERT_EQ(ReadVariant(stream, value), S_OK);
    EXPECT_EQ(value, Variant::FromString(L"\uFFFD\uFFFDA"));
}

TEST(StreamPersistenceTest, WriteFailuresAreReported)
{
    test::MemoryStream full;
    full.FailAfter(5, HResultFromWin32(112));
    EXPECT_EQ(WriteVariant(full, Variant::FromString(L"abc")), HResultFromWin32(112));

    test::MemoryStream stuck;
    stuck.LimitWriteTo(0);
    EXPECT_EQ(WriteVariant(stuck, Variant::FromI4(1)), STG_E_WRITEFAULT);
}

}  // namespace
}  // namespace pullbay::com
