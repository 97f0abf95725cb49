#pragma once
// The files of "pullbay demo" as data: what the generated file list declares
// for each file and what the demo server answers for it. Bodies are generated
// from a number per file, slice by slice on demand, so no file is ever held
// whole.
// Immutable after construction: any thread.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pullbay::host {

class DemoCatalog {
public:
    // How a body is generated. Text kinds are readable lines of fixed
    // width, binary kinds pseudo-random bytes.
    enum class Content { Prose, Html, Csv, Binary };

    struct File {
        // Path on the server, ASCII, beginning with "/".
        std::string strPath;
        // Declared in the list. The transfer compares it with the served
        // Content-Type as a whole text, so a served file that should pass
        // carries exactly this type.
        std::wstring strMimeType;
        // Declared in the list; a served body has exactly this many bytes.
        std::uint32_t uintSize = 0;
        // Declared in the list; sub-folders separated by "/".
        std::wstring strFileName;
        // The Content-Type the server sends.
        std::string strContentType;
        // False: listed, but the server answers 404.
        bool bServed = true;
        Content content = Content::Binary;
        std::uint32_t uintVariation = 0;
    };

    // Where the server publishes the list.
    static constexpr std::string_view kListPath = "/filelist.txt";
    static constexpr std::string_view kListContentType = "text/plain; charset=utf-8";

    // The demo set: twelve files, about 22 MiB, some in sub-folders, four
    // of several MiB, one missing and one served with the wrong type.
    DemoCatalog();

    const std::vector<File>& Files() const { return m_files; }
    // The file at this server path (served or not); null when none.
    const File* Find(std::string_view strPath) const;

    // The list in UTF-8, one line per file in catalogue order. The URL field
    // is strBaseUrl ("http://127.0.0.1:PORT") followed by the file's path;
    // with an empty base it is the path alone, which resolves against the
    // list's own host.
    std::string ListText(const std::string& strBaseUrl) const;

    // uintLength bytes of the file's body from uintOffset. A range beyond
    // the end throws ArgumentOutOfRangeException ("uintOffset").
    static void ReadBody(const File& file, std::uint64_t uintOffset, char* pBuffer,
                         std::size_t uintLength);
    // The whole body; meant for small files and for checks.
    static std::string Body(const File& file);

private:
    std::vector<File> m_files;
};

}  // namespace pullbay::host
