// HTTPS transfers: a certificate trusted through CURL_CA_BUNDLE works, and
// the refusals of an untrusted, expired or misnamed one carry the
// certificate error codes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "RecordingDownloadEvents.h"
#include "net/InternetErrors.h"
#include "net/WInetDownloader.h"
#include "support/MemoryStream.h"
#include "support/PatternBytes.h"
#include "support/TempFile.h"
#include "support/TestHttpServer.h"
#include "support/TlsIdentity.h"

namespace pullbay::test {
namespace {

using Kind = DownloadCallback::Kind;

// Sets CURL_CA_BUNDLE for the test's lifetime (each test runs in its own
// process, and the server's threads never read the environment).
class CaBundleScope {
public:
    explicit CaBundleScope(const std::optional<std::string>& path)
    {
        if (path) {
            ::setenv("CURL_CA_BUNDLE", path->c_str(), 1);
        } else {
            ::unsetenv("CURL_CA_BUNDLE");
        }
    }
    ~CaBundleScope() { ::unsetenv("CURL_CA_BUNDLE"); }
};

struct TlsOutcome {
    RecordingDownloadEvents events;
    MemoryStream stream;
};

void FetchOverTls(TestHttpServer& server, const HttpResponse& response, TlsOutcome& outcome)
{
    server.Route("/secure", response);
    RecordingDownloader downloader;
    downloader.SetDownloadEvents(&outcome.events);
    downloader.SetOutputStream(&outcome.stream);
    downloader.SetReconnectAttemptsCount(0);
    const std::string url = server.BaseUrl() + "/secure";
    downloader.Download(std::wstring(url.begin(), url.end()).c_str());
}

TEST(WInetDownloaderTlsTest, TrustedCertificateFromTheCaBundleServesTheBody)
{
    const TlsIdentity identity = TlsIdentity::SelfSigned("localhost");
    const TempFile bundle(identity.certificatePem, ".pem");
    CaBundleScope scope(bundle.Path());
    TestHttpServer server(identity);
    HttpResponse response;
    response.body = PatternBytes(0, 50000, 9);

    TlsOutcome outcome;
    FetchOverTls(server, response, outcome);

    EXPECT_EQ(outcome.events.Outcome().kind, Kind::Complete);
    EXPECT_EQ(outcome.stream.Contents(), response.body);
}

TEST(WInetDownloaderTlsTest, CertificateRefusalsCarryTheirCodes)
{
    struct Case {
        const char* strName;
        std::string strCertificateHost;
        bool bExpired;
        bool bTrusted;
        int intExpectedCode;
    };
    const Case cases[] = {
        {"untrusted issuer", "localhost", false, false, net::kInternetInvalidCa},
        {"expired", "localhost", true, true, net::kInternetSecCertDateInvalid},
        {"other host name", "files.example", false, true, net::kInternetSecCertCnInvalid},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.strName);
        const TlsIdentity identity = TlsIdentity::SelfSigned(c.strCertificateHost, c.bExpired);
        const TempFile bundle(identity.certificatePem, ".pem");
        CaBundleScope scope(c.bTrusted ? std::optional<std::string>(bundle.Path()) : std::nullopt);
        TestHttpServer server(identity);

        TlsOutcome outcome;
        FetchOverTls(server, HttpResponse::Text(200, "secret"), outcome);

        ASSERT_EQ(outcome.events.Outcome().kind, Kind::Error);
        EXPECT_EQ(outcome.events.Outcome().intStatus, 0);
        EXPECT_EQ(outcome.events.Outcome().intErrorCode, c.intExpectedCode);
        EXPECT_EQ(outcome.stream.Contents(), "");
        EXPECT_EQ(server.RequestCount("/secure"), 0u);
    }
}

TEST(WInetDownloaderTlsTest, RedirectFromHttpsToHttpIsRefusedAtOnce)
{
    const TlsIdentity identity = TlsIdentity::SelfSigned("localhost");
    const TempFile bundle(identity.certificatePem, ".pem");
    CaBundleScope scope(bundle.Path());
    TestHttpServer plain;
    TestHttpServer secure(identity);
    plain.Route("/plain", HttpResponse::Text(200, "plain"));
    plain.Route("/up", HttpResponse::Redirect(301, secure.BaseUrl() + "/up"));
    secure.Route("/down", HttpResponse::Redirect(302, plain.BaseUrl() + "/plain"));
    secure.Route("/up", HttpResponse::Text(200, "up"));
    const auto fetch = [](const std::string& strUrl, RecordingDownloadEvents& events) {
        RecordingDownloader downloader;
        downloader.SetDownloadEvents(&events);
        downloader.SetReconnectTimeOut(5);
        downloader.Download(std::wstring(strUrl.begin(), strUrl.end()).c_str());
    };

    RecordingDownloadEvents down;
    fetch(secure.BaseUrl() + "/down", down);
    ASSERT_EQ(down.Outcome().kind, Kind::Error);
    EXPECT_EQ(down.Outcome().intErrorCode, net::kInternetHttpsToHttpOnRedirect);
    EXPECT_EQ(down.Outcome().intStatus, 302);
    EXPECT_EQ(plain.RequestCount("/plain"), 0u);
    EXPECT_EQ(secure.RequestCount("/down"), 1u) << "no further attempt";
    EXPECT_EQ(net::InternetErrorText(net::kInternetHttpsToHttpOnRedirect),
              L"The server redirected an https request to http: the redirection was refused.");

    // Upwards is followed.
    RecordingDownloadEvents up;
    fetch(plain.BaseUrl() + "/up", up);
    EXPECT_EQ(up.Outcome().kind, Kind::Complete);
}

}  // namespace
}  // namespace pullbay::test
