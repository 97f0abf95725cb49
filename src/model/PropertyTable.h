#pragma once
// The one table of the control's plain properties: for every property its
// name, DISPID, automation type, access and rule, in DISPID order (the order
// of the property map and of persistence), plus the slot order of the type
// description. Immutable; any thread may read it.
//
// Three properties need the control besides the record (bControlHandled):
// - FileList (1): the table's put refuses null with E_POINTER and otherwise
//   stores the text as given. The control must instead run the URL
//   acceptance (absolute, or resolved against the page's address, then
//   canonicalised) and store only an accepted URL, in its canonical form,
//   through PropertyHolder::SetFileList; a rejected URL keeps the old value,
//   raises no event and still returns S_OK.
// - ButtonDownloadText (119): the table's put refuses null with E_POINTER and
//   stores any other text unchanged; after a successful put the control must
//   relabel and resize the in-page button when its window exists.
// - Enabled (127): held by the control with its idle flag; the table has no
//   get or put for it (E_NOTIMPL). Its get is true only when the flag is set
//   and the control is idle.
// ParallelDownloads (146) and RetryAfterLimit (147) are bag-only
// (bBagOnly): a property bag saves and loads them by name, the stream leaves
// them out, so its layout stays that of the builds before them.
// BackgroundColor (115) is refused with E_FAIL once the record is
// initialised; the caller then sets the rich error description
// kColorChangeRefusedText through the error-info routine.
#include <cstddef>
#include <span>
#include <string_view>

#include "model/PropertyDescriptor.h"
#include "model/TextProperty.h"
#include "platform/com/DispatchResults.h"

namespace pullbay::model {

class PropertyTable {
public:
    static constexpr com::DISPID kDispidFileList = 1;
    static constexpr com::DISPID kDispidBackgroundColor = 115;
    static constexpr com::DISPID kDispidButtonDownloadText = 119;
    static constexpr com::DISPID kDispidEnabled = 127;
    static constexpr com::DISPID kDispidVersion = 130;

    // Every property in DISPID order, 1 to 147.
    static std::span<const PropertyDescriptor> Entries();

    // Every DISPID of Entries() once, in the slot order of the type
    // description (get before put for each).
    static std::span<const com::DISPID> SlotOrder();

    // The property of dispid, or nullptr.
    static const PropertyDescriptor* TryFind(com::DISPID dispid);
    // The property of dispid; ArgumentOutOfRangeException when there is none.
    static const PropertyDescriptor& Find(com::DISPID dispid);
    // The property named strName ignoring ASCII case, or nullptr.
    static const PropertyDescriptor* FindByName(std::wstring_view strName);
    // The property of a text with the length rule.
    static const PropertyDescriptor& ForText(TextProperty text);
};

}  // namespace pullbay::model
