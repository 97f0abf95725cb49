#include "platform/registry/RegistryRecords.h"

#include <cstring>

#include "platform/registry/RegistryTypes.h"

namespace pullbay::platform {

namespace {

constexpr char kValueMagic[4] = {'P', 'B', 'R', 'V'};
constexpr char kKeyMagic[4] = {'P', 'B', 'R', 'K'};
constexpr std::uint32_t kFormatVersion = 1;

void AppendU32(std::vector<std::uint8_t>& out, std::uint32_t uintValue)
{
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<std::uint8_t>(uintValue >> (8 * i)));
    }
}

void AppendName(std::vector<std::uint8_t>& out, std::wstring_view strName)
{
    for (wchar_t ch : strName) {
        AppendU32(out, static_cast<std::uint32_t>(ch));
    }
}

// Reads sequentially and refuses to run past the end.
class RecordReader {
public:
    explicit RecordReader(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}

    bool ReadMagic(const char (&magic)[4])
    {
        if (Remaining() < 4 || std::memcmp(m_bytes.data() + m_uintPos, magic, 4) != 0) {
            return false;
        }
        m_uintPos += 4;
        return true;
    }

    bool ReadU32(std::uint32_t& uintValue)
    {
        if (Remaining() < 4) {
            return false;
        }
        uintValue = 0;
        for (int i = 0; i < 4; ++i) {
            uintValue |= static_cast<std::uint32_t>(m_bytes[m_uintPos + i]) << (8 * i);
        }
        m_uintPos += 4;
        return true;
    }

    bool ReadName(std::uint32_t uintUnits, std::wstring& strName)
    {
        if (uintUnits > Remaining() / 4) {
            return false;
        }
        strName.clear();
        strName.reserve(uintUnits);
        for (std::uint32_t i = 0; i < uintUnits; ++i) {
            std::uint32_t uintUnit = 0;
            ReadU32(uintUnit);
            strName.push_back(static_cast<wchar_t>(uintUnit));
        }
        return true;
    }

    std::size_t Remaining() const { return m_bytes.size() - m_uintPos; }
    std::span<const std::uint8_t> Rest() const { return m_bytes.subspan(m_uintPos); }

private:
    std::span<const std::uint8_t> m_bytes;
    std::size_t m_uintPos = 0;
};

}  // namespace

std::vector<std::uint8_t> EncodeRegistryValueRecord(std::wstring_view strName,
                                                    std::uint32_t uintType,
                                                    std::span<const std::uint8_t> data)
{
    // Built from the magic rather than inserted into an empty vector: GCC 12
    // reports a false overflow for the latter at -O2.
    std::vector<std::uint8_t> out(kValueMagic, kValueMagic + 4);
    out.reserve(20 + 4 * strName.size() + data.size());
    AppendU32(out, kFormatVersion);
    AppendU32(out, uintType);
    AppendU32(out, static_cast<std::uint32_t>(strName.size()));
    AppendU32(out, static_cast<std::uint32_t>(data.size()));
    AppendName(out, strName);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

bool DecodeRegistryValueRecord(std::span<const std::uint8_t> bytes, RegistryValueRecord& record)
{
    RecordReader reader(bytes);
    std::uint32_t uintVersion = 0;
    std::uint32_t uintType = 0;
    std::uint32_t uintNameUnits = 0;
    std::uint32_t uintDataBytes = 0;
    RegistryValueRecord decoded;
    if (!reader.ReadMagic(kValueMagic) || !reader.ReadU32(uintVersion) ||
        uintVersion != kFormatVersion || !reader.ReadU32(uintType) ||
        !reader.ReadU32(uintNameUnits) || !reader.ReadU32(uintDataBytes) ||
        uintNameUnits > kMaxRegistryValueNameUnits ||
        !reader.ReadName(uintNameUnits, decoded.strName) || reader.Remaining() != uintDataBytes) {
        return false;
    }
    decoded.uintType = uintType;
    const auto rest = reader.Rest();
    decoded.data.assign(rest.begin(), rest.end());
    record = std::move(decoded);
    return true;
}

std::vector<std::uint8_t> EncodeRegistryKeyRecord(std::wstring_view strName)
{
    std::vector<std::uint8_t> out(kKeyMagic, kKeyMagic + 4);
    AppendU32(out, kFormatVersion);
    AppendU32(out, static_cast<std::uint32_t>(strName.size()));
    AppendName(out, strName);
    return out;
}

bool DecodeRegistryKeyRecord(std::span<const std::uint8_t> bytes, std::wstring& strName)
{
    RecordReader reader(bytes);
    std::uint32_t uintVersion = 0;
    std::uint32_t uintNameUnits = 0;
    std::wstring strDecoded;
    if (!reader.ReadMagic(kKeyMagic) || !reader.ReadU32(uintVersion) ||
        uintVersion != kFormatVersion || !reader.ReadU32(uintNameUnits) ||
        uintNameUnits > kMaxRegistryKeyNameUnits || !reader.ReadName(uintNameUnits, strDecoded) ||
        reader.Remaining() != 0) {
        return false;
    }
    strName = std::move(strDecoded);
    return true;
}

}  // namespace pullbay::platform
