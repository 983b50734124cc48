// WMI access against the stand-in provider of tests/support: every branch of connecting,
// the query steps and method calls. Windows builds run the same functions against the
// system's WMI in WmiTest.cpp.
#ifndef _WIN32
#include <cstring>
#include <string>

#include <map>
#include <vector>

#include "TestHelpers.h"
#include "wmi/Wmi.h"

namespace {

constexpr HRESULT kNoAuthenticationInfo = (HRESULT)0x800706D2;
constexpr HRESULT kDenied = (HRESULT)0x80070005;

// The stand-in provider: registered as the locator's factory, one object plays factory,
// locator, services, enumerator and client security (with one reference count the tests
// compare), serves scripted classes, records what the calls brought and fails on request.
int liveObjects = 0; // class objects not yet released

struct Property {
    std::wstring name;
    CIMTYPE type;
    VARTYPE vt;
    LONG number; // any value but a text, in the 32-bit field
    std::wstring text;
};
Property Number(const wchar_t* name, CIMTYPE type, VARTYPE vt, LONG value) {
    return {name, type, vt, value, L""};
}
Property Text(const wchar_t* name, const wchar_t* value, CIMTYPE type = CIM_STRING) {
    return {name, type, VT_BSTR, 0, value};
}
Property Null(const wchar_t* name, CIMTYPE type) {
    return {name, type, VT_NULL, 0, L""};
}

VARIANT ToVariant(const Property& property) {
    VARIANT value;
    std::memset(&value, 0, sizeof value);
    value.vt = property.vt;
    if (property.vt == VT_BSTR)
        value.bstrVal = SysAllocString(property.text.c_str());
    else
        value.lVal = property.number;
    return value;
}

struct Object final : public IWbemClassObject {
    explicit Object(std::vector<Property> list) : properties(std::move(list)) { ++liveObjects; }
    ~Object() {
        if (inSignature != nullptr)
            inSignature->Release();
        --liveObjects;
    }
    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override {
        ULONG left = --refs;
        if (left == 0)
            delete this;
        return left;
    }
    Property* Find(LPCWSTR name) {
        for (Property& p : properties)
            if (p.name == name)
                return &p;
        return nullptr;
    }
    HRESULT Get(LPCWSTR name, LONG, VARIANT* value, CIMTYPE* type, LONG*) override {
        Property* p = Find(name);
        if (p == nullptr)
            return WBEM_E_NOT_FOUND;
        *value = ToVariant(*p);
        if (type != nullptr)
            *type = p->type;
        return S_OK;
    }
    HRESULT Put(LPCWSTR name, LONG, VARIANT* value, CIMTYPE) override {
        Property* p = Find(name);
        if (p == nullptr)
            return WBEM_E_NOT_FOUND;
        p->vt = value->vt;
        p->text = value->vt == VT_BSTR ? value->bstrVal : L"";
        return S_OK;
    }
    HRESULT BeginEnumeration(LONG flags) override {
        enumerationFlags = flags, position = 0;
        return S_OK;
    }
    HRESULT Next(LONG, BSTR* name, VARIANT* value, CIMTYPE* type, LONG*) override {
        if (position == properties.size())
            return WBEM_S_NO_MORE_DATA;
        *name = SysAllocString(properties[position].name.c_str());
        *value = ToVariant(properties[position]);
        *type = properties[position++].type;
        return S_OK;
    }
    HRESULT EndEnumeration() override { return S_OK; }
    HRESULT SpawnInstance(LONG, IWbemClassObject** instance) override {
        *instance = FAILED(spawnResult) ? nullptr : new Object(properties);
        return spawnResult;
    }
    HRESULT GetMethod(LPCWSTR name, LONG, IWbemClassObject** in, IWbemClassObject**) override {
        *in = nullptr;
        if (method != name)
            return WBEM_E_NOT_FOUND;
        if (inSignature != nullptr)
            inSignature->AddRef(), *in = inSignature;
        return S_OK;
    }

    std::vector<Property> properties;
    std::wstring method;           // the one method of a class definition
    Object* inSignature = nullptr; // its in-parameters, or null
    HRESULT spawnResult = S_OK;
    LONG enumerationFlags = -1;
    size_t position = 0;
    ULONG refs = 1;
};

struct StandInWmi final : public IClassFactory,
                          public IWbemLocator,
                          public IWbemServices,
                          public IEnumWbemClassObject,
                          public IClientSecurity {
    ~StandInWmi() { Clear(); }
    void Clear() {
        for (auto& entry : instances)
            for (Object* object : entry.second)
                object->Release();
        for (auto& entry : definitions)
            entry.second->Release();
        instances.clear(), definitions.clear();
    }
    Object* Add(const std::wstring& className, std::vector<Property> properties) {
        instances[className].push_back(new Object(std::move(properties)));
        return instances[className].back();
    }

    HRESULT QueryInterface(REFIID riid, void** object) override {
        *object = nullptr;
        if (riid == IID_IClassFactory)
            *object = static_cast<IClassFactory*>(this);
        else if (riid == IID_IWbemLocator)
            *object = static_cast<IWbemLocator*>(this);
        else if (riid == IID_IClientSecurity && offersSecurity)
            *object = static_cast<IClientSecurity*>(this);
        if (*object == nullptr)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
    HRESULT CreateInstance(IUnknown*, REFIID riid, void** object) override {
        *object = nullptr;
        return FAILED(createResult) ? createResult : QueryInterface(riid, object);
    }
    HRESULT ConnectServer(const BSTR path, const BSTR, const BSTR, const BSTR, LONG, const BSTR,
                          IWbemContext*, IWbemServices** services) override {
        nameSpace = path;
        if (SUCCEEDED(connectResult))
            AddRef(), *services = this;
        return connectResult;
    }
    HRESULT GetObject(const BSTR path, LONG, IWbemContext*, IWbemClassObject** object,
                      IWbemCallResult**) override {
        auto found = definitions.find(path);
        if (found == definitions.end())
            return WBEM_E_NOT_FOUND;
        found->second->AddRef(), *object = found->second;
        return S_OK;
    }
    // The class is the last word of the query.
    HRESULT ExecQuery(const BSTR queryLanguage, const BSTR text, LONG, IWbemContext*,
                      IEnumWbemClassObject** enumerator) override {
        language = queryLanguage;
        query.assign(text, SysStringLen(text)); // as a remote call would carry it
        auto found = instances.find(query.substr(query.rfind(L' ') + 1));
        if (found == instances.end())
            return WBEM_E_INVALID_CLASS;
        results = found->second, next = 0;
        AddRef(), *enumerator = this;
        return S_OK;
    }
    HRESULT ExecMethod(const BSTR objectPath, const BSTR method, LONG, IWbemContext*,
                       IWbemClassObject* in, IWbemClassObject** out, IWbemCallResult**) override {
        path = objectPath, methodName = method, inParams = in;
        if (SUCCEEDED(execMethodResult))
            *out = new Object({returnValue});
        return execMethodResult;
    }
    HRESULT Next(LONG wait, ULONG, IWbemClassObject** objects, ULONG* returned) override {
        timeout = wait, *returned = 0;
        if (next == results.size())
            return WBEM_S_FALSE;
        objects[0] = results[next++], objects[0]->AddRef(), *returned = 1;
        return S_OK;
    }
    HRESULT QueryBlanket(IUnknown*, DWORD*, DWORD*, OLECHAR**, DWORD* authenticationLevel, DWORD*,
                         void**, DWORD*) override {
        if (queryBlanketResult == S_OK)
            *authenticationLevel = level;
        return queryBlanketResult;
    }
    HRESULT SetBlanket(IUnknown*, DWORD service, DWORD authorisation, OLECHAR* principal,
                       DWORD authenticationLevel, DWORD impersonation, void* identity,
                       DWORD capabilities) override {
        ++blankets;
        blanket = {service,       authorisation,       principal != nullptr, authenticationLevel,
                   impersonation, identity != nullptr, capabilities};
        return setBlanketResult;
    }

    // Scripted answers.
    HRESULT createResult = S_OK, connectResult = S_OK, queryBlanketResult = S_OK;
    HRESULT setBlanketResult = S_OK, execMethodResult = S_OK;
    bool offersSecurity = true;
    DWORD level = RPC_C_AUTHN_LEVEL_NONE;
    Property returnValue = Number(L"ReturnValue", CIM_UINT32, VT_I4, 7);
    // What the calls brought.
    std::wstring nameSpace, language, query, path, methodName;
    IWbemClassObject* inParams = nullptr;
    std::vector<unsigned long> blanket; // every SetBlanket argument, pointers as non-null flags
    int blankets = 0;
    LONG timeout = 0;
    ULONG refs = 1;

    std::map<std::wstring, std::vector<Object*>> instances;
    std::map<std::wstring, Object*> definitions; // by class name
    std::vector<Object*> results;
    size_t next = 0;
};

class WmiStandIn : public ::testing::Test {
protected:
    void SetUp() override {
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
        EXPECT_EQ(S_OK, OleInitialize(nullptr));
    }
    void Connect() { ASSERT_EQ(1, WmiConnect(&connection, L"ROOT\\CIMV2")); }
    // Adds the class "Proc" with the method "Run" and one instance of it.
    void AddMethod(std::vector<Property> parameters) {
        object = wmi.Add(L"Proc", {Text(L"__CLASS", L"Proc"), Text(L"__RELPATH", L"Proc.Id=1")});
        definition = wmi.definitions[L"Proc"] = new Object({});
        definition->method = L"Run";
        definition->inSignature = new Object(std::move(parameters));
    }
    std::string Prepare(const wchar_t* method) {
        ::testing::internal::CaptureStdout();
        call = WmiPrepareMethod(&connection, object, method);
        return ::testing::internal::GetCapturedStdout();
    }

    StandInWmi wmi;
    DWORD cookie = 0;
    WmiConnection connection{nullptr, nullptr};
    Object *object = nullptr, *definition = nullptr;
    WmiMethodCall* call = nullptr;
};

TEST_F(WmiStandIn, ConnectSetsTheBlanketOrReleasesAllAtEachFailure) {
    struct {
        HRESULT create, connect;
        bool security;
        HRESULT query;
        DWORD level;
        HRESULT set;
        int result;
        unsigned long setLevel, setImpersonation;
    } cases[] = {
        {S_OK, S_OK, true, S_OK, 1, S_OK, 1, 3, 2},
        {S_OK, S_OK, true, kNoAuthenticationInfo, 6, S_OK, 1, 3, 2},
        {S_OK, S_OK, true, S_OK, 6, S_OK, 1, 6, 3},
        {REGDB_E_CLASSNOTREG, S_OK, true, S_OK, 1, S_OK, 0, 0, 0},
        {S_OK, WBEM_E_INVALID_NAMESPACE, true, S_OK, 1, S_OK, 0, 0, 0},
        {S_OK, S_OK, false, S_OK, 1, S_OK, 0, 0, 0},
        {S_OK, S_OK, true, kDenied, 1, S_OK, 0, 0, 0},
        {S_OK, S_OK, true, S_OK, 1, kDenied, 0, 0, 0},
    };
    FOR_EACH_CASE(c, cases) {
        wmi.createResult = c.create, wmi.connectResult = c.connect, wmi.offersSecurity = c.security;
        wmi.queryBlanketResult = c.query, wmi.level = c.level, wmi.setBlanketResult = c.set;
        EXPECT_EQ(c.result, WmiConnect(&connection, L"ROOT\\CIMV2"));
        if (c.result == 1) {
            EXPECT_EQ(L"ROOT\\CIMV2", wmi.nameSpace);
            EXPECT_EQ(static_cast<IWbemServices*>(&wmi), connection.services);
            EXPECT_EQ(static_cast<IWbemLocator*>(&wmi), connection.locator);
            std::vector<unsigned long> set = {10, 0, 0, c.setLevel, c.setImpersonation, 0, 0};
            EXPECT_EQ(set, wmi.blanket);
            EXPECT_EQ(1, WmiDisconnect(&connection));
        }
        EXPECT_EQ(nullptr, connection.services);
        EXPECT_EQ(nullptr, connection.locator);
        EXPECT_EQ(2u, wmi.refs); // the fixture's and the registration's
        ExpectOleBalanced();
    }
}

TEST_F(WmiStandIn, ProxyBlanketRaisesLevelNoneAndIgnoresCredentials) {
    struct {
        const wchar_t *user, *domain, *password;
        DWORD level;
        HRESULT set;
        int calls;
        unsigned long setLevel, setImpersonation;
    } cases[] = {
        {L"user", nullptr, nullptr, 1, S_OK, 1, 3, 2},
        {L"user", nullptr, nullptr, 6, S_OK, 0, 0, 0},
        {L"", L"domain", nullptr, 6, S_OK, 0, 0, 0},
        {nullptr, L"", L"secret", 6, S_OK, 0, 0, 0},
        {L"", L"", L"", 6, S_OK, 1, 6, 4},
        {nullptr, nullptr, nullptr, 5, kDenied, 1, 5, 4},
    };
    FOR_EACH_CASE(c, cases) {
        wmi.setBlanketResult = c.set, wmi.blankets = 0, wmi.blanket = {0, 0, 0, 0, 0, 0, 0};
        EXPECT_EQ(c.set, WmiSetProxyBlanket(&connection, static_cast<IWbemServices*>(&wmi), c.user,
                                            c.domain, c.password, c.level, 4));
        EXPECT_EQ(c.calls, wmi.blankets);
        std::vector<unsigned long> set = {c.calls * 10ul,     0, 0, c.setLevel,
                                          c.setImpersonation, 0, 0};
        EXPECT_EQ(set, wmi.blanket);
    }
}

TEST_F(WmiStandIn, ClassNamesBecomeQueriesAndSelectsRunUnchanged) {
    struct {
        const wchar_t *query, *property, *run;
        bool found;
    } cases[] = {
        {L"Sample", L"P", L"SELECT P from Sample", true},
        {L"Sample", nullptr, L"SELECT * from Sample", true},
        {L"SeLeCt P from Sample", L"P", L"SeLeCt P from Sample", true},
        {L"Selection", L"P", L"Selection", false},
        {L"SELEC", L"P", L"SELECT P from SELEC", false},
        {L"Empty", L"P", L"SELECT P from Empty", false},
    };
    wmi.Add(L"Sample", {Number(L"P", CIM_UINT32, VT_I4, 5)});
    wmi.instances[L"Empty"];
    Connect();
    FOR_EACH_CASE(c, cases) {
        std::uint32_t number = 0xDEADBEEF;
        WmiQuery* query = WmiOpenNumberQuery(&connection, c.query, c.property,
                                             c.property ? &number : nullptr, nullptr);
        EXPECT_EQ(c.run, wmi.query);
        EXPECT_EQ(L"WQL", wmi.language);
        EXPECT_EQ(c.found, query != nullptr);
        EXPECT_EQ(!c.property ? 0xDEADBEEF : c.found ? 5u : 0u, number);
        WmiCloseQuery(&connection, query);
    }
    EXPECT_EQ((LONG)WBEM_INFINITE, wmi.timeout);
}

// Numbers (size 0) take the integer and boolean types; texts take strings and dates held as
// texts, and come back cut with result 0 when they fill the buffer.
TEST_F(WmiStandIn, PropertiesReadAsNumbersOrTexts) {
    struct {
        Property property;
        std::uint32_t size;
        int result;
        std::uint32_t number;
        const char* text = nullptr;
    } cases[] = {
        {Number(L"P", CIM_SINT16, VT_I2, 12), 0, 1, 12},
        {Number(L"P", CIM_SINT32, VT_I4, -7), 0, 1, 0xFFFFFFF9},
        {Number(L"P", CIM_UINT16, VT_I4, 65535), 0, 1, 65535},
        {Number(L"P", CIM_UINT32, VT_I4, -1), 0, 1, 0xFFFFFFFF},
        {Number(L"P", CIM_BOOLEAN, VT_BOOL, VARIANT_TRUE), 0, 1, 1},
        {Number(L"P", CIM_BOOLEAN, VT_BOOL, VARIANT_FALSE), 0, 1, 0},
        {Number(L"P", CIM_UINT8, VT_UI1, 7), 0, 0, 0},
        {Text(L"P", L"12", CIM_SINT64), 0, 0, 0},
        {Null(L"P", CIM_UINT32), 0, 1, 0},
        {Number(L"Other", CIM_UINT32, VT_I4, 3), 0, 0, 0},
        {Text(L"P", L"20140101000000.000000+000", CIM_DATETIME), 26, 1, 0,
         "20140101000000.000000+000"},
        {Text(L"P", L"abcd"), 5, 1, 0, "abcd"},
        {Text(L"P", L"abcd"), 4, 0, 0, "abc"},
        {Text(L"P", L"abcd"), 1, 0, 0, ""},
        {Text(L"P", L"\u00e9t\u00e9"), 4, 0, 0, "\xc3\xa9t"},
        {Number(L"P", CIM_DATETIME, VT_I4, 1), 8, 0, 0, ""},
        {Number(L"P", CIM_STRING, VT_I4, 1), 8, 0, 0, ""},
        {Text(L"P", L"abc", CIM_REFERENCE), 8, 0, 0, ""},
        {Null(L"P", CIM_STRING), 2, 1, 0, ""},
    };
    Connect();
    FOR_EACH_CASE(c, cases) {
        wmi.Clear();
        wmi.Add(L"Sample", {c.property});
        char buffer[40];
        std::memset(buffer, 'x', sizeof buffer);
        std::uint32_t number = 0xDEADBEEF, isNull = 7;
        if (c.size == 0) {
            EXPECT_EQ(c.result, WmiQueryNumber(&connection, L"Sample", L"P", &number, &isNull));
            EXPECT_EQ(c.number, number);
        } else {
            EXPECT_EQ(c.result,
                      WmiQueryText(&connection, L"Sample", L"P", buffer, c.size, &isNull));
            EXPECT_STREQ(c.text, buffer);
            EXPECT_EQ('x', buffer[c.size]) << "written past the buffer";
        }
        EXPECT_EQ(c.property.vt == VT_NULL ? 1u : 0u, isNull);
    }
}

TEST_F(WmiStandIn, RecordsWalkObjectsAndSwapInOtherProperties) {
    wmi.Add(L"Sample", {Number(L"P", CIM_UINT32, VT_I4, 1), Text(L"Q", L"first")});
    wmi.Add(L"Sample", {Number(L"P", CIM_UINT32, VT_I4, 2), Text(L"Q", L"second")});
    Connect();
    std::uint32_t number = 0, other = 0;
    char text[16];
    WmiQuery* query = WmiOpenNumberQuery(&connection, L"Sample", L"P", &number, nullptr);
    ASSERT_NE(nullptr, query);
    EXPECT_EQ(1, WmiGetText(&connection, query, L"Q", text, sizeof text));
    EXPECT_STREQ("first", text);
    EXPECT_EQ(0, WmiGetText(&connection, query, L"Q", nullptr, 0)) << "a number record";
    EXPECT_EQ(1u, number);
    EXPECT_EQ(1, WmiNext(&connection, query));
    EXPECT_EQ(2u, number);
    EXPECT_EQ(1, WmiGetNumber(&connection, query, nullptr, &other));
    EXPECT_EQ(2u, other);
    number = 9;
    EXPECT_EQ(1, WmiGetNumber(&connection, query, nullptr, nullptr));
    EXPECT_EQ(2u, number);
    EXPECT_EQ(0, WmiStep(&connection, 3, query));
    EXPECT_EQ(0, WmiNext(&connection, query));
    EXPECT_EQ(0, WmiGetNumber(&connection, query, nullptr, nullptr)) << "no current object";
    EXPECT_EQ(1, WmiCloseQuery(&connection, query));

    query = WmiOpenTextQuery(&connection, L"Sample", nullptr, nullptr, 0, nullptr);
    ASSERT_NE(nullptr, query);
    EXPECT_EQ(1, WmiStep(&connection, 3, query)) << "nothing to read";
    EXPECT_EQ(0, WmiGetText(&connection, query, L"Q", text, 3));
    EXPECT_STREQ("fi", text);
    WmiCloseQuery(&connection, query);
    EXPECT_EQ(0, WmiStep(&connection, WMI_STEP_READ, nullptr));
}

TEST_F(WmiStandIn, MethodListsInParametersAndReturnsReturnValue) {
    AddMethod({Text(L"Text", L""), Null(L"Any", 12), Null(L"Small", 18), Null(L"Count", 19),
               Null(L"Vector", 0x1008), Null(L"List", 0x2008), Null(L"Ref", 0x400C),
               Null(L"Res", 0x8012), Null(L"Mixed", 0x3013)});
    Connect();
    EXPECT_EQ("Parameter: Text   Type=BSTR (0x8)\n"
              "Parameter: Any   Type=VARIANT (0xc)\n"
              "Parameter: Small   Type=UI2 (0x12)\n"
              "Parameter: Count   Type=unknown (0x13)\n"
              "Parameter: Vector   Type=VECTOR | BSTR (0x1008)\n"
              "Parameter: List   Type=ARRAY | BSTR (0x2008)\n"
              "Parameter: Ref   Type=BYREF | VARIANT (0x400c)\n"
              "Parameter: Res   Type=RESERVED | UI2 (0x8012)\n"
              "Parameter: Mixed   Type=unknown | unknown (0x3013)\n",
              Prepare(L"Run"));
    ASSERT_NE(nullptr, call);
    EXPECT_EQ(64, static_cast<Object*>(call->inParams)->enumerationFlags);
    EXPECT_EQ(7u, WmiExecMethod(&connection, call, 99));
    EXPECT_EQ(L"Proc.Id=1", wmi.path);
    EXPECT_EQ(L"Run", wmi.methodName);
    EXPECT_EQ(call->inParams, wmi.inParams);
    struct {
        HRESULT exec;
        Property returnValue;
        std::uint32_t result;
    } cases[] = {
        {WBEM_E_INVALID_METHOD, Number(L"ReturnValue", CIM_UINT32, VT_I4, 0), 99},
        {S_OK, Number(L"Other", CIM_UINT32, VT_I4, 0), 99},
        {S_OK, Null(L"ReturnValue", CIM_UINT32), 99},
        {S_OK, Number(L"ReturnValue", CIM_UINT32, VT_UI4, 0), 0},
    };
    FOR_EACH_CASE(c, cases) {
        wmi.execMethodResult = c.exec, wmi.returnValue = c.returnValue;
        EXPECT_EQ(c.result, WmiExecMethod(&connection, call, 99));
    }
    WmiFreeMethod(&call);
    EXPECT_EQ(nullptr, call);
}

TEST_F(WmiStandIn, MethodFailsWithoutClassPathDefinitionOrMethod) {
    enum Fault { None, NoClass, NullClass, NumberPath, NoDefinition, NoMethod, NoSpawn };
    const Fault cases[] = {NoClass, NullClass, NumberPath, NoDefinition, NoMethod, NoSpawn, None};
    AddMethod({});
    Connect();
    FOR_EACH_CASE(c, cases) {
        object->properties = {Text(L"__CLASS", c == NoDefinition ? L"Gone" : L"Proc"),
                              Text(L"__RELPATH", L"Proc.Id=1")};
        if (c == NoClass)
            object->properties.erase(object->properties.begin());
        if (c == NullClass)
            object->properties[0] = Null(L"__CLASS", CIM_STRING);
        if (c == NumberPath)
            object->properties[1] = Number(L"__RELPATH", CIM_STRING, VT_I4, 1);
        definition->inSignature->spawnResult = c == NoSpawn ? E_OUTOFMEMORY : S_OK;
        EXPECT_EQ("", Prepare(c == NoMethod ? L"Walk" : L"Run"));
        EXPECT_EQ(c == None, call != nullptr);
    }
    definition->inSignature->Release();
    definition->inSignature = nullptr;
    WmiFreeMethod(&call);
    EXPECT_EQ("", Prepare(L"Run")) << "a method without in-parameters";
    ASSERT_NE(nullptr, call);
    EXPECT_EQ(nullptr, call->inParams);
    EXPECT_EQ(7u, WmiExecMethod(&connection, call, 99));
    EXPECT_EQ(nullptr, wmi.inParams);
    WmiConnection none{nullptr, nullptr};
    EXPECT_EQ(nullptr, WmiPrepareMethod(&none, object, L"Run"));
}

} // namespace
#endif
