#include "host/protocol/RequestDispatcher.h"

#include <QByteArray>
#include <QJsonArray>

#include <cmath>
#include <limits>
#include <optional>
#include <vector>

#include "core/TextUnits.h"
#include "host/protocol/JsonText.h"
#include "platform/com/DispatchResults.h"
#include "platform/com/DispatchTable.h"
#include "platform/com/Variant.h"
#include "pullbay/IPullbayControl.h"
#include "pullbay/Identity.h"

namespace pullbay::host {

namespace {

struct Verb {
    const char* pKey;
    com::MemberKind kind;
    std::uint16_t uintFlags;
};

constexpr Verb kVerbs[] = {
    {"get", com::MemberKind::PropertyGet, com::kDispatchPropertyGet},
    {"put", com::MemberKind::PropertyPut, com::kDispatchPropertyPut},
    {"call", com::MemberKind::Method, com::kDispatchMethod},
};

bool IsWhole(double dblValue)
{
    return std::isfinite(dblValue) && dblValue == std::trunc(dblValue);
}

// A JSON value as the automation type the parameter declares (Empty: the
// member gave no type). Numbers take the declared numeric type when they fit;
// otherwise they travel as doubles and the control's coercion reports the
// overflow. nullopt: the value has no automation counterpart.
std::optional<com::Variant> ToVariant(const QJsonValue& value, com::VarType declared)
{
    switch (value.type()) {
    case QJsonValue::Null:
        return com::Variant::FromString(com::NullableString());
    case QJsonValue::Bool:
        return com::Variant::FromBool(value.toBool());
    case QJsonValue::String:
        return com::Variant::FromString(com::NullableString(value.toString().toStdWString()));
    case QJsonValue::Double: {
        const double dblValue = value.toDouble();
        const bool bWhole = IsWhole(dblValue);
        if (declared == com::VarType::R8) {
            return com::Variant::FromR8(dblValue);
        }
        if (declared == com::VarType::UI4 && bWhole && dblValue >= 0 &&
            dblValue <= std::numeric_limits<std::uint32_t>::max()) {
            return com::Variant::FromUI4(static_cast<std::uint32_t>(dblValue));
        }
        if (bWhole && dblValue >= std::numeric_limits<std::int32_t>::min() &&
            dblValue <= std::numeric_limits<std::int32_t>::max()) {
            return com::Variant::FromI4(static_cast<std::int32_t>(dblValue));
        }
        return com::Variant::FromR8(dblValue);
    }
    default:
        return std::nullopt;
    }
}

std::string Reply(const std::string& strIdJson, HRESULT hr, const com::Variant* pValue,
                  const std::optional<std::wstring>& strError)
{
    JsonText::Object reply;
    reply.Raw("id", strIdJson).Number("hr", hr);
    if (pValue != nullptr && !pValue->IsEmpty()) {
        reply.Raw("value", JsonText::FromVariant(*pValue));
    }
    if (strError) {
        reply.Text("error", *strError);
    }
    return reply.Str();
}

}  // namespace

RequestDispatcher::RequestDispatcher(com::ComPtr<com::IDispatch> pControl)
    : m_pControl(std::move(pControl))
{
}

bool RequestDispatcher::IsRequest(const QJsonObject& request)
{
    for (const Verb& verb : kVerbs) {
        if (request.contains(verb.pKey)) {
            return true;
        }
    }
    return false;
}

std::string RequestDispatcher::IdJson(const QJsonObject& request, std::string_view strMessage)
{
    const QJsonValue id = request.value("id");
    if (id.isString()) {
        return JsonText::Quote(id.toString().toStdWString());
    }
    if (id.isDouble()) {
        // The text is the one the parser read (the same value), unless the
        // key was written with escapes.
        const std::optional<std::string_view> strText = JsonText::MemberJson(strMessage, "id");
        if (strText &&
            QByteArray::fromRawData(strText->data(), static_cast<qsizetype>(strText->size()))
                    .toDouble() == id.toDouble()) {
            return std::string(*strText);
        }
        return JsonText::NumberText(id.toDouble());
    }
    return "null";
}

std::string RequestDispatcher::InvalidRequestReply(const std::string& strIdJson,
                                                   const std::string& strError)
{
    return Reply(strIdJson, E_INVALIDARG, nullptr, core::FromUtf8(strError));
}

std::string RequestDispatcher::Handle(const QJsonObject& request, const std::string& strId)
{
    const Verb* pVerb = nullptr;
    for (const Verb& verb : kVerbs) {
        if (request.contains(verb.pKey)) {
            if (pVerb != nullptr) {
                return InvalidRequestReply(strId, "a request has exactly one of get, put and call");
            }
            pVerb = &verb;
        }
    }
    if (pVerb == nullptr || !request.value(pVerb->pKey).isString()) {
        return InvalidRequestReply(strId, "a request names its member in get, put or call");
    }
    const std::wstring strName = request.value(pVerb->pKey).toString().toStdWString();
    com::DISPID dispid = 0;
    const HRESULT hrName = m_pControl->GetIDsOfNames(strName, dispid);
    if (Failed(hrName)) {
        return Reply(strId, hrName, nullptr, std::nullopt);
    }

    // The JSON values in declaration order: the index, then a put's value,
    // or a call's arguments.
    std::vector<QJsonValue> values;
    if (pVerb->kind == com::MemberKind::Method) {
        const QJsonValue args = request.value("args");
        if (!args.isUndefined() && !args.isArray()) {
            return InvalidRequestReply(strId, "args must be an array");
        }
        for (const QJsonValue& arg : args.toArray()) {
            values.push_back(arg);
        }
    } else {
        if (request.contains("index")) {
            values.push_back(request.value("index"));
        }
        if (pVerb->kind == com::MemberKind::PropertyPut) {
            if (!request.contains("value")) {
                return InvalidRequestReply(strId, "put needs a value");
            }
            values.push_back(request.value("value"));
        }
    }
    const com::MemberInfo* pMember = nullptr;
    for (const com::MemberInfo& member : m_pControl->GetTypeInfo()) {
        if (member.dispid == dispid && member.kind == pVerb->kind) {
            pMember = &member;
        }
    }
    std::vector<com::Variant> args;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const com::VarType declared = pMember != nullptr && i < pMember->parameters.size()
                                          ? pMember->parameters[i].type
                                          : com::VarType::Empty;
        std::optional<com::Variant> arg = ToVariant(values[i], declared);
        if (!arg) {
            return Reply(strId, com::DISP_E_TYPEMISMATCH, nullptr, std::nullopt);
        }
        args.push_back(std::move(*arg));
    }

    // The rich error is read through the control: its record sits with the
    // control's code, not in this program.
    const auto pHost = m_pControl.As<api::IPullbayControl>(api::IID_IPullbayControl);
    if (pHost) {
        pHost->TakeErrorInfo();
    }
    com::Variant result;
    const HRESULT hr = m_pControl->Invoke(dispid, pVerb->uintFlags, std::move(args), &result);
    std::optional<std::wstring> strError;
    if (pHost) {
        if (const std::optional<com::ErrorInfo> info = pHost->TakeErrorInfo()) {
            strError = info->strDescription;
        }
    }
    return Reply(strId, hr, &result, strError);
}

HRESULT RequestDispatcher::CallMethod(std::wstring_view strName)
{
    com::DISPID dispid = 0;
    const HRESULT hr = m_pControl->GetIDsOfNames(strName, dispid);
    if (Failed(hr)) {
        return hr;
    }
    return m_pControl->Invoke(dispid, com::kDispatchMethod, {}, nullptr);
}

}  // namespace pullbay::host
