// The file item record and the file list: keys, duplicates, and the order
// list and uniqueness index staying in step under every operation.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/ExceptionManager.h"
#include "core/Exceptions.h"
#include "core/TextUnits.h"
#include "core/ThreadId.h"
#include "model/FileItem.h"
#include "model/FileList.h"
#include "support/MemoryStream.h"

namespace pullbay::control {
namespace {

std::shared_ptr<model::FileItem> Item(const std::wstring& strUrl, const std::wstring& strFileName)
{
    return model::FileItem::Create(L"application/octet-stream", 1, strFileName, strUrl);
}

TEST(FileItemTest, KeysFoldOnlyAsciiLettersAndFollowTheirFields)
{
    const auto pItem = Item(L"http://H/A%2F\u00C4\u00E9Z", L"Sub\\\u00C9T\u00DF.ZIP");
    EXPECT_EQ(pItem->GetUrlKey(), L"http://h/a%2f\u00C4\u00E9z");
    EXPECT_EQ(pItem->GetFileNameKey(), L"sub\\\u00C9t\u00DF.zip");
    const auto pOther = Item(L"HTTP://X/", L"N");
    EXPECT_EQ(pOther->GetUrlKey(), L"http://x/");
    EXPECT_EQ(pOther->GetFileNameKey(), L"n");
    EXPECT_EQ(pOther->GetUrl(), L"HTTP://X/");
    EXPECT_EQ(pOther->GetFileName(), L"N");
}

TEST(FileItemTest, SizeTextIsPlainDecimalWhateverTheLocale)
{
    model::FileItem item;
    EXPECT_EQ(item.GetFileSize(), 0);
    EXPECT_EQ(item.GetFileSizeText(), L"0");
    const std::pair<std::int64_t, const wchar_t*> table[] = {
        {0, L"0"},
        {7, L"7"},
        {1234567, L"1234567"},
        {INT32_MAX, L"2147483647"},
        {INT32_MIN, L"-2147483648"},
        {5368709120, L"5368709120"},
        {INT64_MAX, L"9223372036854775807"},
    };
    for (const auto& [intSize, strText] : table) {
        item.SetFileSize(intSize);
        EXPECT_EQ(item.GetFileSize(), intSize);
        EXPECT_EQ(item.GetFileSizeText(), strText);
    }
}

TEST(FileItemTest, CloneKeepsWhatThePageDeclaredAndResetsTheRest)
{
    const auto pItem = model::FileItem::Create(L"image/png", 42, L"Pic.PNG", L"http://h/p.png");
    pItem->SetDestinationFolder(L"/home/u/Downloads");
    pItem->SetDestinationFileName(L"Pic (2).PNG");
    pItem->SetTemporaryStream(std::make_shared<test::MemoryStream>());
    pItem->SetTemporaryFilePath(L"/tmp/PBT1.tmp");
    pItem->SetResult(3);
    pItem->SetChecked(0);
    EXPECT_EQ(pItem->FullDestinationPath(), L"/home/u/Downloads/Pic (2).PNG");

    const auto pClone = pItem->CloneDeclared();
    ASSERT_NE(pClone, pItem);
    EXPECT_EQ(pClone->GetMimeType(), L"image/png");
    EXPECT_EQ(pClone->GetFileSize(), 42);
    EXPECT_EQ(pClone->GetFileSizeText(), L"42");
    EXPECT_EQ(pClone->GetFileName(), L"Pic.PNG");
    EXPECT_EQ(pClone->GetFileNameKey(), L"pic.png");
    EXPECT_EQ(pClone->GetUrl(), L"http://h/p.png");
    EXPECT_EQ(pClone->GetUrlKey(), L"http://h/p.png");
    EXPECT_EQ(pClone->GetDestinationFolder(), L"");
    EXPECT_EQ(pClone->GetDestinationFileName(), L"");
    EXPECT_EQ(pClone->GetTemporaryStream(), nullptr);
    EXPECT_EQ(pClone->GetTemporaryFilePath(), L"");
    EXPECT_EQ(pClone->GetResult(), -1);
    EXPECT_EQ(pClone->GetChecked(), 1);
    // Without a folder the path is the name alone (no leading "/").
    EXPECT_EQ(pClone->FullDestinationPath(), L"");
    pClone->SetDestinationFileName(L"a.txt");
    EXPECT_EQ(pClone->FullDestinationPath(), L"a.txt");
    pClone->SetDestinationFolder(L"/srv/x/");
    EXPECT_EQ(pClone->FullDestinationPath(), L"/srv/x//a.txt")
        << "one separator added, none removed";
    EXPECT_EQ(pClone->shared_from_this(), pClone);
}

TEST(FileListTest, DuplicateRules)
{
    const struct {
        const wchar_t* strFirstUrl;
        const wchar_t* strFirstName;
        const wchar_t* strSecondUrl;
        const wchar_t* strSecondName;
        bool bSecondAdded;
    } table[] = {
        {L"http://h/a.bin", L"a.bin", L"http://h/a.bin", L"a.bin", false},
        {L"http://h/a.bin", L"a.bin", L"HTTP://H/A.BIN", L"A.Bin", false},
        {L"http://h/a.bin", L"a.bin", L"http://h/a.bin", L"b.bin", true},
        {L"http://h/a.bin", L"a.bin", L"http://h/b.bin", L"a.bin", true},
        // Only A-Z fold: other letters in another case are other keys.
        {L"http://h/\u00E4.bin", L"\u00E4", L"http://h/\u00C4.bin", L"\u00E4", true},
        // The key pair is compared field by field, not as one joined text.
        {L"http://h/ab", L"c", L"http://h/a", L"bc", true},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(core::ToUtf8(row.strSecondUrl) + " " + core::ToUtf8(row.strSecondName));
        model::FileList list;
        ASSERT_TRUE(list.Add(Item(row.strFirstUrl, row.strFirstName)));
        const auto pSecond = Item(row.strSecondUrl, row.strSecondName);
        EXPECT_EQ(list.ContainsEqual(*pSecond), !row.bSecondAdded);
        EXPECT_EQ(list.Add(pSecond), row.bSecondAdded);
        EXPECT_EQ(list.Count(), row.bSecondAdded ? 2u : 1u);
        EXPECT_EQ(list.At(0)->GetUrl(), row.strFirstUrl);
    }
}

TEST(FileListTest, ReplaceKeepsThePositionAndFreesTheOldKeys)
{
    model::FileList list;
    ASSERT_TRUE(list.Add(Item(L"http://h/1", L"one")));
    ASSERT_TRUE(list.Add(Item(L"http://h/2", L"two")));
    ASSERT_TRUE(list.Add(Item(L"http://h/3", L"three")));

    auto pNew = Item(L"http://h/2b", list.At(1)->GetFileName());
    ASSERT_FALSE(list.ContainsEqual(*pNew));
    EXPECT_TRUE(list.ReplaceAt(1, pNew));
    EXPECT_EQ(list.At(1), pNew);
    EXPECT_EQ(list.Count(), 3u);
    EXPECT_TRUE(list.Add(Item(L"http://h/2", L"two")));

    // A case variant of the same keys replaces the item in place.
    auto pVariant = Item(L"HTTP://H/2B", L"TWO");
    EXPECT_TRUE(list.ReplaceAt(1, pVariant));
    EXPECT_EQ(list.At(1), pVariant);
    EXPECT_FALSE(list.Add(Item(L"http://h/2b", L"two")));

    // A replacement that clashes with another item is refused whole.
    EXPECT_FALSE(list.ReplaceAt(1, Item(L"http://h/3", L"three")));
    EXPECT_EQ(list.At(1), pVariant);
    EXPECT_EQ(list.At(2)->GetUrl(), L"http://h/3");
    EXPECT_FALSE(list.Add(Item(L"http://h/2b", L"two")));
}

// URL and file name are the keys the list's index reads in place: an item
// has no setter for them (a change is a new item that replaces it).
template <typename Item>
concept HasUrlSetter = requires(Item& item)
{
    item.SetUrl(std::wstring());
};
template <typename Item>
concept HasFileNameSetter = requires(Item& item)
{
    item.SetFileName(std::wstring());
};
static_assert(!HasUrlSetter<model::FileItem> && !HasFileNameSetter<model::FileItem>);

TEST(FileListTest, ChangingAListedItemDoesNotUnsettleTheIndex)
{
    // What may change on a listed item (MIME type, size) is not a key: the
    // list still finds, refuses and removes it by the keys it listed.
    model::FileList list;
    const auto pItem = Item(L"http://h/a", L"a");
    ASSERT_TRUE(list.Add(pItem));
    ASSERT_TRUE(list.Add(Item(L"http://h/b", L"b")));
    pItem->SetMimeType(L"text/plain");
    pItem->SetFileSize(7);
    EXPECT_EQ(pItem->GetMimeType(), L"text/plain");
    EXPECT_EQ(pItem->GetUrl(), L"http://h/a");
    EXPECT_EQ(pItem->GetFileName(), L"a");
    EXPECT_EQ(pItem->GetFileSizeText(), L"7");
    EXPECT_FALSE(list.Add(Item(L"HTTP://H/A", L"A")));
    list.RemoveAt(0);
    EXPECT_TRUE(list.Add(Item(L"http://h/a", L"a")));
    EXPECT_FALSE(list.Add(Item(L"http://h/b", L"b")));
}

TEST(FileListTest, BadArgumentsThrowAndChangeNothing)
{
    core::ExceptionManager::ClearException(core::CurrentThreadId());
    model::FileList list;
    ASSERT_TRUE(list.Add(Item(L"http://h/a", L"a")));
    EXPECT_THROW(list.Add(nullptr), core::ArgumentNullPointerException);
    EXPECT_THROW(list.RemoveAt(1), core::ArgumentOutOfRangeException);
    EXPECT_THROW(list.At(1), core::ArgumentOutOfRangeException);
    EXPECT_THROW(list.ReplaceAt(1, Item(L"http://h/b", L"b")), core::ArgumentOutOfRangeException);
    EXPECT_THROW(list.ReplaceAt(0, nullptr), core::ArgumentNullPointerException);
    EXPECT_EQ(list.Count(), 1u);
    EXPECT_FALSE(list.Add(Item(L"http://h/a", L"a")));
    core::ExceptionManager::ClearException(core::CurrentThreadId());
}

// The list against a plain model: a vector searched linearly. Every
// operation is followed by a full comparison of order and of which keys the
// list reports as present, so a stale or missing index entry shows at once.
TEST(FileListTest, RandomOperationsMatchAPlainModel)
{
    std::mt19937 random(20240521u);
    // A small key space, so that duplicates, re-adds and clashes are common;
    // letter case varies so that folding is exercised.
    const std::vector<std::wstring> urls = {L"http://h/a", L"http://h/B", L"HTTP://H/b",
                                            L"http://h/c", L"http://x/a"};
    const std::vector<std::wstring> names = {L"f", L"F", L"g", L"sub/f"};
    const auto pick = [&random](const std::vector<std::wstring>& values) {
        return values[std::uniform_int_distribution<std::size_t>(0, values.size() - 1)(random)];
    };
    const auto sameKeys = [](const model::FileItem& a, const model::FileItem& b) {
        return a.GetUrlKey() == b.GetUrlKey() && a.GetFileNameKey() == b.GetFileNameKey();
    };

    model::FileList list;
    std::vector<std::shared_ptr<model::FileItem>> model;
    const auto modelContains = [&](const model::FileItem& item, std::size_t uintSkip = SIZE_MAX) {
        for (std::size_t i = 0; i < model.size(); ++i) {
            if (i != uintSkip && sameKeys(*model[i], item)) {
                return true;
            }
        }
        return false;
    };

    for (int intStep = 0; intStep < 10000; ++intStep) {
        const int intOperation = std::uniform_int_distribution<int>(0, 99)(random);
        const auto pRandomItem = Item(pick(urls), pick(names));
        const std::size_t uintPosition =
            model.empty() ? 0
                          : std::uniform_int_distribution<std::size_t>(0, model.size() - 1)(random);
        if (intOperation < 45) {
            const bool added = !modelContains(*pRandomItem);
            ASSERT_EQ(list.Add(pRandomItem), added);
            if (added) {
                model.push_back(pRandomItem);
            }
        } else if (intOperation < 60 && !model.empty()) {
            list.RemoveAt(uintPosition);
            model.erase(model.begin() + static_cast<std::ptrdiff_t>(uintPosition));
        } else if (intOperation < 80 && !model.empty()) {
            // Half the time as the members do it (test first), half the time
            // blind, which must refuse a clash with another item.
            if (intOperation < 70 && list.ContainsEqual(*pRandomItem)) {
                continue;
            }
            const bool replaced = !modelContains(*pRandomItem, uintPosition);
            ASSERT_EQ(list.ReplaceAt(uintPosition, pRandomItem), replaced);
            if (replaced) {
                model[uintPosition] = pRandomItem;
            }
        } else if (intOperation < 90) {
            for (const auto& pItem : model) {
                pItem->SetChecked(std::uniform_int_distribution<int>(0, 2)(random) == 0 ? 0 : 1);
            }
            list.DropUnchecked();
            std::erase_if(model, [](const auto& pItem) { return pItem->GetChecked() == 0; });
        } else if (intOperation < 92) {
            list.Clear();
            model.clear();
        }

        ASSERT_EQ(list.Count(), model.size()) << "step " << intStep;
        const auto copy = list.Copy();
        ASSERT_EQ(copy, model) << "step " << intStep;
        for (std::size_t i = 0; i < model.size(); ++i) {
            ASSERT_EQ(list.At(i), model[i]);
        }
        for (const auto& strUrl : urls) {
            for (const auto& strName : names) {
                const auto pProbe = Item(strUrl, strName);
                ASSERT_EQ(list.ContainsEqual(*pProbe), modelContains(*pProbe))
                    << "step " << intStep;
            }
        }
    }
}

}  // namespace
}  // namespace pullbay::control
