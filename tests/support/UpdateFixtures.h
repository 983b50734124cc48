// What the load and soak tests serve: an update-information document, a redirect to it,
// and small files whose Last-Modified dates come in the three date forms servers send;
// with the bytes a correct client must produce from them.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace fixtures {

extern const char kDocumentPath[]; // 200 with the document
extern const char kMovedPath[];    // 301 to the document
extern const char kMissingPath[];  // 404
// The same content and date, in RFC 1123, RFC 850 and asctime (zone before year) form.
extern const char* const kFilePaths[3];
// The date every file carries, as HttpDateFormat writes it.
extern const char kFileDate[];

// The responses by path; the redirect points to the document at `documentPort`.
std::map<std::string, std::string> Responses(uint16_t documentPort);
// The attribute list the update check must return for the document (language 1).
std::vector<uint8_t> ExpectedFacts();
const std::string& FileContent();

} // namespace fixtures
