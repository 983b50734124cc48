// kivupdate check: the release facts of an update-information document, verified first
// when keys are given.
#include "tools/Tool.h"

#include <cstdio>

namespace {

const CommandSyntax kSyntax = {"check", kOptLanguage | kOptProxy | kOptRaw | kOptKey, 1,
                               "check takes one URL"};

// A document's twelve values fit easily; the largest possible list is far smaller.
uint8_t gList[16384];

// Prints the list (as a table or raw); exit code 3 when it holds no facts.
int ShowFacts(uint32_t size, const ToolOptions& options) {
    if (options.raw)
        PrintRaw(gList, size);
    else
        PrintFacts(gList, size);
    return size <= 2 ? kExitNothingNew : kExitOk;
}

int CheckUnsigned(const char* url, const ToolOptions& options) {
    const std::string& proxyHost = options.proxy.host;
    uint32_t size =
        UpdateCheck(options.language, url, proxyHost.empty() ? nullptr : proxyHost.c_str(),
                    options.proxy.port, gList, sizeof gList);
    if (size == 0) {
        fprintf(stderr, "kivupdate: the update check failed (bad URL, or no connection to %s)\n",
                proxyHost.empty() ? "the server" : "the proxy");
        return kExitFailed;
    }
    int code = ShowFacts(size, options);
    if (code == kExitNothingNew)
        fprintf(stderr, "kivupdate: the server gave no release facts for language %d\n",
                options.language);
    return code;
}

// The check's proxy rules hold for the signature too: host and port, no credentials.
int CheckSigned(const char* url, const ToolOptions& options) {
    SignedDocument document;
    if (int code = FetchSignedDocument(url, options, NetworkOptions(options, options.proxy, false),
                                       &document);
        code != kExitOk)
        return code;
    uint32_t size =
        UpdateFactsFromDocument(document.bytes.data(), static_cast<uint32_t>(document.bytes.size()),
                                options.language, gList, sizeof gList);
    if (size == 0) {
        fprintf(stderr, "kivupdate: the document's facts do not fit the list\n");
        return kExitFailed;
    }
    int code = ShowFacts(size, options);
    if (code == kExitNothingNew) {
        fprintf(stderr, "kivupdate: the server gave no release facts for language %d\n",
                options.language);
        return code;
    }
    if (!options.raw)
        PrintSignedFacts(document);
    return code;
}

} // namespace

int CheckCommand(int argc, char** argv) {
    ToolOptions options;
    if (int code = ParseCommandLine(kSyntax, argc, argv, &options); code >= 0)
        return code;
    if (options.arguments.empty())
        return Usage("check needs a URL");
    const char* url = options.arguments[0];
    if (!ResolveProxy(url, &options.proxy))
        return kExitUsage;
    return options.keys.empty() ? CheckUnsigned(url, options) : CheckSigned(url, options);
}
