// kivupdate: checks for, verifies and downloads releases of the Kiv VPN client from the
// command line, and signs them for their publisher.
#include "tools/Tool.h"

#include <cstdio>
#include <cstring>

namespace {

const char kUsage[] =
    "usage: kivupdate check [--language N] [--proxy HOST:PORT | --no-proxy] [--raw]\n"
    "                       [--key PUB]... URL\n"
    "       kivupdate download [--proxy HOST:PORT | --no-proxy] [--proxy-user USER:PASSWORD]\n"
    "                          [--sha256 HEX] [--key PUB]... URL FILE\n"
    "       kivupdate update --key PUB [--key PUB]... [--language N] [--arch x86|x64]\n"
    "                        [--installed VERSION] [--proxy HOST:PORT | --no-proxy]\n"
    "                        [--proxy-user USER:PASSWORD] DOCUMENT-URL DIR\n"
    "       kivupdate keygen --out NAME [--bits 2048|3072|4096]\n"
    "       kivupdate sign --key NAME.key FILE...\n"
    "       kivupdate --help | --version\n"
    "\n"
    "check     fetches the update information at URL and prints the release facts of\n"
    "          the section for language N (default 1; Language 2 when N has none).\n"
    "          --raw prints the attribute list's bytes instead of the table. With --key,\n"
    "          URL.sig must be a signature over the document by one of the keys, and the\n"
    "          document must not have expired; the table then adds its digests.\n"
    "download  downloads URL into FILE; when FILE exists, only if the server has a newer\n"
    "          one. The transfer goes to a temporary file beside FILE, which replaces\n"
    "          FILE only when complete (and, with --sha256, when its digest matches;\n"
    "          with --key, when URL.sig is a signature over it by one of the keys).\n"
    "          A failure or Ctrl-C leaves FILE as it was.\n"
    "update    checks the signed document at DOCUMENT-URL, and downloads the package it\n"
    "          names (for --arch, else the generic one) into DIR when it is newer than\n"
    "          --installed, no larger than the signed size and has the signed SHA-256.\n"
    "keygen    makes an RSA key pair (3072 bits by default): NAME.key, the private key\n"
    "          (readable by its owner only), and NAME.pub, the public key for hosts.\n"
    "sign      writes FILE.sig beside each FILE: its signature with the private key.\n"
    "\n"
    "Without --proxy, the http_proxy (or HTTP_PROXY) environment variable names the\n"
    "proxy, except for hosts that no_proxy (or NO_PROXY) lists; --no-proxy ignores them.\n"
    "\n"
    "exit codes: 0 facts found / downloaded / done, 1 failed, 2 usage error,\n"
    "            3 no facts in the answer / file not modified, 4 download cancelled,\n"
    "            5 SHA-256 does not match (--sha256 or the signed one), 6 no signature,\n"
    "            7 bad signature, 8 signed with a key not trusted, 9 document expired,\n"
    "            10 not newer than installed, 11 package larger than signed\n";

} // namespace

int Usage(const char* problem) {
    if (problem != nullptr)
        fprintf(stderr, "kivupdate: %s\n\n", problem);
    fputs(kUsage, problem ? stderr : stdout);
    return problem ? kExitUsage : kExitOk;
}

int main(int argc, char** argv) {
    if (argc < 2)
        return Usage("no command given");
    const char* command = argv[1];
    if (strcmp(command, "--help") == 0 || strcmp(command, "-h") == 0 ||
        strcmp(command, "help") == 0)
        return Usage(nullptr);
    if (strcmp(command, "--version") == 0) {
        printf("kivupdate %s\n", KIV_VERSION);
        return kExitOk;
    }
    for (int i = 2; i < argc; ++i)
        if (strcmp(argv[i], "--help") == 0)
            return Usage(nullptr);
    static const struct {
        const char* name;
        int (*run)(int, char**);
    } kCommands[] = {
        {"check", CheckCommand},   {"download", DownloadCommand}, {"update", UpdateCommand},
        {"keygen", KeygenCommand}, {"sign", SignCommand},
    };
    for (const auto& entry : kCommands)
        if (strcmp(command, entry.name) == 0)
            return entry.run(argc - 2, argv + 2);
    return Usage("unknown command");
}
