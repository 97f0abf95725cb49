#pragma once
// The head of one response: the status line and the header fields, written
// as HTTP/1.1 text. Fields go out in the order added, exactly as given.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "loopback/FieldText.h"

namespace pullbay::loopback {

class ResponseHead {
public:
    // An empty reason stands for the status's standard phrase.
    explicit ResponseHead(int intStatus, std::string_view strReason = {});

    void Add(std::string_view strName, std::string_view strValue);
    void AddContentLength(std::uint64_t uintLength);

    int Status() const { return m_intStatus; }
    // The value of the first field of that name (ASCII case ignored).
    std::optional<std::string> Field(std::string_view strName) const;
    // "HTTP/1.1 <status> <reason>", the fields, each line ending CR LF, and
    // the blank line that ends the head.
    std::string Text() const;

    // The standard reason phrase of a status code; "Unknown" for a code it
    // does not know.
    static std::string_view ReasonPhrase(int intStatus);

private:
    int m_intStatus;
    std::string m_strReason;
    FieldList m_fields;
};

}  // namespace pullbay::loopback
