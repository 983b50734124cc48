// What the load and soak tests serve: an update-information document, a redirect to it,
// a 404, and one file under the three date forms servers send; with what a correct client
// must make of them.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace fixtures {

extern const char kDocumentPath[], kMovedPath[], kMissingPath[];
extern const char* const kFilePaths[3]; // RFC 1123, RFC 850 and asctime Last-Modified
extern const char kFileDate[];          // their date as HttpDateFormat writes it

// The redirect points to the document at `documentPort`.
std::map<std::string, std::string> Responses(uint16_t documentPort);
std::vector<uint8_t> ExpectedFacts(); // the check's list for the document, language 1
const std::string& FileContent();

} // namespace fixtures
