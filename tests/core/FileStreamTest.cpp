// The file stream that the temporary files are written through: byte-exact
// round trips, the open modes, refused paths, short writes, a full disk, and
// ownership of the descriptor.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>

#include "core/FileStream.h"
#include "core/Win32Errors.h"
#include "support/PatternBytes.h"

namespace pullbay::core {
namespace {

namespace fs = std::filesystem;
using test::PatternBytes;

constexpr std::uint32_t kReadWriteCreate =
    FileStream::kModeRead | FileStream::kModeWrite | FileStream::kModeCreateAlways;

class FileStreamTest : public testing::Test {
protected:
    FileStreamTest()
    {
        const char* strBase = std::getenv("TMPDIR");
        std::string strPattern =
            std::string(strBase != nullptr && *strBase != '\0' ? strBase : "/tmp") + "/fs-XXXXXX";
        if (::mkdtemp(strPattern.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        m_folder = strPattern;
    }
    ~FileStreamTest() override
    {
        std::error_code ignored;
        fs::remove_all(m_folder, ignored);
    }

    std::string PathOf(const std::string& strName) const { return (m_folder / strName).string(); }

    static std::string ReadWholeFile(const std::string& strPath)
    {
        std::ifstream file(strPath, std::ios::binary);
        return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    }
    static void WriteWholeFile(const std::string& strPath, const std::string& strContents)
    {
        std::ofstream(strPath, std::ios::binary | std::ios::trunc) << strContents;
    }

    static std::string ReadAll(FileStream& stream, std::uint32_t uintBlock)
    {
        std::string strResult;
        std::string strBuffer(uintBlock, '\0');
        for (;;) {
            std::uint32_t uintRead = 0;
            EXPECT_EQ(stream.Read(strBuffer.data(), uintBlock, &uintRead), S_OK);
            if (uintRead == 0) {
                return strResult;
            }
            strResult.append(strBuffer, 0, uintRead);
        }
    }

    static std::uint64_t SizeOf(const FileStream& stream)
    {
        std::uint64_t uintSize = 0;
        EXPECT_EQ(stream.Stat(&uintSize), S_OK);
        return uintSize;
    }

    static std::uint64_t PositionOf(FileStream& stream)
    {
        std::uint64_t uintPosition = 0;
        EXPECT_EQ(stream.Seek(0, StreamSeekOrigin::Current, &uintPosition), S_OK);
        return uintPosition;
    }

    fs::path m_folder;
};

TEST_F(FileStreamTest, WritesReadsSeeksAndResizesByteForByte)
{
    const std::string strPath = PathOf("PBT1.tmp");
    std::unique_ptr<FileStream> pStream;
    ASSERT_EQ(FileStream::Open(strPath, kReadWriteCreate, pStream), S_OK);
    ASSERT_NE(pStream, nullptr);

    const std::string strBody = PatternBytes(0, 300000);
    for (std::size_t uintAt = 0; uintAt < strBody.size(); uintAt += 4093) {
        const auto uintChunk =
            static_cast<std::uint32_t>(std::min<std::size_t>(4093, strBody.size() - uintAt));
        std::uint32_t uintWritten = 0;
        ASSERT_EQ(pStream->Write(strBody.data() + uintAt, uintChunk, &uintWritten), S_OK);
        ASSERT_EQ(uintWritten, uintChunk);
    }
    EXPECT_EQ(SizeOf(*pStream), strBody.size());

    std::uint64_t uintPosition = 99;
    ASSERT_EQ(pStream->Seek(0, StreamSeekOrigin::Begin, &uintPosition), S_OK);
    EXPECT_EQ(uintPosition, 0u);
    EXPECT_EQ(ReadAll(*pStream, 7777), strBody);

    ASSERT_EQ(pStream->Seek(-1000, StreamSeekOrigin::End, &uintPosition), S_OK);
    EXPECT_EQ(uintPosition, strBody.size() - 1000);
    ASSERT_EQ(pStream->Seek(-500, StreamSeekOrigin::Current, &uintPosition), S_OK);
    EXPECT_EQ(uintPosition, strBody.size() - 1500);
    EXPECT_EQ(ReadAll(*pStream, 4096), strBody.substr(strBody.size() - 1500));

    // Before the start: refused, position kept.
    EXPECT_EQ(pStream->Seek(-1, StreamSeekOrigin::Begin, &uintPosition), E_INVALIDARG);
    EXPECT_EQ(PositionOf(*pStream), strBody.size());

    ASSERT_EQ(pStream->SetSize(5000), S_OK);
    EXPECT_EQ(SizeOf(*pStream), 5000u);
    ASSERT_EQ(pStream->SetSize(6000), S_OK);
    EXPECT_EQ(ReadWholeFile(strPath), strBody.substr(0, 5000) + std::string(1000, '\0'));

    // A transfer that starts over rewinds and cuts: nothing of the first
    // body may survive behind the second.
    const std::string strSecond = PatternBytes(0, 3000, 7);
    ASSERT_EQ(pStream->Seek(0, StreamSeekOrigin::Begin, nullptr), S_OK);
    ASSERT_EQ(pStream->SetSize(0), S_OK);
    ASSERT_EQ(pStream->Write(strSecond.data(), 3000, nullptr), S_OK);
    pStream.reset();
    EXPECT_EQ(ReadWholeFile(strPath), strSecond);
}

// The stream skips the system calls whose answer it knows (a seek to where it
// is, a cut to the size it has, the size itself): what it then reports must
// be what the file says, after any mix of writes, seeks, reads and cuts.
TEST_F(FileStreamTest, KnownPositionAndSizeAlwaysMatchTheFile)
{
    const std::string strPath = PathOf("known.tmp");
    std::unique_ptr<FileStream> pStream;
    ASSERT_EQ(FileStream::Open(strPath, kReadWriteCreate, pStream), S_OK);
    FileStream& stream = *pStream;
    std::uint32_t uintDone = 0;
    std::uint64_t uintAt = 0;
    const auto expectFile = [&](std::uint64_t uintSize, std::uint64_t uintPosition) {
        std::uint64_t uintStat = 0;
        ASSERT_EQ(stream.Stat(&uintStat), S_OK);
        EXPECT_EQ(uintStat, uintSize);
        EXPECT_EQ(fs::file_size(strPath), uintSize);
        ASSERT_EQ(stream.Seek(0, StreamSeekOrigin::Current, &uintAt), S_OK);
        EXPECT_EQ(uintAt, uintPosition);
    };

    ASSERT_EQ(stream.Write("0123456789", 10, &uintDone), S_OK);
    expectFile(10, 10);
    ASSERT_EQ(stream.Seek(0, StreamSeekOrigin::Begin, nullptr), S_OK);
    ASSERT_EQ(stream.Write("abc", 3, &uintDone), S_OK);
    expectFile(10, 3);
    ASSERT_EQ(stream.Seek(0, StreamSeekOrigin::End, &uintAt), S_OK);
    EXPECT_EQ(uintAt, 10u);
    ASSERT_EQ(stream.SetSize(4), S_OK);
    expectFile(4, 10);
    ASSERT_EQ(stream.Seek(-2, StreamSeekOrigin::End, &uintAt), S_OK);
    EXPECT_EQ(uintAt, 2u);
    char buffer[8] = {};
    ASSERT_EQ(stream.Read(buffer, 8, &uintDone), S_OK);
    EXPECT_EQ(std::string(buffer, uintDone), "c3");
    expectFile(4, 4);
    ASSERT_EQ(stream.SetSize(0), S_OK);
    ASSERT_EQ(stream.Seek(0, StreamSeekOrigin::Begin, nullptr), S_OK);
    ASSERT_EQ(stream.Write("z", 1, &uintDone), S_OK);
    expectFile(1, 1);
    EXPECT_EQ(ReadWholeFile(strPath), "z");

    // A new file adopted as empty, and a descriptor the stream knows nothing of.
    const int intNew = ::open(PathOf("new.tmp").c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(intNew, 0);
    auto pNew = FileStream::AdoptNewFile(intNew);
    ASSERT_EQ(pNew->Seek(0, StreamSeekOrigin::Begin, nullptr), S_OK);
    ASSERT_EQ(pNew->SetSize(0), S_OK);
    ASSERT_EQ(pNew->Write("xy", 2, &uintDone), S_OK);
    ASSERT_EQ(pNew->Seek(0, StreamSeekOrigin::End, &uintAt), S_OK);
    EXPECT_EQ(uintAt, 2u);
    pNew.reset();
    EXPECT_EQ(ReadWholeFile(PathOf("new.tmp")), "xy");
    const int intOld = ::open(strPath.c_str(), O_RDWR);
    ASSERT_GE(intOld, 0);
    ASSERT_EQ(::lseek(intOld, 1, SEEK_SET), 1);
    FileStream unknown(intOld);
    ASSERT_EQ(unknown.Write("Q", 1, &uintDone), S_OK);
    std::uint64_t uintSize = 0;
    ASSERT_EQ(unknown.Stat(&uintSize), S_OK);
    EXPECT_EQ(uintSize, 2u);
    ASSERT_EQ(unknown.Seek(0, StreamSeekOrigin::Current, &uintAt), S_OK);
    EXPECT_EQ(uintAt, 2u);
}

TEST_F(FileStreamTest, ModeWordChoosesAccessAndCreation)
{
    const std::string strOld = "old content";
    struct Row {
        const char* strName;
        std::uint32_t uintMode;
        bool bExisting;
        HRESULT hrOpen;
        const char* strAfterWriteOfNew;  // null: the write must fail
    };
    const Row rows[] = {
        {"create truncates", kReadWriteCreate, true, S_OK, "NEW"},
        {"create makes", kReadWriteCreate, false, S_OK, "NEW"},
        {"write-only create", FileStream::kModeWrite | FileStream::kModeCreateAlways, true, S_OK,
         "NEW"},
        {"open keeps", FileStream::kModeRead | FileStream::kModeWrite, true, S_OK, "NEW content"},
        {"write-only keeps", FileStream::kModeWrite, true, S_OK, "NEW content"},
        {"read only", FileStream::kModeRead, true, S_OK, nullptr},
        {"missing", FileStream::kModeRead | FileStream::kModeWrite, false,
         HResultFromWin32(kWin32FileNotFound), nullptr},
        {"no access", 0, true, E_INVALIDARG, nullptr},
        {"create alone", FileStream::kModeCreateAlways, false, E_INVALIDARG, nullptr},
        {"create read-only", FileStream::kModeRead | FileStream::kModeCreateAlways, true,
         E_INVALIDARG, nullptr},
        {"unknown bit", kReadWriteCreate | 8, false, E_INVALIDARG, nullptr},
    };
    int intIndex = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.strName);
        const std::string strPath = PathOf("mode" + std::to_string(intIndex++));
        if (row.bExisting) {
            WriteWholeFile(strPath, strOld);
        }
        std::unique_ptr<FileStream> pStream;
        ASSERT_EQ(FileStream::Open(strPath, row.uintMode, pStream), row.hrOpen);
        if (Failed(row.hrOpen)) {
            EXPECT_EQ(pStream, nullptr);
            EXPECT_EQ(fs::exists(strPath), row.bExisting);
            if (row.bExisting) {
                EXPECT_EQ(ReadWholeFile(strPath), strOld);
            }
            continue;
        }
        std::uint32_t uintWritten = 0;
        const HRESULT hrWrite = pStream->Write("NEW", 3, &uintWritten);
        if (row.strAfterWriteOfNew == nullptr) {
            EXPECT_TRUE(Failed(hrWrite));
            EXPECT_EQ(uintWritten, 0u);
            ASSERT_EQ(pStream->Seek(0, StreamSeekOrigin::Begin, nullptr), S_OK);
            EXPECT_EQ(ReadAll(*pStream, 4), strOld);
        } else {
            EXPECT_EQ(hrWrite, S_OK);
            pStream.reset();
            EXPECT_EQ(ReadWholeFile(strPath), row.strAfterWriteOfNew);
        }
    }
}

TEST_F(FileStreamTest, CreatedFileIsPrivateToTheUser)
{
    const mode_t previousMask = ::umask(0);
    std::unique_ptr<FileStream> pStream;
    const HRESULT hr = FileStream::Open(PathOf("private"), kReadWriteCreate, pStream);
    ::umask(previousMask);
    ASSERT_EQ(hr, S_OK);
    struct stat info {};
    ASSERT_EQ(::stat(PathOf("private").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
}

TEST_F(FileStreamTest, RefusesLinksSpecialFilesAndTruncatedNames)
{
    // A planted link must not let the stream cut or write the file it points to.
    const std::string strTarget = PathOf("victim");
    WriteWholeFile(strTarget, "precious");
    const std::string strLink = PathOf("PBT2.tmp");
    ASSERT_EQ(::symlink(strTarget.c_str(), strLink.c_str()), 0);
    for (const std::uint32_t uintMode : {kReadWriteCreate, FileStream::kModeRead}) {
        std::unique_ptr<FileStream> pStream;
        EXPECT_TRUE(Failed(FileStream::Open(strLink, uintMode, pStream))) << uintMode;
        EXPECT_EQ(pStream, nullptr);
    }
    EXPECT_EQ(ReadWholeFile(strTarget), "precious");
    EXPECT_TRUE(fs::is_symlink(strLink));

    // A pipe opened for reading would wait for a writer forever.
    const std::string strPipe = PathOf("pipe");
    ASSERT_EQ(::mkfifo(strPipe.c_str(), 0600), 0);
    std::unique_ptr<FileStream> pStream;
    EXPECT_EQ(FileStream::Open(strPipe, FileStream::kModeRead, pStream),
              HResultFromWin32(kWin32AccessDenied));
    EXPECT_EQ(FileStream::Open(m_folder.string(), FileStream::kModeRead, pStream),
              HResultFromWin32(kWin32AccessDenied));

    // The C string would stop at the NUL and name "cut".
    EXPECT_EQ(
        FileStream::Open(PathOf("cut") + std::string(1, '\0') + "tail", kReadWriteCreate, pStream),
        HResultFromWin32(kWin32InvalidName));
    EXPECT_FALSE(fs::exists(PathOf("cut")));
    EXPECT_EQ(pStream, nullptr);
}

TEST_F(FileStreamTest, ShortWriteReportsTheBytesThatReachedTheFile)
{
    // A file size limit makes write(2) take only part of the buffer, then fail.
    const std::string strPath = PathOf("limited");
    std::unique_ptr<FileStream> pStream;
    ASSERT_EQ(FileStream::Open(strPath, kReadWriteCreate, pStream), S_OK);

    rlimit previousLimit{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previousLimit), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = previousLimit;
    limit.rlim_cur = 10000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);

    const std::string strBody = PatternBytes(0, 16384, 3);
    std::uint32_t uintWritten = 0;
    const HRESULT hr = pStream->Write(strBody.data(), 16384, &uintWritten);
    const std::uint64_t uintPosition = PositionOf(*pStream);

    ::setrlimit(RLIMIT_FSIZE, &previousLimit);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_TRUE(Failed(hr));
    EXPECT_EQ(uintWritten, 10000u);
    EXPECT_EQ(uintPosition, 10000u);
    pStream.reset();
    EXPECT_EQ(ReadWholeFile(strPath), strBody.substr(0, 10000));
}

// A 1 MiB file system of the test's own, unmounted again at the end.
class SmallFileSystem {
public:
    explicit SmallFileSystem(const fs::path& mountPoint) : m_mountPoint(mountPoint)
    {
        fs::create_directory(m_mountPoint);
        m_bMounted = ::mount("tmpfs", m_mountPoint.c_str(), "tmpfs", 0, "size=1m") == 0;
    }
    ~SmallFileSystem()
    {
        if (m_bMounted) {
            ::umount2(m_mountPoint.c_str(), MNT_DETACH);
        }
    }
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;

    bool IsMounted() const { return m_bMounted; }

private:
    fs::path m_mountPoint;
    bool m_bMounted = false;
};

TEST_F(FileStreamTest, FullDiskIsWindowsCode112)
{
    const HRESULT hrDiskFull = HResultFromWin32(112);
    SmallFileSystem small(m_folder / "small");
    if (!small.IsMounted()) {
        // The write path alone, on a device that is always full.
        const int intFd = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
        ASSERT_GE(intFd, 0);
        FileStream full(intFd);
        std::uint32_t uintWritten = 99;
        EXPECT_EQ(full.Write("data", 4, &uintWritten), hrDiskFull);
        EXPECT_EQ(uintWritten, 0u);
        GTEST_SKIP() << "cannot mount a small tmpfs here (needs root); checked /dev/full only";
    }

    const std::string strPath = (m_folder / "small" / "PBT3.tmp").string();
    std::unique_ptr<FileStream> pStream;
    ASSERT_EQ(FileStream::Open(strPath, kReadWriteCreate, pStream), S_OK);
    const std::string strBody = PatternBytes(0, 2 * 1024 * 1024, 5);
    std::uint32_t uintWritten = 0;
    EXPECT_EQ(
        pStream->Write(strBody.data(), static_cast<std::uint32_t>(strBody.size()), &uintWritten),
        hrDiskFull);
    EXPECT_GT(uintWritten, 0u);
    EXPECT_LT(uintWritten, strBody.size());
    EXPECT_EQ(SizeOf(*pStream), uintWritten);
    // The file holds exactly what was reported, and room made is usable again.
    EXPECT_EQ(ReadWholeFile(strPath), strBody.substr(0, uintWritten));
    ASSERT_EQ(pStream->Seek(0, StreamSeekOrigin::Begin, nullptr), S_OK);
    ASSERT_EQ(pStream->SetSize(0), S_OK);
    EXPECT_EQ(pStream->Write(strBody.data(), 4096, &uintWritten), S_OK);
    pStream.reset();
}

std::size_t OpenDescriptorCount()
{
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator{}));
}

TEST_F(FileStreamTest, DescriptorIsOwnedByExactlyOneStream)
{
    const std::size_t uintBaseline = OpenDescriptorCount();
    {
        std::unique_ptr<FileStream> pFirst;
        ASSERT_EQ(FileStream::Open(PathOf("a"), kReadWriteCreate, pFirst), S_OK);
        std::unique_ptr<FileStream> pSecond;
        ASSERT_EQ(FileStream::Open(PathOf("b"), kReadWriteCreate, pSecond), S_OK);
        EXPECT_EQ(OpenDescriptorCount(), uintBaseline + 2);

        FileStream moved(std::move(*pFirst));
        pFirst.reset();  // the moved-from stream must not close the file
        EXPECT_EQ(moved.Write("abc", 3, nullptr), S_OK);
        EXPECT_EQ(OpenDescriptorCount(), uintBaseline + 2);

        moved = std::move(*pSecond);  // closes a's descriptor
        EXPECT_EQ(OpenDescriptorCount(), uintBaseline + 1);
        EXPECT_EQ(pSecond->Write("x", 1, nullptr), E_UNEXPECTED);
        std::uint64_t uintSize = 0;
        EXPECT_EQ(pSecond->Stat(&uintSize), E_UNEXPECTED);
        EXPECT_EQ(moved.Write("de", 2, nullptr), S_OK);
    }
    EXPECT_EQ(OpenDescriptorCount(), uintBaseline);
    EXPECT_EQ(ReadWholeFile(PathOf("a")), "abc");
    EXPECT_EQ(ReadWholeFile(PathOf("b")), "de");
}

}  // namespace
}  // namespace pullbay::core
