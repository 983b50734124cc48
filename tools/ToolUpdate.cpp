// kivupdate update: the host's whole safe path in one command. A signed, unexpired
// document; the package for the architecture, refused unless newer than what is
// installed; downloaded with the signed size as its limit, checked against the signed
// SHA-256, and only then moved into DIR.
#include "tools/Tool.h"

#include <cstdio>

namespace {

const CommandSyntax kSyntax = {
    "update", kOptKey | kOptLanguage | kOptArch | kOptInstalled | kOptProxy | kOptProxyUser, 2,
    "update takes a DOCUMENT-URL and a DIR"};

} // namespace

int UpdateCommand(int argc, char** argv) {
    ToolOptions options;
    if (int code = ParseCommandLine(kSyntax, argc, argv, &options); code >= 0)
        return code;
    if (options.arguments.size() != 2)
        return Usage("update takes a DOCUMENT-URL and a DIR");
    if (options.keys.empty())
        return Usage("update needs --key PUB");
    const char* url = options.arguments[0];
    const char* directory = options.arguments[1];
    ProxySetting documentProxy = options.proxy;
    if (!ResolveProxy(url, &documentProxy))
        return kExitUsage;

    SignedDocument document;
    if (int code = FetchSignedDocument(url, options, NetworkOptions(options, documentProxy, true),
                                       &document);
        code != kExitOk)
        return code;

    // The package may live on another host, with its own answer from no_proxy.
    const char* packageUrl = document.facts.packages[options.arch].url;
    ProxySetting packageProxy = options.proxy;
    if (packageUrl[0] != '\0' && !ResolveProxy(packageUrl, &packageProxy))
        return kExitUsage;
    UpdateDownloadOptions net = NetworkOptions(options, packageProxy, true);
    Progress progress;
    StartProgress(&progress);
    net.progress = OnProgress;
    net.progressContext = &progress;
    std::string installedPath;
    CatchInterrupt();
    char detail[256];
    UpdateVerdict verdict = SignedUpdateInstall(
        document, options.arch, options.haveInstalled ? &options.installed : nullptr, directory,
        net, &installedPath, detail, sizeof detail);
    ReleaseInterrupt();
    FinishProgress(progress);
    if (Interrupted() && verdict != UPDATE_OK) {
        fprintf(stderr, "kivupdate: update cancelled; %s is unchanged\n", directory);
        return kExitCancelled;
    }
    if (verdict != UPDATE_OK) {
        std::string text = std::string(detail) + "; " + directory + " is unchanged";
        return ReportVerdict(verdict, text.c_str());
    }
    const UpdateVersion& release = document.facts.release;
    printf("installed %s (release %d.%d.%d)\n", installedPath.c_str(), release.version,
           release.service_pack, release.build);
    return kExitOk;
}
