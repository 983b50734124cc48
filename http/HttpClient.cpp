// HttpClient life cycle, connecting, the request builder and GET.
#include "http/HttpClient.h"

#include "http/HttpText.h"
#include "text/BoundedText.h"

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>

namespace {

// Room for everything of a request except the path, the extra headers, the Host override,
// the Content-Type value and the body, which are counted exactly: the longest request
// line and Host line (a 127-character server host and an 11-character port each) and the
// fixed lines come to 367 bytes.
constexpr size_t kRequestAllowance = 400;

size_t TextLength(const char* text) {
    return text != nullptr ? strlen(text) : 0;
}

void RenewBoundary(HttpClient* client) {
    StrFormat(client->boundary, sizeof(client->boundary), "%lu",
              static_cast<unsigned long>(time(nullptr)));
}

} // namespace

HttpClient* HttpClientCreate(TcpConnection* connection) {
    void* memory = malloc(sizeof(HttpClient));
    if (memory == nullptr)
        return nullptr;
    HttpClient* client = new (memory) HttpClient();
    if (connection == nullptr) {
        connection = static_cast<TcpConnection*>(malloc(sizeof(TcpConnection)));
        if (connection == nullptr) {
            client->~HttpClient();
            free(memory);
            return nullptr;
        }
        TcpConnectionInit(connection);
        client->owns_connection = 1;
    }
    client->connection = connection;
    RenewBoundary(client);
    return client;
}

void HttpClientDestroy(HttpClient* client) {
    if (client == nullptr)
        return;
    free(client->extra_headers);
    free(client->content_type);
    free(client->header_text);
    free(client->request_body);
    free(client->receive_buffer);
    free(client->host_override);
    client->extra_headers = client->content_type = client->header_text = nullptr;
    client->request_body = client->receive_buffer = client->host_override = nullptr;
    client->body = nullptr;
    if (client->connection != nullptr) {
        TcpClose(client->connection);
        if (client->owns_connection) {
            TcpConnectionDestroy(client->connection);
            free(client->connection);
        }
        client->connection = nullptr;
    }
    client->~HttpClient();
}

int HttpClientConnect(HttpClient* client, const char* host, uint32_t port) {
    client->server_address.Clear();
    if (host == nullptr || strlen(host) >= sizeof(client->server_host)) {
        StrCopy(client->error_text, sizeof(client->error_text), "TCP Connect failed");
        return 0;
    }
    StrCopy(client->server_host, sizeof(client->server_host), host);
    client->server_port = port;
    return HttpClientOpen(client);
}

int HttpClientConnectAddress(HttpClient* client, const KivIpAddr& address, uint32_t port,
                             const char* host) {
    if (host == nullptr)
        return 0;
    if (strlen(host) >= sizeof(client->server_host)) {
        StrCopy(client->error_text, sizeof(client->error_text), "TCP Connect failed");
        return 0;
    }
    StrCopy(client->server_host, sizeof(client->server_host), host);
    client->server_port = port;
    client->server_address = address;
    return HttpClientOpen(client);
}

int HttpClientOpen(HttpClient* client) {
    int opened;
    if (client->proxy_host[0] != '\0')
        opened = TcpConnectHost(client->connection, client->proxy_host, client->proxy_port);
    else if (client->server_address.Length() != 0)
        opened = TcpConnectAddress(client->connection, client->server_address, client->server_port);
    else
        opened = TcpConnectHost(client->connection, client->server_host, client->server_port);
    if (!opened) {
        StrCopy(client->error_text, sizeof(client->error_text), "TCP Connect failed");
        return 0;
    }
    return 1;
}

void HttpClientResetResponse(HttpClient* client) {
    free(client->header_text);
    client->header_text = nullptr;
    // The previous response goes too, so that nothing of it can pass for the next one.
    free(client->receive_buffer);
    client->receive_buffer = nullptr;
    client->body = nullptr;
    client->body_length = 0;
    client->status_code = 0;
    client->status_line[0] = '\0';
    RenewBoundary(client);
    client->multipart = 0;
}

void HttpClientClearRequest(HttpClient* client) {
    free(client->request_body);
    client->request_body = nullptr;
    client->request_body_length = 0;
    client->request_body_capacity = 0;
    free(client->extra_headers);
    client->extra_headers = nullptr;
    free(client->host_override);
    client->host_override = nullptr;
    free(client->content_type);
    client->content_type = nullptr;
}

int HttpClientSendRequest(HttpClient* client, int method, const char* path) {
    HttpClientResetResponse(client);
    if (path == nullptr)
        return 0;
    bool post = method == HTTP_METHOD_POST;
    size_t bodyLength = post && client->request_body != nullptr ? client->request_body_length : 0;
    if (path[0] == '/')
        ++path;

    size_t size = strlen(path) + TextLength(client->extra_headers) + bodyLength +
                  kRequestAllowance + TextLength(client->host_override) +
                  TextLength(client->content_type);
    // One send moves at most 4 GiB - 1 bytes.
    if (size > UINT32_MAX)
        return 0;
    char* data = static_cast<char*>(malloc(size));
    if (data == nullptr)
        return 0;
    HttpRequestText request{data, size};
    data[0] = '\0';
    const char* verb = post ? "POST" : "GET";
    char line[HTTP_HOST_SIZE + 64];

    if (client->proxy_host[0] != '\0') {
        char portPart[16] = "";
        if (client->server_port != 80)
            StrFormat(portPart, sizeof(portPart), ":%d", static_cast<int>(client->server_port));
        StrFormat(line, sizeof(line), "%s http://%s%s/", verb, client->server_host, portPart);
    } else {
        StrFormat(line, sizeof(line), "%s /", verb);
    }
    request.Add(line);
    request.Add(path);
    request.Add(" HTTP/1.0\r\n");
    request.Add("Accept: */*\r\n");

    if (client->host_override != nullptr) {
        request.Add("Host: ");
        request.Add(client->host_override);
        request.Add("\r\n");
    } else if (client->server_port != 80) {
        StrFormat(line, sizeof(line), "Host: %s:%d\r\n", client->server_host,
                  static_cast<int>(client->server_port));
        request.Add(line);
    } else {
        StrFormat(line, sizeof(line), "Host: %s\r\n", client->server_host);
        request.Add(line);
    }
    if (client->extra_headers != nullptr)
        request.Add(client->extra_headers);
    if (client->content_type != nullptr) {
        request.Add("Content-Type: ");
        request.Add(client->content_type);
        request.Add("\r\n");
    }
    if (post) {
        StrFormat(line, sizeof(line), "Content-length: %d\r\n", static_cast<int>(bodyLength));
        request.Add(line);
    }
    request.Add("\r\n");
    if (bodyLength > 0)
        request.Add(client->request_body, bodyLength);

    // The buffer is sized for every part, so this only guards against a miscount.
    if (request.failed) {
        free(data);
        return 0;
    }
    TcpSend(client->connection, data, static_cast<uint32_t>(request.used));
    free(data);
    return 1;
}

// A request that could not be built sends nothing, so no answer is waited for.
static int Exchange(HttpClient* client, int method, const char* path) {
    if (!HttpClientSendRequest(client, method, path))
        return 0;
    return HttpClientReadResponse(client);
}

int HttpClientGet(HttpClient* client, const char* path) {
    int result = Exchange(client, HTTP_METHOD_GET, path);
    if (!result && !client->connection->connected) {
        if (!HttpClientOpen(client)) {
            HttpClientClearRequest(client);
            return 0;
        }
        result = Exchange(client, HTTP_METHOD_GET, path);
    }
    if (client->status_code == 0 && !client->connection->connected && HttpClientOpen(client))
        result = Exchange(client, HTTP_METHOD_GET, path);
    HttpClientClearRequest(client);
    return result;
}
