// The control's dispatch table: the scripting surface by name and DISPID.
#include "control/Pullbay.h"

#include <limits>
#include <utility>

#include "model/PropertyTable.h"

namespace pullbay::control {

using com::DISPID;
using com::MemberInfo;
using com::MemberKind;
using com::NullableString;
using com::VarType;
using com::Variant;

namespace {

Variant Text(const NullableString& strText)
{
    return Variant::FromString(strText);
}

// Builds the dispatch table: the list and download members here, the
// properties from the property table.
com::DispatchTable<Pullbay> BuildTable()
{
    com::DispatchTable<Pullbay> table;
    const auto index = com::ParameterInfo{L"Index", VarType::I4};

    // Properties come first, in the slot order of the type description.
    for (DISPID dispid : model::PropertyTable::SlotOrder()) {
        const model::PropertyDescriptor& property = model::PropertyTable::Find(dispid);
        table.Add(MemberInfo{property.strName, dispid, MemberKind::PropertyGet, {}, property.type},
                  [dispid](Pullbay& control, const std::vector<Variant>&, Variant& result) {
                      return control.GetProperty(dispid, result);
                  });
        if (!property.bReadOnly) {
            table.Add(MemberInfo{property.strName,
                                 dispid,
                                 MemberKind::PropertyPut,
                                 {{L"newVal", property.type}},
                                 VarType::Empty},
                      [dispid](Pullbay& control, const std::vector<Variant>& args, Variant&) {
                          return control.PutProperty(dispid, args[0]);
                      });
        }
    }

    // Indexed string properties of the list.
    struct IndexedText {
        const wchar_t* strName;
        DISPID dispid;
        HRESULT (Pullbay::*get)(std::int32_t, NullableString*) const;
        HRESULT (Pullbay::*put)(std::int32_t, const NullableString&);
    };
    const IndexedText texts[] = {
        {L"DownloadFileUrl", Pullbay::DispidDownloadFileUrl, &Pullbay::GetDownloadFileUrl,
         &Pullbay::PutDownloadFileUrl},
        {L"DownloadFileName", Pullbay::DispidDownloadFileName, &Pullbay::GetDownloadFileName,
         &Pullbay::PutDownloadFileName},
        {L"DownloadFileMimeType", Pullbay::DispidDownloadFileMimeType,
         &Pullbay::GetDownloadFileMimeType, &Pullbay::PutDownloadFileMimeType},
    };
    for (const IndexedText& text : texts) {
        table.Add(
            MemberInfo{text.strName, text.dispid, MemberKind::PropertyGet, {index}, VarType::BStr},
            [get = text.get](Pullbay& control, const std::vector<Variant>& args, Variant& result) {
                NullableString value;
                const HRESULT hr = (control.*get)(args[0].I4(), &value);
                if (hr == S_OK) {
                    result = Text(value);
                }
                return hr;
            });
        table.Add(MemberInfo{text.strName,
                             text.dispid,
                             MemberKind::PropertyPut,
                             {index, {L"newVal", VarType::BStr}},
                             VarType::Empty},
                  [put = text.put](Pullbay& control, const std::vector<Variant>& args, Variant&) {
                      return (control.*put)(args[0].I4(), args[1].String());
                  });
    }
    table.Add(MemberInfo{L"DownloadFileSize",
                         Pullbay::DispidDownloadFileSize,
                         MemberKind::PropertyGet,
                         {index},
                         VarType::I4},
              [](Pullbay& control, const std::vector<Variant>& args, Variant& result) {
                  std::int32_t intValue = 0;
                  const HRESULT hr = control.GetDownloadFileSize(args[0].I4(), &intValue);
                  if (hr == S_OK) {
                      result = Variant::FromI4(intValue);
                  }
                  return hr;
              });
    table.Add(MemberInfo{L"DownloadFileSize",
                         Pullbay::DispidDownloadFileSize,
                         MemberKind::PropertyPut,
                         {index, {L"newVal", VarType::I4}},
                         VarType::Empty},
              [](Pullbay& control, const std::vector<Variant>& args, Variant&) {
                  return control.PutDownloadFileSize(args[0].I4(), args[1].I4());
              });
    table.Add(MemberInfo{L"DownloadFileCount",
                         Pullbay::DispidDownloadFileCount,
                         MemberKind::PropertyGet,
                         {},
                         VarType::I4},
              [](Pullbay& control, const std::vector<Variant>&, Variant& result) {
                  std::int32_t intCount = 0;
                  const HRESULT hr = control.GetDownloadFileCount(&intCount);
                  result = Variant::FromI4(intCount);
                  return hr;
              });

    // Methods.
    table.Add(MemberInfo{L"DownloadFileAdd",
                         Pullbay::DispidDownloadFileAdd,
                         MemberKind::Method,
                         {{L"mimeType", VarType::BStr},
                          {L"fileSize", VarType::I4},
                          {L"fileName", VarType::BStr},
                          {L"url", VarType::BStr}},
                         VarType::I4},
              [](Pullbay& control, const std::vector<Variant>& args, Variant& result) {
                  // A duplicate leaves the result unwritten (still Empty).
                  constexpr std::int32_t kUnwritten = std::numeric_limits<std::int32_t>::min();
                  std::int32_t intIndex = kUnwritten;
                  const HRESULT hr =
                      control.DownloadFileAdd(args[0].String(), args[1].I4(), args[2].String(),
                                              args[3].String(), &intIndex);
                  if (intIndex != kUnwritten) {
                      result = Variant::FromI4(intIndex);
                  }
                  return hr;
              });
    table.Add(MemberInfo{L"DownloadFileRemove",
                         Pullbay::DispidDownloadFileRemove,
                         MemberKind::Method,
                         {index},
                         VarType::Empty},
              [](Pullbay& control, const std::vector<Variant>& args, Variant&) {
                  return control.DownloadFileRemove(args[0].I4());
              });
    struct PlainMethod {
        const wchar_t* strName;
        DISPID dispid;
        HRESULT (Pullbay::*method)();
    };
    const PlainMethod methods[] = {
        {L"DownloadFileList", Pullbay::DispidDownloadFileList, &Pullbay::DownloadFileList},
        {L"Download", Pullbay::DispidDownload, &Pullbay::Download},
        {L"ClearFileList", Pullbay::DispidClearFileList, &Pullbay::ClearFileList},
        {L"SkipCurrent", Pullbay::DispidSkipCurrent, &Pullbay::SkipCurrent},
        {L"SkipAll", Pullbay::DispidSkipAll, &Pullbay::SkipAll},
    };
    for (const PlainMethod& method : methods) {
        table.Add(MemberInfo{method.strName, method.dispid, MemberKind::Method, {}, VarType::Empty},
                  [call = method.method](Pullbay& control, const std::vector<Variant>&, Variant&) {
                      return (control.*call)();
                  });
    }
    return table;
}

}  // namespace

const com::DispatchTable<Pullbay>& Pullbay::Table()
{
    static const com::DispatchTable<Pullbay> s_table = BuildTable();
    return s_table;
}

HRESULT Pullbay::GetIDsOfNames(std::wstring_view strName, DISPID& dispid)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    return Table().GetIDsOfNames(strName, dispid);
}

HRESULT Pullbay::Invoke(DISPID dispid, std::uint16_t uintFlags, std::vector<Variant> args,
                        Variant* pResult)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    return Table().Invoke(*this, dispid, uintFlags, std::move(args), pResult);
}

const std::vector<MemberInfo>& Pullbay::Describe() const
{
    return Table().Members();
}

}  // namespace pullbay::control
