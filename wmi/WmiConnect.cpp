// Connecting to a WMI namespace, security blankets and the wide text conversion.
#include "wmi/Wmi.h"

#include <climits>

namespace {

// QueryBlanket's answer on a binding that carries no authentication information; such a
// connection is treated as unauthenticated (level 1).
constexpr HRESULT kNoAuthenticationInfo = (HRESULT)0x800706D2;

bool IsEmpty(const WCHAR* text) {
    return text == nullptr || text[0] == 0;
}

// The authentication level of the services proxy, through its IClientSecurity.
HRESULT QueryAuthenticationLevel(IWbemServices* services, DWORD* level) {
    IClientSecurity* security = nullptr;
    HRESULT result = services->QueryInterface(IID_IClientSecurity, (void**)&security);
    if (FAILED(result))
        return result;
    result = security->QueryBlanket(services, nullptr, nullptr, nullptr, level, nullptr, nullptr,
                                    nullptr);
    if (result == kNoAuthenticationInfo) {
        *level = RPC_C_AUTHN_LEVEL_NONE;
        result = S_OK;
    }
    security->Release();
    return result;
}

HRESULT SetBlanket(IUnknown* proxy, DWORD authenticationLevel, DWORD impersonationLevel) {
    return CoSetProxyBlanket(proxy, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                             authenticationLevel, impersonationLevel, nullptr, EOAC_NONE);
}

// Gives back what a connect took: the services, the locator and its own OLE start.
void ReleaseConnection(WmiConnection* connection) {
    if (connection->services != nullptr)
        connection->services->Release();
    if (connection->locator != nullptr)
        connection->locator->Release();
    connection->services = nullptr;
    connection->locator = nullptr;
    if (connection->oleStarted)
        OleUninitialize();
    connection->oleStarted = false;
}

// Without authentication (level 1) calls are still made at call level, identifying the
// caller; otherwise the proxy keeps its level and impersonates.

} // namespace

int WmiConnect(WmiConnection* connection, const WCHAR* nameSpace) {
    if (connection == nullptr || nameSpace == nullptr)
        return 0;
    connection->services = nullptr;
    connection->locator = nullptr;
    // A thread in the multithreaded apartment refuses OLE but serves the locator.
    connection->oleStarted = SUCCEEDED(OleInitialize(nullptr));
    HRESULT result = CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IWbemLocator, (void**)&connection->locator);
    if (SUCCEEDED(result)) {
        BSTR path = SysAllocString(nameSpace);
        result = path == nullptr
                     ? E_OUTOFMEMORY
                     : connection->locator->ConnectServer(path, nullptr, nullptr, nullptr, 0,
                                                          nullptr, nullptr, &connection->services);
        SysFreeString(path);
    }
    DWORD level = 0;
    if (SUCCEEDED(result))
        result = QueryAuthenticationLevel(connection->services, &level);
    if (SUCCEEDED(result)) {
        bool none = level == RPC_C_AUTHN_LEVEL_NONE;
        result = SetBlanket(connection->services, none ? RPC_C_AUTHN_LEVEL_CALL : level,
                            none ? RPC_C_IMP_LEVEL_IDENTIFY : RPC_C_IMP_LEVEL_IMPERSONATE);
    }
    if (SUCCEEDED(result))
        return 1;
    ReleaseConnection(connection);
    return 0;
}

int WmiDisconnect(WmiConnection* connection) {
    if (connection == nullptr)
        return 0;
    ReleaseConnection(connection);
    return 1;
}

// Explicit credentials would need an authentication identity, which this layer does not
// build: such a request is answered with success and leaves the proxy as it was.
HRESULT WmiSetProxyBlanket(WmiConnection*, IUnknown* proxy, const WCHAR* user, const WCHAR* domain,
                           const WCHAR* password, DWORD authenticationLevel,
                           DWORD impersonationLevel) {
    if (proxy == nullptr)
        return E_INVALIDARG;
    if (authenticationLevel == RPC_C_AUTHN_LEVEL_NONE)
        return SetBlanket(proxy, RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IDENTIFY);
    if (!IsEmpty(user) || !IsEmpty(domain) || !IsEmpty(password))
        return S_OK;
    return SetBlanket(proxy, authenticationLevel, impersonationLevel);
}

// Sizes beyond int are offered to the conversion as the largest int.
char* WideToMultiByte(char* buffer, const WCHAR* wideText, std::uint32_t bufferSize,
                      UINT codePage) {
    if (buffer == nullptr || wideText == nullptr || bufferSize == 0)
        return nullptr;
    buffer[0] = 0;
    int size = bufferSize > INT_MAX ? INT_MAX : static_cast<int>(bufferSize);
    if (WideCharToMultiByte(codePage, 0, wideText, -1, buffer, size, nullptr, nullptr) == 0) {
        // A conversion that ran out of room may have written part of the text.
        buffer[0] = 0;
        return nullptr;
    }
    return buffer;
}
