#include "support/UpdateFixtures.h"

#include "attrlist/MifList.h"

namespace fixtures {

const char kDocumentPath[] = "/update.ini", kMovedPath[] = "/moved.ini",
           kMissingPath[] = "/missing.ini";
const char* const kFilePaths[3] = {"/rfc1123.bin", "/rfc850.bin", "/asctime.bin"};
const char kFileDate[] = "Sun, 06 Nov 1994 08:49:37 GMT";

namespace {

std::string Ok(const std::string& body, const std::string& extra) {
    return "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + extra +
           "\r\n" + body;
}

} // namespace

const std::string& FileContent() {
    // 20,000 bytes of every value, so that a byte lost, doubled or swapped shows.
    static const std::string content = [] {
        std::string bytes(20000, '\0');
        uint32_t state = 12345;
        for (char& byte : bytes)
            byte = static_cast<char>((state = state * 1103515245u + 12345u) >> 24);
        return bytes;
    }();
    return content;
}

std::map<std::string, std::string> Responses(uint16_t documentPort) {
    const char* const dates[3] = {kFileDate, "Sunday, 06-Nov-94 08:49:37 GMT",
                                  "Sun Nov  6 08:49:37 GMT 1994"};
    std::map<std::string, std::string> responses = {
        {kDocumentPath, Ok("; release facts\r\n[Language 2]\r\nProductName=Fallback\r\n"
                           "[Language 1]\r\nProductName=Kiv VPN\r\nVersion=5\r\nBuild=1203\r\n"
                           "UrlInfo=http://updates.example/notes.html\r\n"
                           "UrlDownload=http://updates.example/setup.bin\r\nFilesize=20000\r\n"
                           "UrlWeb=http://www.example/\r\n",
                           "Content-Type: text/plain\r\n")},
        {kMovedPath, "HTTP/1.0 301 Moved Permanently\r\nLocation: http://127.0.0.1:" +
                         std::to_string(documentPort) + kDocumentPath +
                         "\r\nContent-Length: 0\r\n\r\n"},
        {kMissingPath, "HTTP/1.0 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found"}};
    for (int i = 0; i < 3; ++i)
        responses[kFilePaths[i]] =
            Ok(FileContent(), "Date: Mon, 01 Jan 2001 00:00:00 GMT\r\nLast-Modified: " +
                                  std::string(dates[i]) + "\r\n");
    return responses;
}

std::vector<uint8_t> ExpectedFacts() {
    MifList list;
    list.AddStr(1, "Kiv VPN");
    list.AddInt(2, 5);
    list.AddInt(3, 1203);
    list.AddStr(6, "http://updates.example/notes.html");
    list.AddStr(5, "http://updates.example/setup.bin");
    list.AddInt(8, 20000);
    list.AddStr(30, "http://www.example/");
    list.Finalize();
    return std::vector<uint8_t>(list.GetData(), list.GetData() + list.GetSize());
}

} // namespace fixtures
