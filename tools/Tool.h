// kivupdate, the command-line tool: what its command files share. Each command lives in
// a file of its own (ToolCheck, ToolDownload, ToolKeygen, ToolSign, ToolUpdate), the
// command line is read by ToolOptions, output and progress by ToolOutput, files and keys
// by ToolFiles; the library does the work.
#pragma once

#include "update/SignedUpdate.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Exit codes, shared by every command.
enum ExitCode {
    kExitOk = 0,           // facts found / file downloaded / keys made / files signed
    kExitFailed = 1,       // the check, download or command failed
    kExitUsage = 2,        // bad command line
    kExitNothingNew = 3,   // check: the server gave no facts; download: not modified (304)
    kExitCancelled = 4,    // download or update: cancelled with Ctrl-C
    kExitMismatch = 5,     // the file's SHA-256 is not the one given or signed
    kExitNoSignature = 6,  // no signature beside the document or file
    kExitBadSignature = 7, // the signature is malformed or does not verify
    kExitUnknownKey = 8,   // signed with a key that is not trusted
    kExitExpired = 9,      // the document's expiry time has passed, or it names none
    kExitNotNewer = 10,    // update: the release is not newer than the installed one
    kExitTooLarge = 11,    // update: the package is larger than the signed size
};

// ---- ToolOptions.cpp: the command line ----

// The options a command takes.
enum ToolOptionFlag : unsigned {
    kOptLanguage = 1u << 0,  // --language N
    kOptProxy = 1u << 1,     // --proxy HOST:PORT, --no-proxy
    kOptProxyUser = 1u << 2, // --proxy-user USER:PASSWORD
    kOptRaw = 1u << 3,       // --raw
    kOptSha256 = 1u << 4,    // --sha256 HEX
    kOptKey = 1u << 5,       // --key FILE, repeatable
    kOptOut = 1u << 6,       // --out NAME
    kOptBits = 1u << 7,      // --bits N
    kOptArch = 1u << 8,      // --arch x86|x64
    kOptInstalled = 1u << 9, // --installed VERSION
};

struct CommandSyntax {
    const char* name;    // "check"
    unsigned options;    // ToolOptionFlag bits
    size_t maxArguments; // arguments beyond the options; SIZE_MAX: any number
    const char* tooMany; // the complaint when more arguments come
};

// Proxy settings of a command: given on the command line, or taken from the
// environment the way curl and wget read it.
struct ProxySetting {
    bool given = false; // --proxy or --no-proxy
    std::string host;   // empty: connect directly
    uint16_t port = 0;
    std::string user; // from the proxy URL's user part
    std::string password;
};

struct ToolOptions {
    int32_t language = 1;
    ProxySetting proxy;
    std::string proxyUser, proxyPassword; // --proxy-user
    bool raw = false;
    std::string sha256;            // lower-case hex, empty without --sha256
    std::vector<std::string> keys; // --key files in their order
    std::string out;               // --out
    uint32_t bits = 3072;
    UpdatePackageKind arch = UPDATE_PACKAGE_GENERIC;
    bool haveInstalled = false;
    UpdateVersion installed = {};
    std::vector<const char*> arguments;
};

// Prints `problem` (when not null) and the usage; the exit code for it.
int Usage(const char* problem);

// Reads argv (the command's own arguments) by `syntax`. Returns -1 when the line is
// good, else the exit code after the complaint has been printed.
int ParseCommandLine(const CommandSyntax& syntax, int argc, char** argv, ToolOptions* options);

// Fills `proxy` from http_proxy / no_proxy for a request to `url` unless --proxy or
// --no-proxy was given. False (after a message) when the variable is unusable.
bool ResolveProxy(const char* url, ProxySetting* proxy);

// The library's network options for `proxy` (and the --proxy-user, else the proxy URL's
// credentials when `withCredentials`). The texts stay owned by the arguments.
UpdateDownloadOptions NetworkOptions(const ToolOptions& options, const ProxySetting& proxy,
                                     bool withCredentials);

// ---- ToolOutput.cpp: facts, progress, Ctrl-C, refusals ----

void PrintFacts(uint8_t* bytes, uint32_t size);
void PrintRaw(const uint8_t* bytes, uint32_t size);
// The digests, expiry and signing key of a verified document, below its facts.
void PrintSignedFacts(const SignedDocument& document);

struct Progress {
    bool terminal = false;
    bool called = false;
    int64_t startMs = 0;
    uint32_t done = 0;
    uint32_t total = 0xFFFFFFFF;
};
// Starts a progress display on standard error; OnProgress is its callback (it returns 0
// once Ctrl-C was pressed) and FinishProgress draws its last state.
void StartProgress(Progress* progress);
extern "C" int OnProgress(void* context, uint32_t done, uint32_t total);
void FinishProgress(const Progress& progress);

// Ctrl-C: from CatchInterrupt on, a press is recorded (Interrupted) instead of ending
// the process, until ReleaseInterrupt.
void CatchInterrupt();
void ReleaseInterrupt();
bool Interrupted();

// Prints the refusal or failure `verdict` with `detail` and returns its exit code.
int ReportVerdict(UpdateVerdict verdict, const char* detail);

// ---- ToolFiles.cpp: files and keys ----

// Reads the whole file if it has at most `maxSize` bytes; false with a message otherwise.
bool ReadSmallFile(const char* path, size_t maxSize, std::string* bytes);
// Creates `path`, which must not exist yet, with `size` bytes: readable by its owner only
// with `ownerOnly`, else with the default permissions. False (after a message) on failure,
// with nothing left at `path`.
bool WriteNewFile(const char* path, const void* data, size_t size, bool ownerOnly);
// Reads each public key file into `keys`; false after a message for the first bad one.
bool LoadTrustedKeys(const std::vector<std::string>& files, TrustedKeys* keys);
// The document at `url`, verified against the keys of --key and unexpired now, into
// `document`: kExitOk, or the exit code of the failure or refusal after its message.
int FetchSignedDocument(const char* url, const ToolOptions& options,
                        const UpdateDownloadOptions& net, SignedDocument* document);
// Key id as 64 hex digits.
std::string KeyIdText(const uint8_t id[kUpdateKeyIdSize]);

// ---- the commands ----
int CheckCommand(int argc, char** argv);
int DownloadCommand(int argc, char** argv);
int KeygenCommand(int argc, char** argv);
int SignCommand(int argc, char** argv);
int UpdateCommand(int argc, char** argv);
