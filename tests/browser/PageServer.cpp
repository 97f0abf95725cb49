// The loopback server of the browser tests: the test pages, files with
// bodies that can be checked byte for byte, and file lists, one of them
// answered only to a request that carries the page's cookie. Prints its base
// URL on a line of its own and serves until its standard input ends.
//   browser_page_server PAGES_FOLDER
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>

#include "loopback/FieldText.h"
#include "support/PatternBytes.h"
#include "support/TestHttpServer.h"

using pullbay::test::HttpRequest;
using pullbay::test::HttpResponse;
using pullbay::test::PatternBytes;

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: browser_page_server PAGES_FOLDER" << std::endl;
        return 64;
    }
    pullbay::test::TestHttpServer server;
    for (const auto& entry : std::filesystem::directory_iterator(argv[1])) {
        std::ifstream input(entry.path(), std::ios::binary);
        std::ostringstream text;
        text << input.rdbuf();
        const bool bScript = entry.path().extension() == ".js";
        server.Route("/pages/" + entry.path().filename().string(),
                     HttpResponse::Text(200, text.str(),
                                        bScript ? "text/javascript" : "text/html; charset=utf-8"));
    }
    // Each file request is announced on stdout as it arrives (the test
    // times the first byte of a run by it).
    const auto file = [&server](const std::string& strPath, HttpResponse response) {
        server.Route(strPath, [strPath, response](const HttpRequest&) {
            std::cout << "request " << strPath << std::endl;
            return response;
        });
    };
    file("/files/one.bin",
         HttpResponse::Text(200, PatternBytes(1, 70000), "application/octet-stream"));
    file("/files/picture.png", HttpResponse::Text(200, PatternBytes(4, 30000), "image/png"));
    file("/files/two.txt", HttpResponse::Text(200, "second file\n", "text/plain"));
    file("/files/three.bin",
         HttpResponse::Text(200, PatternBytes(3, 1500000), "application/octet-stream"));
    // URLs relative to the list's own address. (The list's MIME types are
    // letters only: the line pattern has no room for "octet-stream".)
    const std::string strList = "image/png | 30000 | ../files/picture.png | list/picture.png\n"
                                "text/plain | 12 | ../files/two.txt | list/two.txt\n";
    server.Route("/lists/list.txt", HttpResponse::Text(200, strList, "text/plain"));
    server.Route("/lists/protected.txt", [strList](const HttpRequest& request) {
        const std::optional<std::string> strCookie =
            pullbay::loopback::FindField(request.headers, "Cookie");
        if (strCookie && strCookie->find("pbtest=open") != std::string::npos) {
            return HttpResponse::Text(200, strList, "text/plain");
        }
        return HttpResponse::Text(403, "no cookie\n", "text/plain");
    });
    std::cout << server.BaseUrl() << std::endl;
    std::string strIgnored;
    while (std::getline(std::cin, strIgnored)) {
    }
    return 0;
}
