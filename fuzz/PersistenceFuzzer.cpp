// The control's properties loaded as a page gives them (a property bag of
// NAME=VALUE texts, one per line) and as a saved stream holds them (the
// bytes themselves); the first byte chooses. Besides not crashing, whatever
// was loaded saves to a stream that loads again, and a state saved and
// loaded once saves the same bytes ever after.
// One control for the whole run (making one makes a temporary folder); the
// Qt application it needs is made once, offscreen.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "OffscreenApplication.h"
#include "control/Pullbay.h"
#include "core/TextUnits.h"
#include "model/PropertyTable.h"
#include "platform/com/PropertyBag.h"
#include "platform/com/StreamPersistence.h"
#include "support/MemoryStream.h"

namespace {

using pullbay::Failed;
using pullbay::HRESULT;
using pullbay::S_OK;
using pullbay::Succeeded;
using pullbay::com::MemoryPropertyBag;
using pullbay::com::NullableString;
using pullbay::com::Variant;
using pullbay::test::MemoryStream;

pullbay::control::Pullbay& Control()
{
    static pullbay::control::Pullbay* pControl = new pullbay::control::Pullbay();
    return *pControl;
}

std::string Saved(pullbay::control::Pullbay& control)
{
    MemoryStream stream;
    PB_FUZZ_CHECK(Succeeded(control.Save(stream)));
    return stream.Contents();
}

HRESULT LoadBytes(pullbay::control::Pullbay& control, std::string_view bytes)
{
    MemoryStream stream;
    std::uint32_t uintWritten = 0;
    if (!bytes.empty()) {
        stream.Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &uintWritten);
    }
    stream.Seek(0, pullbay::core::StreamSeekOrigin::Begin, nullptr);
    return control.Load(stream);
}

HRESULT LoadBag(pullbay::control::Pullbay& control, std::string_view text)
{
    MemoryPropertyBag bag;
    while (!text.empty()) {
        const std::size_t uintEnd = text.find('\n');
        const std::string_view line = text.substr(0, uintEnd);
        text.remove_prefix(uintEnd == std::string_view::npos ? text.size() : uintEnd + 1);
        const std::size_t uintEquals = line.find('=');
        const std::wstring strName = pullbay::core::FromUtf8(line.substr(0, uintEquals));
        const std::wstring strValue = uintEquals == std::string_view::npos
                                          ? std::wstring()
                                          : pullbay::core::FromUtf8(line.substr(uintEquals + 1));
        bag.Write(strName, Variant::FromString(NullableString(strValue)));
    }
    return control.Load(bag);
}

// For the report of a finding: the first property whose saved value differs.
std::string DifferingProperty(const std::string& strFirst, const std::string& strSecond)
{
    MemoryStream first;
    MemoryStream second;
    std::uint32_t uintWritten = 0;
    first.Write(strFirst.data(), static_cast<std::uint32_t>(strFirst.size()), &uintWritten);
    second.Write(strSecond.data(), static_cast<std::uint32_t>(strSecond.size()), &uintWritten);
    first.Seek(12, pullbay::core::StreamSeekOrigin::Begin, nullptr);
    second.Seek(12, pullbay::core::StreamSeekOrigin::Begin, nullptr);
    for (const pullbay::model::PropertyDescriptor& property :
         pullbay::model::PropertyTable::Entries()) {
        if (property.bBagOnly) {
            continue;
        }
        Variant left;
        Variant right;
        pullbay::com::ReadVariant(first, left);
        pullbay::com::ReadVariant(second, right);
        if (first.Position() != second.Position() || left.Type() != right.Type()) {
            return " (" + pullbay::core::ToUtf8(property.strName) + ")";
        }
    }
    return std::string();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*pArgc*/, char*** /*pArgv*/)
{
    pullbay::fuzz::StartOffscreenApplication("fuzz_persistence");
    Control();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t uintSize)
{
    if (uintSize == 0) {
        return 0;
    }
    pullbay::control::Pullbay& control = Control();
    const std::string_view rest(reinterpret_cast<const char*>(pData + 1), uintSize - 1);
    if (pData[0] % 2 == 0) {
        LoadBag(control, rest);
    } else {
        LoadBytes(control, rest);
    }
    // What the control holds now, it can save and load again; after one
    // such round the saved form stays the same. (Not after none: a text
    // property may start below its rule, as DefaultDestinationFolder starts
    // empty and stores "MyComputer" once an empty text is put.)
    PB_FUZZ_CHECK(LoadBytes(control, Saved(control)) == S_OK);
    const std::string strSaved = Saved(control);
    PB_FUZZ_CHECK(LoadBytes(control, strSaved) == S_OK);
    const std::string strAgain = Saved(control);
    if (strAgain != strSaved) {
        std::size_t uintAt = 0;
        while (uintAt < strAgain.size() && uintAt < strSaved.size() &&
               strAgain[uintAt] == strSaved[uintAt]) {
            ++uintAt;
        }
        std::fprintf(stderr, "saved streams differ at byte %zu of %zu/%zu%s\n", uintAt,
                     strSaved.size(), strAgain.size(),
                     DifferingProperty(strSaved, strAgain).c_str());
    }
    PB_FUZZ_CHECK(strAgain == strSaved);
    return 0;
}
