// HttpClient: a small HTTP/1.0 client for one request at a time over a TcpConnection,
// directly or through an HTTP proxy. Each request is one exchange: the request is sent,
// and the whole response (at most 1,000,000 bytes of body) is read into memory, to the
// end given by Content-Length or to the close of the connection.
//
// Calling order: HttpClientCreate -> set proxy_host/proxy_port (optional) ->
// HttpClientConnect -> body and header calls for the next request (optional) ->
// HttpClientGet or HttpClientPost -> read status_code, body, body_length, header_text,
// error_text -> further requests (each reconnects when the connection was dropped) ->
// TcpClose(client->connection) when done with a server -> HttpClientDestroy, then
// free() the client.
//
// Body, extra headers, Host override, Content-Type, Basic authentication and the
// multipart choice apply to the next request only: they are cleared after every GET and
// POST. Proxy and server settings stay.
//
// A client is used by one thread at a time and never throws.
#pragma once

#include "http/TcpConnection.h"
#include "net/KivIpAddr.h"

#include <cstdint>

constexpr int HTTP_METHOD_GET = 1;
constexpr int HTTP_METHOD_POST = 2;

// Fixed text fields; each holds one character less than its size.
constexpr uint32_t HTTP_STATUS_LINE_SIZE = 129; // at most 128 characters
constexpr uint32_t HTTP_ERROR_TEXT_SIZE = 128;
constexpr uint32_t HTTP_HOST_SIZE = 128;
constexpr uint32_t HTTP_BOUNDARY_SIZE = 64;

struct HttpClient {
    uint32_t owns_connection = 0;        // 1 when the client made (and destroys) connection
    TcpConnection* connection = nullptr; // used for all traffic
    char* receive_buffer = nullptr;      // raw bytes of the last response, NUL-terminated
    char* header_text = nullptr;         // last response's header block, status line first
    uint32_t status_code = 0;            // 0 before a response was parsed
    char status_line[HTTP_STATUS_LINE_SIZE] = {}; // e.g. "HTTP/1.1 200 OK"
    char* body = nullptr;                         // into receive_buffer, followed by a NUL
    uint32_t body_length = 0;
    char* request_body = nullptr;     // body of the next POST; capacity + 10 bytes
    uint32_t request_body_length = 0; // bytes used
    uint32_t request_body_capacity = 0;
    char* content_type = nullptr;               // Content-Type value of the next request
    char* extra_headers = nullptr;              // extra lines of the next request, each with CR LF
    char error_text[HTTP_ERROR_TEXT_SIZE] = {}; // last error; "" after creation
    char proxy_host[HTTP_HOST_SIZE] = {};       // empty: direct connection; set by the caller
    uint32_t proxy_port = 0;                    // set by the caller with proxy_host
    char server_host[HTTP_HOST_SIZE] = {};      // host given to HttpClientConnect
    uint32_t server_port = 0;
    KivIpAddr server_address;               // invalid unless HttpClientConnectAddress set it
    char* host_override = nullptr;          // Host value of the next request
    uint32_t multipart = 0;                 // 1: the next POST body is multipart/form-data
    char boundary[HTTP_BOUNDARY_SIZE] = {}; // current time in seconds, unsigned decimal
};

// Makes a client in memory from malloc (the caller frees it with free() after
// HttpClientDestroy). With a null connection the client makes and owns one (time-out
// 15 s). Null when memory runs out.
HttpClient* HttpClientCreate(TcpConnection* connection);
// Frees everything the client owns, closes the connection and, when owned, destroys and
// frees it. The caller then frees the client's memory.
void HttpClientDestroy(HttpClient* client);

// Stores the server and opens the connection. A host of 128 characters or more does
// not fit server_host and is refused (a cut name would reach another server):
// error_text "TCP Connect failed", result 0.
int HttpClientConnect(HttpClient* client, const char* host, uint32_t port);
// Like HttpClientConnect, but connects to `address` (unless a proxy is set) and uses
// `host` only for the Host line. A null host returns 0 at once.
int HttpClientConnectAddress(HttpClient* client, const KivIpAddr& address, uint32_t port,
                             const char* host);
// Opens or reopens the connection: to the proxy when one is set, else to server_address
// when it is valid, else to server_host. On failure error_text is "TCP Connect failed".
int HttpClientOpen(HttpClient* client);

// Sends one GET for `path` (a leading '/' is optional) and reads the response; 1 when a
// response was read and parsed, whatever its status, else 0. When the read fails on a
// dropped connection it reopens and tries again, and once more if that gave no status
// either. A request that cannot be built is not sent, and no answer is waited for.
int HttpClientGet(HttpClient* client, const char* path);
// Sends one POST with the body built by the calls below; results as HttpClientGet.
int HttpClientPost(HttpClient* client, const char* path);

// Request body of the next POST. AddFormField form-urlencodes name and value (a
// non-zero lineLength breaks long values, see HttpUrlEncode), or in multipart mode adds
// a part whose value has its character references decoded. AddEncodedPair appends
// name=value as given (or a part with the value unchanged in multipart mode).
// AppendBody appends raw bytes. SetMultipart makes the next POST multipart/form-data;
// call it before adding that POST's fields. Results are 1, or 0 for null arguments and
// when memory runs out (the body is then emptied, and later calls start a new one).
int HttpClientAddFormField(HttpClient* client, const char* name, const char* value,
                           uint32_t lineLength);
int HttpClientAddEncodedPair(HttpClient* client, const char* name, const char* value);
int HttpClientAppendBody(HttpClient* client, const void* bytes, uint32_t count);
void HttpClientSetMultipart(HttpClient* client);

// Adds a header line (without CR LF) to the next request. A line starting with "Host:"
// (any case) replaces the Host line's value with the text after "Host: ". Returns 1, or 0
// for a null line or when memory runs out (nothing is added).
int HttpClientAddHeader(HttpClient* client, const char* line);
// Adds "Authorization: Basic " with user ":" password in Base64. A null or empty user
// adds nothing (result 1). Credentials whose user ":" password text is longer than 189
// bytes are refused (result 0): their Base64 text would pass 254 characters.
int HttpClientSetBasicAuth(HttpClient* client, const char* user, const char* password);

// Value of the first header line of the last response that starts with `name` (any
// case; include ": " in the name). 1 when found and shorter than `size`, else 0.
int HttpClientGetHeader(HttpClient* client, const char* name, char* destination, uint32_t size);

// The building blocks of a request, for callers that run their own exchange.
// SendRequest resets the response fields, renews the boundary, builds the whole request
// in one buffer sized for it and sends it; 0 when that buffer cannot be had (nothing is
// sent). ReadResponse reads and parses one response. ClearRequest drops the request
// settings; ResetResponse drops the last response.
// Departure in ReadResponse: when the blank line's break is a lone CR or LF in the last
// byte received and a body of announced length follows, the first byte that comes next
// is taken as the rest of that break when it pairs with it (the LF of a CR LF, the CR of
// an LF CR), as in the same answer received whole, instead of being the body's first
// byte. A server that splits its blank line between two sends gets its body intact.
int HttpClientSendRequest(HttpClient* client, int method, const char* path);
int HttpClientReadResponse(HttpClient* client);
void HttpClientClearRequest(HttpClient* client);
void HttpClientResetResponse(HttpClient* client);

// Finds the end of a header block in `length` bytes: the first line break directly
// followed by a second one. A break is CR, LF, CR LF or LF CR. Returns the position just
// past the second break and stores its offset in *offset, or returns null. A break in
// the last byte counts as a break of its own, so "A\n\n" ends at 3 and "A\r\n\r" at 4.
const char* HttpFindHeaderEnd(const char* bytes, uint32_t length, uint32_t* offset);
// Finds the first line (ended by CR or LF within `length`) that starts with `name`,
// ignoring case, and copies the rest of that line into `destination`. Returns 1, or 0
// when no line matches or the first match's value does not fit in `size` - 1 characters.
int HttpFindLineValue(const char* text, uint32_t length, const char* name, char* destination,
                      uint32_t size);
