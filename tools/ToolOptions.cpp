// The command line: options of every command, and the proxy from the environment.
#include "tools/Tool.h"

#include "http/HttpUrl.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Splits "HOST:PORT" at its last colon.
bool ParseHostPort(const char* text, std::string* host, uint16_t* port) {
    const char* colon = strrchr(text, ':');
    if (colon == nullptr || colon == text || colon[1] == '\0')
        return false;
    char* end = nullptr;
    unsigned long value = strtoul(colon + 1, &end, 10);
    if (*end != '\0' || value == 0 || value > 65535)
        return false;
    host->assign(text, colon);
    *port = static_cast<uint16_t>(value);
    return true;
}

const char* EnvValue(const char* lower, const char* upper) {
    const char* value = getenv(lower);
    if (value == nullptr || *value == '\0')
        value = getenv(upper);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

// no_proxy: comma-separated host names, each matching itself and its sub-domains (a
// leading dot is optional); "*" matches every host.
bool HostExempt(const std::string& host, const char* list) {
    std::string entries(list);
    size_t start = 0;
    while (start <= entries.size()) {
        size_t end = entries.find(',', start);
        if (end == std::string::npos)
            end = entries.size();
        std::string entry = entries.substr(start, end - start);
        start = end + 1;
        while (!entry.empty() && (entry.front() == ' ' || entry.front() == '\t'))
            entry.erase(0, 1);
        while (!entry.empty() && (entry.back() == ' ' || entry.back() == '\t'))
            entry.pop_back();
        if (!entry.empty() && entry[0] == '.')
            entry.erase(0, 1);
        if (entry == "*")
            return true;
        if (entry.empty() || entry.size() > host.size())
            continue;
        size_t at = host.size() - entry.size();
        bool same = true;
        for (size_t k = 0; k < entry.size() && same; ++k)
            same = tolower(static_cast<unsigned char>(host[at + k])) ==
                   tolower(static_cast<unsigned char>(entry[k]));
        if (same && (at == 0 || host[at - 1] == '.'))
            return true;
    }
    return false;
}

// Reads "[http://][USER:PASSWORD@]HOST[:PORT][/]" (port 1080 when missing, as curl has
// it) for a request to `url`, unless the host is exempt.
bool ProxyFromEnvironment(const char* url, ProxySetting* proxy) {
    const char* value = EnvValue("http_proxy", "HTTP_PROXY");
    if (value == nullptr)
        return true;
    HttpUrl target = {};
    if (HttpUrlParse(url, &target, 80)) {
        const char* exempt = EnvValue("no_proxy", "NO_PROXY");
        bool skip = exempt != nullptr && HostExempt(target.host, exempt);
        HttpUrlRelease(&target);
        if (skip)
            return true;
    }
    std::string text(value);
    if (text.compare(0, 7, "http://") == 0)
        text.erase(0, 7);
    size_t slash = text.find('/');
    if (slash != std::string::npos)
        text.erase(slash);
    size_t at = text.rfind('@');
    if (at != std::string::npos) {
        std::string credentials = text.substr(0, at);
        text.erase(0, at + 1);
        size_t colon = credentials.find(':');
        proxy->user = credentials.substr(0, colon);
        if (colon != std::string::npos)
            proxy->password = credentials.substr(colon + 1);
    }
    if (text.find(':') == std::string::npos)
        text += ":1080";
    if (!ParseHostPort(text.c_str(), &proxy->host, &proxy->port)) {
        fprintf(stderr, "kivupdate: the proxy variable holds no HOST:PORT: %s\n", value);
        return false;
    }
    return true;
}

bool IsSha256Text(const char* text) {
    size_t n = 0;
    for (; text[n] != '\0'; ++n)
        if (!isxdigit(static_cast<unsigned char>(text[n])))
            return false;
    return n == 64;
}

// What reading one option gave.
enum OptionOutcome {
    kNotThisOption, // not a known option of the command (or its value is missing)
    kTaken,         // read, with its value when it has one
    kBadValue,      // read, but its value is wrong: the complaint is in *problem
};

// Reads the option at argv[*i] when the command takes it.
OptionOutcome ReadOption(unsigned allowed, int argc, char** argv, int* i, ToolOptions* o,
                         const char** problem) {
    const char* arg = argv[*i];
    bool hasValue = *i + 1 < argc;
    auto is = [&](unsigned flag, const char* name, bool needsValue) {
        return (allowed & flag) != 0 && strcmp(arg, name) == 0 && (!needsValue || hasValue);
    };
    if (is(kOptLanguage, "--language", true)) {
        char* end = nullptr;
        long value = strtol(argv[++*i], &end, 10);
        if (*end != '\0' || value < INT32_MIN || value > INT32_MAX) {
            *problem = "--language takes a number";
            return kBadValue;
        }
        o->language = static_cast<int32_t>(value);
        return kTaken;
    }
    if (is(kOptProxy, "--no-proxy", false)) {
        o->proxy.given = true;
        o->proxy.host.clear();
        return kTaken;
    }
    if (is(kOptProxy, "--proxy", true)) {
        o->proxy.given = true;
        if (!ParseHostPort(argv[++*i], &o->proxy.host, &o->proxy.port)) {
            *problem = "--proxy takes HOST:PORT";
            return kBadValue;
        }
        return kTaken;
    }
    if (is(kOptRaw, "--raw", false)) {
        o->raw = true;
        return kTaken;
    }
    if (is(kOptProxyUser, "--proxy-user", true)) {
        const char* credentials = argv[++*i];
        const char* colon = strchr(credentials, ':');
        if (colon == nullptr || colon == credentials) {
            *problem = "--proxy-user takes USER:PASSWORD";
            return kBadValue;
        }
        o->proxyUser.assign(credentials, colon);
        o->proxyPassword.assign(colon + 1);
        return kTaken;
    }
    if (is(kOptSha256, "--sha256", true)) {
        o->sha256 = argv[++*i];
        if (!IsSha256Text(o->sha256.c_str())) {
            *problem = "--sha256 takes 64 hex digits";
            return kBadValue;
        }
        for (char& c : o->sha256)
            c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        return kTaken;
    }
    if (is(kOptKey, "--key", true)) {
        o->keys.emplace_back(argv[++*i]);
        return kTaken;
    }
    if (is(kOptOut, "--out", true)) {
        o->out = argv[++*i];
        if (o->out.empty()) {
            *problem = "--out takes a NAME";
            return kBadValue;
        }
        return kTaken;
    }
    if (is(kOptBits, "--bits", true)) {
        const char* value = argv[++*i];
        if (strcmp(value, "2048") != 0 && strcmp(value, "3072") != 0 &&
            strcmp(value, "4096") != 0) {
            *problem = "--bits takes 2048, 3072 or 4096";
            return kBadValue;
        }
        o->bits = static_cast<uint32_t>(strtoul(value, nullptr, 10));
        return kTaken;
    }
    if (is(kOptArch, "--arch", true)) {
        const char* value = argv[++*i];
        if (strcmp(value, "x86") == 0) {
            o->arch = UPDATE_PACKAGE_X86;
        } else if (strcmp(value, "x64") == 0) {
            o->arch = UPDATE_PACKAGE_X64;
        } else {
            *problem = "--arch takes x86 or x64";
            return kBadValue;
        }
        return kTaken;
    }
    if (is(kOptInstalled, "--installed", true)) {
        if (!UpdateParseVersion(argv[++*i], &o->installed)) {
            *problem = "--installed takes a version: VERSION[.SERVICEPACK[.BUILD]]";
            return kBadValue;
        }
        o->haveInstalled = true;
        return kTaken;
    }
    return kNotThisOption;
}

} // namespace

int ParseCommandLine(const CommandSyntax& syntax, int argc, char** argv, ToolOptions* options) {
    for (int i = 0; i < argc; ++i) {
        const char* arg = argv[i];
        const char* problem = nullptr;
        switch (ReadOption(syntax.options, argc, argv, &i, options, &problem)) {
        case kTaken:
            continue;
        case kBadValue:
            return Usage(problem);
        case kNotThisOption:
            break;
        }
        if (arg[0] == '-' && arg[1] != '\0') {
            std::string complaint = std::string("unknown option for ") + syntax.name;
            return Usage(complaint.c_str());
        }
        if (options->arguments.size() >= syntax.maxArguments)
            return Usage(syntax.tooMany);
        options->arguments.push_back(arg);
    }
    return -1;
}

bool ResolveProxy(const char* url, ProxySetting* proxy) {
    return proxy->given || ProxyFromEnvironment(url, proxy);
}

UpdateDownloadOptions NetworkOptions(const ToolOptions& options, const ProxySetting& proxy,
                                     bool withCredentials) {
    UpdateDownloadOptions net;
    net.proxyHost = proxy.host.empty() ? nullptr : proxy.host.c_str();
    net.proxyPort = proxy.port;
    if (withCredentials) {
        const std::string& user = options.proxyUser.empty() ? proxy.user : options.proxyUser;
        const std::string& password =
            options.proxyUser.empty() ? proxy.password : options.proxyPassword;
        net.proxyUser = user.empty() ? nullptr : user.c_str();
        net.proxyPassword = password.empty() ? nullptr : password.c_str();
    }
    return net;
}
