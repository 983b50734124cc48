// What the load and soak tests serve: an update-information document, a redirect to it,
// and small files whose Last-Modified dates come in the three date forms servers send;
// with the bytes a correct client must produce from them.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace fixtures {

// Paths on the server.
extern const char kDocumentPath[]; // 200 with the document
extern const char kMovedPath[];    // 301 to the document
extern const char kMissingPath[];  // 404
// Files with the same content and the same date, written in RFC 1123 form, RFC 850
// form, and asctime form with the zone before the year.
extern const char* const kFilePaths[3];
// The date every file carries, as HttpDateFormat writes it.
extern const char kFileDate[];

// The responses by path, for ScriptedServer; the redirect points to the document on
// the loopback server at `documentPort`.
std::map<std::string, std::string> Responses(uint16_t documentPort);
// The attribute list the update check must return for the document (language 1).
std::vector<uint8_t> ExpectedFacts();
// The content of every file.
const std::string& FileContent();

// Content of the file at `path`, or "(no file)".
std::string ReadFile(const std::string& path);
// A path in the temporary directory, unique to this process and `name`.
std::string TempPath(const std::string& name);

} // namespace fixtures
