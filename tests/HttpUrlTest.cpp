#include "http/HttpUrl.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string Text(const char* text) {
    return text != nullptr ? text : "(null)";
}

TEST(HttpUrlParse, Table) {
    struct Case {
        const char* text;
        uint32_t defaultPort;
        int result;
        uint32_t secure;
        const char* host; // null: no host was set
        uint32_t port;
        const char* path; // null: no path was set
    };
    const Case cases[] = {
        {"http://H/dir/file.ini", 80, 1, 0, "H", 80, "dir/file.ini"},
        {"HTTPS://H/", 80, 1, 1, "H", 443, ""},
        {"hTtP://H/", 8000, 1, 0, "H", 80, ""},
        {"http://H:8080/a", 80, 1, 0, "H", 8080, "a"},
        {"https://H:81/a?b=c", 80, 1, 1, "H", 81, "a?b=c"},
        {"http://H:x/a", 80, 1, 0, "H", 0, "a"},
        {"http://H:/a", 80, 1, 0, "H", 0, "a"},
        {"http://H: 12x/a", 80, 1, 0, "H", 12, "a"},
        {"http://H:-1/a", 80, 1, 0, "H", 0xFFFFFFFFu, "a"},
        {"http://H:99999999999/a", 80, 1, 0, "H", 2147483647u, "a"},
        {"H/a", 8000, 1, 0, "H", 8000, "a"},
        {"/a", 8000, 1, 0, "", 8000, "a"},
        {"http://H/a:b/c", 80, 1, 0, "H/a", 0, "c"},
        {"http://user:pw@H/x", 80, 1, 0, "user", 0, "x"},
        {"http://[::1]:8/x", 80, 1, 0, "[", 0, "x"}, // the first ':' splits, even in brackets
        {"ftp://H/x", 80, 1, 0, "ftp", 0, "/H/x"},
        {"http://H", 80, 0, 0, nullptr, 80, nullptr},
        {"http://H:8080", 80, 0, 0, "H", 80, nullptr},
        {"https://H", 80, 0, 1, nullptr, 443, nullptr},
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(testing::Message() << "case " << i << ": " << c.text);
        HttpUrl url = {};
        EXPECT_EQ(c.result, HttpUrlParse(c.text, &url, c.defaultPort));
        EXPECT_EQ(c.secure, url.secure);
        EXPECT_EQ(Text(c.host), Text(url.host));
        EXPECT_EQ(c.port, url.port);
        EXPECT_EQ(Text(c.path), Text(url.path));
        HttpUrlRelease(&url);
        EXPECT_EQ(nullptr, url.host);
        EXPECT_EQ(nullptr, url.path);
        EXPECT_EQ(0u, url.port);
    }
}

TEST(HttpUrlParse, NullOrEmptyLeavesRecordUntouched) {
    char host[] = "keep";
    HttpUrl url = {7, host, 1234, nullptr};
    EXPECT_EQ(0, HttpUrlParse(nullptr, &url, 80));
    EXPECT_EQ(0, HttpUrlParse("", &url, 80));
    EXPECT_EQ(7u, url.secure);
    EXPECT_EQ(host, url.host);
    EXPECT_EQ(1234u, url.port);
}

TEST(HttpUrlParse, PortTextLengthLimit) {
    // Up to 199 characters between ':' and '/' are read; 200 or more are refused.
    for (size_t length : {199u, 200u}) {
        std::string text = "http://H:" + std::string(length, '0') + "/p";
        text[9 + length - 2] = '4';
        text[9 + length - 1] = '3';
        HttpUrl url = {};
        int result = HttpUrlParse(text.c_str(), &url, 80);
        EXPECT_EQ(length < 200 ? 1 : 0, result) << length;
        EXPECT_EQ(length < 200 ? 43u : 80u, url.port) << length;
        EXPECT_STREQ("H", url.host);
        HttpUrlRelease(&url);
    }
}

} // namespace
