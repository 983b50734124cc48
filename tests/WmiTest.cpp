// WMI access against the system's WMI (none natively) and, natively, a scripted stand-in.
#include <algorithm>
#include <cstring>
#include <map>
#include <thread>

#include "TestHelpers.h"
#include "wmi/Wmi.h"

namespace {

// The next OleInitialize on this thread is the first one: nothing was left initialised.
void ExpectOleBalanced() {
    EXPECT_EQ(S_OK, OleInitialize(nullptr));
    OleUninitialize();
}

#ifdef _WIN32
constexpr int kHostWmi = 1;
#else
constexpr int kHostWmi = 0;                         // nothing provides the locator natively
#endif
constexpr DWORD kNoApartment = 0xFFFFFFFF;

TEST(Wmi, RefusalsAndAMissingNamespaceLeaveNothingBehind) {
    WmiConnection connection{nullptr, nullptr};
    std::uint32_t number = 5;
    char text[8];
    const wchar_t* os = L"Win32_OperatingSystem";
    EXPECT_EQ(E_INVALIDARG,
              WmiSetProxyBlanket(&connection, nullptr, nullptr, nullptr, nullptr, 1, 2));
    EXPECT_TRUE(!WmiOpenNumberQuery(&connection, nullptr, L"Caption", &number, nullptr) &&
                !WmiOpenTextQuery(&connection, os, L"Caption", nullptr, 4, nullptr));
    EXPECT_EQ(0, WmiQueryNumber(&connection, os, nullptr, &number, nullptr) +
                     WmiQueryText(&connection, os, nullptr, text, 8, nullptr));
    // In the multithreaded apartment OLE cannot start, yet the locator serves; the host's
    // own start outlives the connection.
    const struct {
        DWORD apartment;
        const wchar_t* nameSpace;
        int connects;
    } connects[] = {
        {kNoApartment, L"ROOT\\NoSuchNamespace", 0},
        {COINIT_MULTITHREADED, L"ROOT\\NoSuchNamespace", 0},
        {COINIT_MULTITHREADED, L"ROOT\\CIMV2", kHostWmi},
        {COINIT_APARTMENTTHREADED, L"ROOT\\CIMV2", kHostWmi},
    };
    FOR_EACH_CASE(c, connects) {
        std::thread([&] {
            if (c.apartment != kNoApartment) {
                ASSERT_EQ(S_OK, CoInitializeEx(nullptr, c.apartment));
                EXPECT_EQ(c.apartment == COINIT_MULTITHREADED ? RPC_E_CHANGED_MODE : S_OK,
                          OleInitialize(nullptr));
                OleUninitialize();
            }
            WmiConnection mine{nullptr, nullptr};
            std::uint32_t productType = 0;
            EXPECT_EQ(c.connects, WmiConnect(&mine, c.nameSpace));
            EXPECT_EQ(c.connects, WmiQueryNumber(&mine, os, L"ProductType", &productType, nullptr));
            EXPECT_EQ(1, WmiDisconnect(&mine));
            EXPECT_TRUE(mine.services == nullptr && mine.locator == nullptr);
            if (c.apartment != kNoApartment) {
                EXPECT_EQ(S_FALSE, CoInitializeEx(nullptr, c.apartment)) << "left the apartment";
                CoUninitialize();
                CoUninitialize();
            }
            ExpectOleBalanced();
        }).join();
    }
    char buffer[9] = "xxxxxxxx";
    EXPECT_TRUE(WideToMultiByte(nullptr, L"C", 8, CP_ACP) == nullptr &&
                WideToMultiByte(buffer, nullptr, 8, CP_ACP) == nullptr &&
                WideToMultiByte(buffer, L"C", 0, CP_ACP) == nullptr);
    EXPECT_STREQ("xxxxxxxx", buffer);
    EXPECT_EQ(nullptr, WideToMultiByte(buffer, L"Caption", 7, CP_ACP));
    EXPECT_STREQ("", buffer);
    EXPECT_EQ(buffer, WideToMultiByte(buffer, L"\u00e9t\u00e9", 8, CP_UTF8));
    EXPECT_STREQ("\xc3\xa9t\xc3\xa9", buffer);
}

// Connected to ROOT\CIMV2; natively nothing provides the locator and the connect must fail.
class HostWmi : public ::testing::Test {
protected:
    void SetUp() override {
#ifdef _WIN32
        ASSERT_EQ(1, WmiConnect(&connection, L"ROOT\\CIMV2"));
#else
        GTEST_SKIP() << "no WMI provider natively"; // Wmi.Refusals* covers the failure
#endif
    }
    void TearDown() override {
        if (connection.services != nullptr) {
            EXPECT_EQ(1, WmiDisconnect(&connection));
            ExpectOleBalanced();
        }
    }

    WmiConnection connection{nullptr, nullptr};
};

TEST_F(HostWmi, QueriesReadTheOnlyObject) {
    char whole[256], cut[256], version[64];
    std::uint32_t byClass = 0, byQuery = 0, isNull = 7;
    ASSERT_EQ(1, WmiQueryText(&connection, L"Win32_OperatingSystem", L"Caption", whole,
                              sizeof whole, &isNull));
    EXPECT_EQ(0, std::strncmp(whole, "Microsoft Windows", 17) + (isNull != 0)) << whole;
    EXPECT_EQ(2, WmiQueryNumber(&connection, L"Win32_OperatingSystem", L"ProductType", &byClass,
                                nullptr) +
                     WmiQueryNumber(&connection, L"select ProductType from Win32_OperatingSystem",
                                    L"ProductType", &byQuery, nullptr));
    EXPECT_TRUE(byClass >= 1 && byClass <= 3 && byClass == byQuery) << byClass << " " << byQuery;
    WmiQuery* query = WmiOpenTextQuery(&connection, L"SELECT * FROM Win32_OperatingSystem",
                                       L"Caption", cut, sizeof cut, nullptr);
    ASSERT_NE(nullptr, query);
    EXPECT_STREQ(whole, cut);
    EXPECT_EQ(1, WmiGetText(&connection, query, L"Version", version, sizeof version));
    EXPECT_NE(nullptr, std::strchr(version, '.')) << version;
    EXPECT_EQ(0, WmiNext(&connection, query));
    EXPECT_STREQ("", cut);
    EXPECT_EQ(1, WmiCloseQuery(&connection, query));

    // From a number record (of the class, without property or output) and a text record of
    // Caption. Win32_BIOS.CurrentLanguage is null under Wine.
    const struct {
        const wchar_t *query, *property;
        bool output;
        int result;
        std::uint32_t isNull;
        const char* text; // of a text record; a number reads 0 but for the first row
    } reads[] = {
        {L"Win32_OperatingSystem", L"ProductType", true, 1, 0, nullptr},
        {L"Win32_OperatingSystem", nullptr, true, 1, 0, nullptr},
        {L"Win32_BIOS", L"CurrentLanguage", true, 1, 1, nullptr},
        {L"Win32_BIOS", L"CurrentLanguage", false, 1, 1, nullptr},
        {L"Win32_OperatingSystem", L"ProductType", false, 0, 0, nullptr},
        {L"Win32_OperatingSystem", L"Caption", true, 1, 0, whole},
        {L"Win32_OperatingSystem", nullptr, true, 1, 0, ""},
    };
    FOR_EACH_CASE(c, reads) {
        std::uint32_t number = 0xDEADBEEF, isNull = 7;
        char text[256] = "x";
        query =
            c.text == nullptr
                ? WmiOpenNumberQuery(&connection, c.query, nullptr, nullptr, &isNull)
                : WmiOpenTextQuery(&connection, c.query, L"Caption", text, sizeof text, &isNull);
        ASSERT_NE(nullptr, query);
        EXPECT_EQ(c.result,
                  c.text == nullptr
                      ? WmiGetNumber(&connection, query, c.property, c.output ? &number : nullptr)
                      : WmiGetText(&connection, query, c.property, text, sizeof text));
        EXPECT_EQ(c.isNull, isNull);
        if (c.text != nullptr) {
            EXPECT_STREQ(c.text, text);
        } else if (c.output) {
            EXPECT_EQ(caseIndex == 0 ? byClass : 0u, number);
        }
        WmiCloseQuery(&connection, query);
    }
}

#ifdef _WIN32
// StdRegProv.GetStringValue reads back a registry value the test wrote itself, then misses.
TEST_F(HostWmi, RegistryProviderMethodReadsAValue) {
    const char stored[] = "written by the test", key[] = "Software\\kivupdate-wmi-test";
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetKeyValueA(HKEY_CURRENT_USER, key, "Value", REG_SZ, stored, sizeof stored));
    BSTR className = SysAllocString(L"StdRegProv");
    IWbemClassObject* provider = nullptr;
    ASSERT_EQ(S_OK, connection.services->GetObject(className, 0, nullptr, &provider, nullptr));
    SysFreeString(className);
    ::testing::internal::CaptureStdout();
    WmiMethodCall* call = WmiPrepareMethod(&connection, provider, L"GetStringValue");
    std::string lines = ::testing::internal::GetCapturedStdout();
    provider->Release();
    ASSERT_TRUE(call != nullptr && call->inParams != nullptr);
    // Windows declares hDefKey as uint32, Wine as sint32: both are "unknown" types.
    EXPECT_EQ(0u, lines.find("Parameter: hDefKey   Type=unknown (0x")) << lines;
    EXPECT_NE(std::string::npos, lines.find(")\nParameter: sSubKeyName   Type=BSTR (0x8)\n"
                                            "Parameter: sValueName   Type=BSTR (0x8)\n"))
        << lines;
    for (const wchar_t* valueName : {L"Value", L"Missing"}) {
        VARIANT values[3] = {};
        values[0].vt = VT_I4, values[0].lVal = static_cast<LONG>(0x80000001); // HKEY_CURRENT_USER
        values[1].vt = values[2].vt = VT_BSTR;
        values[1].bstrVal = SysAllocString(L"Software\\kivupdate-wmi-test");
        values[2].bstrVal = SysAllocString(valueName);
        const wchar_t* names[] = {L"hDefKey", L"sSubKeyName", L"sValueName"};
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(S_OK, call->inParams->Put(names[i], 0, &values[i], 0));
            VariantClear(&values[i]);
        }
        const bool found = valueName[0] == L'V';
        EXPECT_EQ(found ? 0u : ERROR_FILE_NOT_FOUND, WmiExecMethod(&connection, call, 0xDEAD));
        ASSERT_NE(nullptr, call->outParams);
        char text[64] = "";
        EXPECT_EQ(S_OK, call->outParams->Get(L"sValue", 0, &values[0], nullptr, nullptr));
        if (found && values[0].vt == VT_BSTR)
            WideToMultiByte(text, values[0].bstrVal, sizeof text, CP_ACP);
        EXPECT_STREQ(found ? stored : "", text);
        VariantClear(&values[0]);
    }
    WmiFreeMethod(&call);
    EXPECT_EQ(nullptr, call);
    RegDeleteKeyA(HKEY_CURRENT_USER, key);
}
#endif

#ifndef _WIN32

constexpr HRESULT kNoAuthenticationInfo = (HRESULT)0x800706D2, kDenied = (HRESULT)0x80070005;

struct Property {
    std::wstring name;
    CIMTYPE type;
    VARTYPE vt = VT_BSTR;
    LONG number = 0; // any value but a text, in the 32-bit field
    std::wstring text = L"";
};

int liveObjects = 0; // class objects not yet released

// One class object plays instance, class definition (with one method) and parameters.
struct Object final : public IWbemClassObject {
    explicit Object(std::vector<Property> list) : properties(std::move(list)) { ++liveObjects; }
    ~Object() {
        if (inSignature != nullptr)
            inSignature->Release();
        --liveObjects;
    }
    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs == 0 ? (delete this, 0) : refs; }
    HRESULT Get(LPCWSTR name, LONG, VARIANT* value, CIMTYPE* type, LONG*) override {
        auto p = std::find_if(properties.begin(), properties.end(),
                              [&](const Property& each) { return each.name == name; });
        if (p == properties.end())
            return WBEM_E_NOT_FOUND;
        *value = VARIANT{};
        value->vt = p->vt;
        if (p->vt == VT_BSTR)
            value->bstrVal = SysAllocString(p->text.c_str());
        else
            value->lVal = p->number;
        if (type != nullptr)
            *type = p->type;
        return S_OK;
    }
    HRESULT Put(LPCWSTR, LONG, VARIANT*, CIMTYPE) override { return E_NOTIMPL; }
    HRESULT BeginEnumeration(LONG) override { return position = 0, S_OK; }
    HRESULT Next(LONG, BSTR* name, VARIANT* value, CIMTYPE* type, LONG*) override {
        if (position == properties.size())
            return WBEM_S_NO_MORE_DATA;
        *name = SysAllocString(properties[position++].name.c_str());
        return Get(*name, 0, value, type, nullptr);
    }
    HRESULT EndEnumeration() override { return S_OK; }
    HRESULT SpawnInstance(LONG, IWbemClassObject** instance) override {
        *instance = FAILED(spawnResult) ? nullptr : new Object(properties);
        return spawnResult;
    }
    HRESULT GetMethod(LPCWSTR name, LONG, IWbemClassObject** in, IWbemClassObject**) override {
        if (method != name)
            return WBEM_E_NOT_FOUND;
        if ((*in = inSignature) != nullptr)
            inSignature->AddRef();
        return S_OK;
    }

    std::vector<Property> properties;
    std::wstring method;
    Object* inSignature = nullptr; // the method's in-parameters, or null
    HRESULT spawnResult = S_OK;
    size_t position = 0;
    ULONG refs = 1;
};

// Factory, locator, services, enumerator and client security in one reference count: serves
// the scripted classes, records what the calls brought and fails one call on request.
struct StandInWmi final : public IClassFactory,
                          public IWbemLocator,
                          public IWbemServices,
                          public IEnumWbemClassObject,
                          public IClientSecurity {
    void Clear() {
        for (auto& entry : instances)
            for (Object* object : entry.second)
                object->Release();
        instances.clear();
    }
    Object* Add(const std::wstring& className, std::vector<Property> properties) {
        return instances[className].emplace_back(new Object(std::move(properties)));
    }
    // `failure` from the call named `failing`; "Security" withholds IClientSecurity.
    HRESULT Result(const char* call) const { return failing == call ? failure : S_OK; }

    HRESULT QueryInterface(REFIID riid, void** object) override {
        *object = nullptr;
        if (riid == IID_IClassFactory)
            *object = static_cast<IClassFactory*>(this);
        else if (riid == IID_IWbemLocator)
            *object = static_cast<IWbemLocator*>(this);
        else if (riid == IID_IClientSecurity && failing != "Security")
            *object = static_cast<IClientSecurity*>(this);
        else
            return E_NOINTERFACE;
        return AddRef(), S_OK;
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
    HRESULT CreateInstance(IUnknown*, REFIID riid, void** object) override {
        return FAILED(Result("Create")) ? Result("Create") : QueryInterface(riid, object);
    }
    HRESULT ConnectServer(const BSTR path, const BSTR, const BSTR, const BSTR, LONG, const BSTR,
                          IWbemContext*, IWbemServices** services) override {
        if (std::wstring(path) != L"ROOT\\CIMV2")
            return WBEM_E_INVALID_NAMESPACE;
        if (SUCCEEDED(Result("Connect")))
            AddRef(), *services = this;
        return Result("Connect");
    }
    HRESULT GetObject(const BSTR path, LONG, IWbemContext*, IWbemClassObject** object,
                      IWbemCallResult**) override {
        auto found = instances.find(path);
        if (found == instances.end() || found->second.empty())
            return WBEM_E_NOT_FOUND;
        found->second[0]->AddRef(), *object = found->second[0];
        return S_OK;
    }
    // The class is the last word of the query.
    HRESULT ExecQuery(const BSTR language, const BSTR text, LONG, IWbemContext*,
                      IEnumWbemClassObject** enumerator) override {
        query.assign(text, SysStringLen(text)); // as a remote call would carry it
        auto found = instances.find(query.substr(query.rfind(L' ') + 1));
        if (found == instances.end() || std::wstring(language) != L"WQL")
            return WBEM_E_INVALID_CLASS;
        results = found->second, next = 0;
        AddRef(), *enumerator = this;
        return S_OK;
    }
    HRESULT ExecMethod(const BSTR objectPath, const BSTR method, LONG, IWbemContext*,
                       IWbemClassObject* in, IWbemClassObject** out, IWbemCallResult**) override {
        called = std::wstring(objectPath) + L" " + method, inParams = in;
        if (SUCCEEDED(Result("Exec")))
            *out = new Object({returnValue});
        return Result("Exec");
    }
    // Objects come only to a caller who waits for them.
    HRESULT Next(LONG wait, ULONG, IWbemClassObject** objects, ULONG* returned) override {
        *returned = 0;
        if (next == results.size() || wait != (LONG)WBEM_INFINITE)
            return WBEM_S_FALSE;
        objects[0] = results[next++], objects[0]->AddRef(), *returned = 1;
        return S_OK;
    }
    HRESULT QueryBlanket(IUnknown*, DWORD*, DWORD*, OLECHAR**, DWORD* authenticationLevel, DWORD*,
                         void**, DWORD*) override {
        if (Result("Query") == S_OK)
            *authenticationLevel = level;
        return Result("Query");
    }
    HRESULT SetBlanket(IUnknown*, DWORD service, DWORD authorisation, OLECHAR* principal,
                       DWORD authenticationLevel, DWORD impersonation, void* identity,
                       DWORD capabilities) override {
        blanket = {service,       authorisation,       principal != nullptr, authenticationLevel,
                   impersonation, identity != nullptr, capabilities};
        return Result("Set");
    }

    std::string failing;
    HRESULT failure = S_OK;
    DWORD level = RPC_C_AUTHN_LEVEL_NONE;
    Property returnValue = {L"ReturnValue", CIM_UINT32, VT_I4, 7};
    std::wstring query, called; // the last query run and "path method" called
    IWbemClassObject* inParams = nullptr;
    std::vector<DWORD> blanket; // every SetBlanket argument, pointers as non-null flags
    ULONG refs = 1;

    std::map<std::wstring, std::vector<Object*>> instances; // the first is the class definition
    std::vector<Object*> results;
    size_t next = 0;
};

class WmiStandIn : public ::testing::Test {
protected:
    void SetUp() override {
        // OLE stays started for the whole test: on Windows the last uninitialise revokes the
        // registration.
        ASSERT_EQ(S_OK, OleInitialize(nullptr));
        ASSERT_EQ(S_OK, CoRegisterClassObject(CLSID_WbemLocator, static_cast<IClassFactory*>(&wmi),
                                              CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie));
    }
    void TearDown() override {
        WmiFreeMethod(&call);
        if (connection.services != nullptr)
            WmiDisconnect(&connection);
        EXPECT_EQ(S_OK, CoRevokeClassObject(cookie));
        wmi.Clear();
        EXPECT_EQ(1u, wmi.refs);
        EXPECT_EQ(0, liveObjects);
        ExpectOleBalanced();
        OleUninitialize();
    }
    // Every OleInitialize but the fixture's was undone: the next one after it is the first.
    static void ExpectOleBalanced() {
        OleUninitialize();
        ::ExpectOleBalanced();
        OleInitialize(nullptr);
    }
    // Connected, with one instance of the class "Sample" per property list.
    void Connect(std::vector<std::vector<Property>> samples = {}) {
        for (auto& properties : samples)
            wmi.Add(L"Sample", std::move(properties));
        ASSERT_EQ(1, WmiConnect(&connection, L"ROOT\\CIMV2"));
    }
    std::string Prepare(const wchar_t* method) {
        WmiFreeMethod(&call);
        ::testing::internal::CaptureStdout();
        call = WmiPrepareMethod(&connection, object, method);
        return ::testing::internal::GetCapturedStdout();
    }

    StandInWmi wmi;
    DWORD cookie = 0;
    WmiConnection connection{nullptr, nullptr};
    Object* object = nullptr;
    WmiMethodCall* call = nullptr;
};

TEST_F(WmiStandIn, ConnectAndProxyBlanketsOrReleasesAllAtEachFailure) {
    struct {
        const char* failing;
        HRESULT failure;
        DWORD level, setLevel, setImpersonation = 0; // set level 0: the connect fails
        bool multithreaded = false; // from a thread in that apartment, where OLE cannot start
    } cases[] = {
        {"", S_OK, 1, 3, 2},
        {"Query", kNoAuthenticationInfo, 6, 3, 2},
        {"", S_OK, 6, 6, 3},
        {"Create", REGDB_E_CLASSNOTREG, 1, 0},
        {"Connect", WBEM_E_INVALID_NAMESPACE, 1, 0},
        {"Security", S_OK, 1, 0},
        {"Query", kDenied, 1, 0},
        {"Set", kDenied, 1, 0},
        {"", S_OK, 1, 3, 2, true},
        {"Connect", WBEM_E_INVALID_NAMESPACE, 1, 0, 0, true},
    };
    FOR_EACH_CASE(c, cases) {
        wmi.failing = c.failing, wmi.failure = c.failure, wmi.level = c.level;
        auto connect = [&] {
            EXPECT_EQ(c.setLevel != 0, WmiConnect(&connection, L"ROOT\\CIMV2"));
            if (c.setLevel != 0) {
                EXPECT_TRUE(connection.services == static_cast<IWbemServices*>(&wmi) &&
                            connection.locator == static_cast<IWbemLocator*>(&wmi));
                EXPECT_EQ((std::vector<DWORD>{10, 0, 0, c.setLevel, c.setImpersonation, 0, 0}),
                          wmi.blanket);
                EXPECT_EQ(1, WmiDisconnect(&connection));
            }
            EXPECT_TRUE(connection.services == nullptr && connection.locator == nullptr);
        };
        if (c.multithreaded) {
            std::thread([&] {
                ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
                connect();
                EXPECT_EQ(S_FALSE, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
                CoUninitialize();
                CoUninitialize();
            }).join();
        } else {
            connect();
        }
        EXPECT_EQ(2u, wmi.refs); // the fixture's and the registration's
        ExpectOleBalanced();
    }
    // Asked for directly, level none is raised whatever the credentials, and any credential
    // leaves the proxy alone (blanket: level * 10 + impersonation, 0 for none set).
    const struct {
        const wchar_t *user, *domain, *password;
        DWORD level, blanket;
    } requests[] = {{L"u", nullptr, nullptr, 1, 32},
                    {L"u", nullptr, nullptr, 6, 0},
                    {L"", L"d", nullptr, 6, 0},
                    {nullptr, L"", L"p", 6, 0},
                    {L"", L"", nullptr, 5, 54}};
    wmi.failing = "Set", wmi.failure = kDenied; // passed on
    FOR_EACH_CASE(c, requests) {
        wmi.blanket = {0, 0, 0, 0, 0, 0, 0};
        EXPECT_EQ(c.blanket ? kDenied : S_OK,
                  WmiSetProxyBlanket(&connection, static_cast<IWbemServices*>(&wmi), c.user,
                                     c.domain, c.password, c.level, 4));
        EXPECT_EQ(c.blanket, wmi.blanket[3] * 10 + wmi.blanket[4]);
    }
}

// How a row reads the property P: by a query; from an open record without property or
// output, naming P and no output (the record's none stands in); or from an open record of
// P into its output, naming no property (nothing is read). -1 when the open failed.
enum Through { kQuery, kGetWithoutOutput, kGetNoProperty };
int ReadP(WmiConnection* connection, Through through, std::uint32_t size, std::uint32_t* number,
          char* buffer, std::uint32_t* isNull) {
    if (through == kQuery)
        return size == 0 ? WmiQueryNumber(connection, L"Sample", L"P", number, isNull)
                         : WmiQueryText(connection, L"Sample", L"P", buffer, size, isNull);
    const bool named = through == kGetNoProperty; // the record's property, with an output
    WmiQuery* query = size == 0 ? WmiOpenNumberQuery(connection, L"Sample", named ? L"P" : nullptr,
                                                     named ? number : nullptr, isNull)
                                : WmiOpenTextQuery(connection, L"Sample", named ? L"P" : nullptr,
                                                   named ? buffer : nullptr, size, isNull);
    if (query == nullptr)
        return -1;
    const WCHAR* property = named ? nullptr : L"P";
    int result = size == 0 ? WmiGetNumber(connection, query, property, named ? number : nullptr)
                           : WmiGetText(connection, query, property, named ? buffer : nullptr,
                                        named ? size : 0);
    WmiCloseQuery(connection, query);
    return result;
}

// Numbers (size 0) take the integer and boolean types; texts take strings and dates held as
// texts, and come back cut with result 0 when they fill the buffer. A null value sets the
// flag, also without an output; no property reads nothing and clears the output.
TEST_F(WmiStandIn, PropertiesReadAsNumbersOrTexts) {
    struct {
        Property property;
        std::uint32_t size;
        int result;
        std::uint32_t number;
        const char* text = nullptr;
        Through through = kQuery;
    } cases[] = {
        {{L"P", CIM_SINT32, VT_I4, -7}, 0, 1, 0xFFFFFFF9},
        {{L"P", CIM_BOOLEAN, VT_BOOL, VARIANT_TRUE}, 0, 1, 1},
        {{L"P", CIM_UINT8, VT_UI1, 7}, 0, 0, 0},
        {{L"P", CIM_UINT32, VT_NULL}, 0, 1, 0},
        {{L"Other", CIM_UINT32, VT_I4, 3}, 0, 0, 0},
        {{L"P", CIM_DATETIME, VT_BSTR, 0, L"20140101000000.0"}, 17, 1, 0, "20140101000000.0"},
        {{L"P", CIM_STRING, VT_BSTR, 0, L"abcd"}, 5, 1, 0, "abcd"},
        {{L"P", CIM_STRING, VT_BSTR, 0, L"abcd"}, 4, 0, 0, "abc"},
        {{L"P", CIM_STRING, VT_BSTR, 0, L"\u00e9t\u00e9"}, 4, 0, 0, "\xc3\xa9t"},
        {{L"P", CIM_STRING, VT_I4, 1}, 8, 0, 0, ""},
        {{L"P", CIM_REFERENCE, VT_BSTR, 0, L"abc"}, 8, 0, 0, ""},
        {{L"P", CIM_STRING, VT_NULL}, 2, 1, 0, ""},
        {{L"P", CIM_UINT32, VT_NULL}, 0, 1, 0xDEADBEEF, nullptr, kGetWithoutOutput},
        {{L"P", CIM_UINT32, VT_I4, 3}, 0, 0, 0xDEADBEEF, nullptr, kGetWithoutOutput},
        {{L"P", CIM_SINT32, VT_I4, -7}, 0, 1, 0, nullptr, kGetNoProperty},
        {{L"P", CIM_STRING, VT_BSTR, 0, L"abcd"}, 5, 1, 0, "", kGetNoProperty},
        {{L"P", CIM_UINT32, VT_NULL}, 0, 1, 0, nullptr, kGetNoProperty},
    };
    Connect();
    FOR_EACH_CASE(c, cases) {
        wmi.Clear();
        wmi.Add(L"Sample", {c.property});
        char buffer[40];
        std::memset(buffer, 'x', sizeof buffer);
        std::uint32_t number = 0xDEADBEEF, isNull = 7;
        EXPECT_EQ(c.result, ReadP(&connection, c.through, c.size, &number, buffer, &isNull));
        // A text, and the byte after the buffer, never written.
        const std::string got =
            c.size == 0 ? std::to_string(number) : buffer + std::string("|") + buffer[c.size];
        EXPECT_EQ(c.size == 0 ? std::to_string(c.number) : c.text + std::string("|x"), got);
        EXPECT_EQ(c.property.vt == VT_NULL && c.through != kGetNoProperty ? 1u : 0u, isNull);
    }
}

// Reading through the record with another property or output leaves the record's own.
TEST_F(WmiStandIn, ClassNamesBecomeQueriesAndRecordsWalkObjects) {
    wmi.instances[L"Empty"];
    Connect({{{L"P", CIM_UINT32, VT_I4, 1}, {L"Q", CIM_STRING, VT_BSTR, 0, L"first"}},
             {{L"P", CIM_UINT32, VT_I4, 2}}});
    struct {
        const wchar_t *query, *property, *run;
        bool found;
    } cases[] = {
        {L"Sample", L"P", L"SELECT P from Sample", true},
        {L"Sample", nullptr, L"SELECT * from Sample", true},
        {L"Selection", L"P", L"Selection", false},
        {L"SELEC", L"P", L"SELECT P from SELEC", false},
        {L"Empty", L"P", L"SELECT P from Empty", false},
    };
    FOR_EACH_CASE(c, cases) {
        std::uint32_t number = 0xDEADBEEF;
        WmiQuery* query = WmiOpenNumberQuery(&connection, c.query, c.property,
                                             c.property ? &number : nullptr, nullptr);
        EXPECT_EQ(c.run, wmi.query);
        EXPECT_EQ(c.found, query != nullptr);
        EXPECT_EQ(!c.property ? 0xDEADBEEF : c.found ? 1u : 0u, number);
        WmiCloseQuery(&connection, query);
    }
    std::uint32_t number = 0, other = 0;
    WmiQuery* query = WmiOpenNumberQuery(&connection, L"Sample", L"P", &number, nullptr);
    ASSERT_NE(nullptr, query);
    EXPECT_EQ(0, WmiGetText(&connection, query, L"Q", nullptr, 0)) << "a number record";
    EXPECT_EQ(1, WmiNext(&connection, query));
    EXPECT_EQ(1, WmiGetNumber(&connection, query, L"P", &other));
    number = 9;
    EXPECT_EQ(1, WmiGetNumber(&connection, query, L"P", nullptr));
    EXPECT_EQ("2 2", std::to_string(number) + " " + std::to_string(other));
    EXPECT_EQ(0, WmiStep(&connection, 3, query));
    EXPECT_EQ(0, WmiNext(&connection, query));
    EXPECT_EQ(0, WmiGetNumber(&connection, query, L"P", nullptr)) << "no current object";
    WmiCloseQuery(&connection, query);
    EXPECT_EQ(0, WmiStep(&connection, WMI_STEP_READ, nullptr));
}

// A method is prepared from the object's class and path, both texts, and the class
// definition's in-parameters; the method's result is its "ReturnValue" when that is a number.
TEST_F(WmiStandIn, MethodsNeedClassPathAndDefinitionAndReturnReturnValue) {
    object = wmi.Add(L"Proc", {{L"__CLASS", CIM_STRING, VT_BSTR, 0, L"Proc"},
                               {L"__RELPATH", CIM_STRING, VT_BSTR, 0, L"Proc.Id=1"}});
    object->method = L"Run";
    object->inSignature = new Object({{L"T", CIM_STRING},
                                      {L"V", 0x1008, VT_NULL},
                                      {L"A", 0x200C, VT_NULL},
                                      {L"B", 0x4012, VT_NULL},
                                      {L"R", 0x8013, VT_NULL},
                                      {L"M", 0x3013, VT_NULL}});
    Connect();
    enum Fault { NoClass, NullClass, NumberPath, NoDefinition, NoMethod, NoSpawn, None };
    for (Fault fault : {NoClass, NullClass, NumberPath, NoDefinition, NoMethod, NoSpawn, None}) {
        SCOPED_TRACE(fault);
        auto& properties = object->properties;
        properties[0] = {fault == NoClass ? L"_" : L"__CLASS", CIM_STRING,
                         fault == NullClass ? VT_NULL : VT_BSTR, 0,
                         fault == NoDefinition ? L"Gone" : L"Proc"};
        properties[1].vt = fault == NumberPath ? VT_I4 : VT_BSTR;
        object->inSignature->spawnResult = fault == NoSpawn ? E_OUTOFMEMORY : S_OK;
        const std::string shown = Prepare(fault == NoMethod ? L"Walk" : L"Run");
        EXPECT_EQ(fault == None, call != nullptr);
        EXPECT_EQ(fault != None, shown.empty());
    }
    EXPECT_EQ(
        "Parameter: T   Type=BSTR (0x8)\nParameter: V   Type=VECTOR | BSTR (0x1008)\n"
        "Parameter: A   Type=ARRAY | VARIANT (0x200c)\nParameter: B   Type=BYREF | UI2 (0x4012)\n"
        "Parameter: R   Type=RESERVED | unknown (0x8013)\n"
        "Parameter: M   Type=unknown | unknown (0x3013)\n",
        Prepare(L"Run"));
    ASSERT_NE(nullptr, call);
    struct {
        const char* failing;
        Property returnValue;
        std::uint32_t result;
    } cases[] = {
        {"", {L"ReturnValue", CIM_UINT32, VT_UI4, 0}, 0},
        {"Exec", {L"ReturnValue", CIM_UINT32, VT_I4, 0}, 99},
        {"", {L"Other", CIM_UINT32, VT_I4, 0}, 99},
        {"", {L"ReturnValue", CIM_UINT32, VT_NULL}, 99},
        {"", {L"ReturnValue", CIM_UINT32, VT_I4, 7}, 7},
    };
    wmi.failure = WBEM_E_INVALID_METHOD;
    FOR_EACH_CASE(c, cases) {
        wmi.failing = c.failing, wmi.returnValue = c.returnValue;
        EXPECT_EQ(c.result, WmiExecMethod(&connection, call, 99));
        EXPECT_TRUE(wmi.called == L"Proc.Id=1 Run" && wmi.inParams == call->inParams);
    }
    // Without in-parameters the method is called with none.
    object->inSignature->Release();
    object->inSignature = nullptr;
    EXPECT_EQ("", Prepare(L"Run"));
    EXPECT_TRUE(WmiExecMethod(&connection, call, 99) == 7u && wmi.inParams == nullptr);
    WmiConnection none{nullptr, nullptr};
    EXPECT_EQ(nullptr, WmiPrepareMethod(&none, object, L"Run"));
}

#endif

} // namespace
