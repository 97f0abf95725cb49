// The size rule of item identifier lists, with lists that are not well
// formed, and the byte form of a PidlItem.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/Exceptions.h"
#include "tools/PidlItem.h"

namespace pullbay::tools {
namespace {

using Bytes = std::vector<std::uint8_t>;

// One item of the given total length (at least 2), its body filled with a
// marker byte, as the shell would write it.
Bytes Item(std::size_t uintLength, std::uint8_t uintMarker = 0xAB)
{
    Bytes item(uintLength, uintMarker);
    item[0] = static_cast<std::uint8_t>(uintLength & 0xFF);
    item[1] = static_cast<std::uint8_t>(uintLength >> 8);
    return item;
}

Bytes List(std::initializer_list<Bytes> items, bool bTerminated = true)
{
    Bytes list;
    for (const Bytes& item : items) {
        list.insert(list.end(), item.begin(), item.end());
    }
    if (bTerminated) {
        list.insert(list.end(), {0, 0});
    }
    return list;
}

TEST(PidlItemTest, SizeFollowsTheItemLengthsAndNeverExceedsTheOwnedBytes)
{
    struct Row {
        const char* strCase;
        Bytes list;
        std::uint32_t uintSize;
    };
    Bytes trailing = List({Item(5)});
    trailing.insert(trailing.end(), {7, 7, 7});
    const Row kRows[] = {
        {"no list", {}, 0},
        {"terminator only", {0, 0}, 2},
        {"three items", List({Item(4), Item(10), Item(3)}), 19},
        {"bytes after the terminator", trailing, 7},
        {"zero-filled buffer", Bytes(100, 0), 2},
        // Not well formed: the walk stops at the end of the owned bytes.
        {"one byte", {0}, 1},
        {"no terminator", List({Item(4), Item(6)}, false), 10},
        {"half a terminator", List({Item(4)}, false), 4},
        {"item runs past the end", List({Item(4), Bytes{0x50, 0x00, 1}}, false), 7},
        // The sum stops once it reached 32000: the rest is not looked at.
        {"two large items", List({Item(20000), Item(20000)}), 40002},
        {"sum reaches the limit exactly", List({Item(16000), Item(16000), Item(100)}), 32002},
        {"large item past the end", List({Item(31000), Bytes{0xE8, 0x03}}, false), 31002},
    };
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.strCase);
        EXPECT_EQ(PidlItem::ListSize(row.list), row.uintSize);
        EXPECT_EQ(PidlItem(row.list).GetSize(), row.uintSize);
    }
}

TEST(PidlItemTest, NoBytesIsNoListAndACopyHoldsOnlyTheList)
{
    EXPECT_EQ(PidlItem().Data(), nullptr);
    EXPECT_TRUE(PidlItem(Bytes{}).IsEmpty());
    EXPECT_TRUE(PidlItem(std::size_t{0}).IsEmpty());

    PidlItem sized(std::size_t{64});
    EXPECT_EQ(sized.GetSize(), 2u);
    const Bytes list = List({Item(6, 1), Item(4, 2)});
    std::copy(list.begin(), list.end(), sized.Data());
    EXPECT_EQ(sized.GetSize(), list.size());
    PidlItem copy(sized);
    EXPECT_EQ(Bytes(copy.Data(), copy.Data() + copy.OwnedSize()), list);
    PidlItem assigned(Bytes{0, 0});
    assigned = sized;
    EXPECT_EQ(assigned.OwnedSize(), list.size());
    PidlItem moved(std::move(assigned));
    EXPECT_EQ(moved.Serialize(), list);
    EXPECT_TRUE(assigned.IsEmpty());  // the moved-from state is defined: no list
}

TEST(PidlItemTest, SerializationIsTheListItselfAndNeedsOne)
{
    const Bytes list = List({Item(8, 1), Item(3, 2), Item(5, 3)});
    Bytes padded = list;
    padded.insert(padded.end(), {9, 9});
    EXPECT_EQ(PidlItem(padded).Serialize(), list);
    EXPECT_EQ(PidlItem(Bytes{0, 0}).Serialize(), (Bytes{0, 0}));
    EXPECT_EQ(PidlItem::Deserialize(list).Serialize(), list);
    // A damaged list comes back as it was, never longer.
    const Bytes damaged = List({Item(8), Bytes{0x40, 0}}, false);
    EXPECT_EQ(PidlItem::Deserialize(damaged).Serialize(), damaged);

    try {
        PidlItem().Serialize();
        ADD_FAILURE() << "nothing thrown";
    } catch (const core::ArgumentNullPointerException& failure) {
        EXPECT_STREQ(failure.GetMessage(), L"Argument is null pointer.");
        EXPECT_STREQ(failure.GetFunction(), L"PidlItem::Serialize");
    }
    EXPECT_THROW(PidlItem::Deserialize({}), core::UnexpectedException);
}

}  // namespace
}  // namespace pullbay::tools
