#include "http/HttpUrl.h"
#include "TestHelpers.h"

#include <string>

namespace {

std::string Text(const char* text) {
    return text != nullptr ? text : "(null)";
}

// fuzz/http_url_fuzz.cpp models the split and plain decimal ports; these are the port texts
// it leaves to the conversion, and what a refusal leaves behind.
TEST(HttpUrlParse, Table) {
    const std::string zeros(197, '0'); // port texts of 199 and 200 characters
    struct Case {
        std::string text;
        uint32_t defaultPort;
        int result;
        uint32_t secure, port;
        const char *host, *path; // null: not set
    } const cases[] = {
        {"hTtPs://H/", 8000, 1, 1, 443, "H", ""},
        {"http://H:/a", 80, 1, 0, 0, "H", "a"},
        {"http://H: 12x/a", 80, 1, 0, 12, "H", "a"},
        {"http://H:-1/a", 80, 1, 0, 0xFFFFFFFFu, "H", "a"},
        {"http://H:99999999999/a", 80, 1, 0, 2147483647u, "H", "a"},
        {"http://H:" + zeros + "43/p", 80, 1, 0, 43, "H", "p"},
        {"http://H:" + zeros + "043/p", 80, 0, 0, 80, "H", nullptr}, // refused, not cut
        {"/a", 8000, 1, 0, 8000, "", "a"},
        {"http://H", 80, 0, 0, 80, nullptr, nullptr},
        {"http://H:8080", 80, 0, 0, 80, "H", nullptr},
        {"https://H", 80, 0, 1, 443, nullptr, nullptr},
    };
    FOR_EACH_CASE(c, cases) {
        HttpUrl url = {};
        EXPECT_EQ(c.result, HttpUrlParse(c.text.c_str(), &url, c.defaultPort));
        EXPECT_EQ(c.secure, url.secure);
        EXPECT_EQ(Text(c.host), Text(url.host));
        EXPECT_EQ(c.port, url.port);
        EXPECT_EQ(Text(c.path), Text(url.path));
        HttpUrlRelease(&url);
    }
    char host[] = "keep";
    HttpUrl url = {7, host, 1234, nullptr};
    EXPECT_EQ(0, HttpUrlParse(nullptr, &url, 80));
    EXPECT_TRUE(url.secure == 7 && url.host == host && url.port == 1234);
}

} // namespace
