// ComClient.exe sta|mta [step...]: uses every class of the fixture library the way a program
// would, with nothing registered: the library is found through this program's manifest only.
// Given steps, it runs those alone, in order, on the counter classes of the self-registering
// fixture library (ComRegFixture.dll):
//   create:{clsid}    create the class for IVexCounter; its first Next() must give 1
//   progid:Name       the ProgID's class, created for IUnknown, must answer IVexCounter
//   progid:Name={clsid}  and its IPersist must name that class
//   status:{clsid}=N  OleRegGetMiscStatus(DVASPECT_CONTENT) must answer N
//   fixture           every class of the first fixture library, as without steps
//   actctx:file       the platform's loader must make an activation context of the manifest
// One line per step; exit code 0 when every step worked, otherwise the first failing HRESULT.
#include "ComFixtureIds.h"
#include "ComRegFixtureIds.h"

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>

namespace {

HRESULT g_failure = S_OK;

void Report(const char* step, HRESULT hr, const char* detail = "") {
    if (SUCCEEDED(hr)) {
        std::printf("ok   %s%s\n", step, detail);
    } else {
        std::printf("FAIL %s: 0x%08lX%s\n", step, static_cast<unsigned long>(hr), detail);
        if (SUCCEEDED(g_failure)) g_failure = hr;
    }
    std::fflush(stdout);
}

// A proxy manager answers IMultiQI, a plain in-apartment object of this library does not.
const char* Where(IUnknown* object) {
    IMultiQI* multi = nullptr;
    if (SUCCEEDED(object->QueryInterface(IID_IMultiQI, reinterpret_cast<void**>(&multi)))) {
        multi->Release();
        return " (through a proxy)";
    }
    return " (direct)";
}

HRESULT Expect(LONG got, LONG expected) {
    return got == expected ? S_OK : E_UNEXPECTED;
}

// The method by name, as a script would call it: arguments go in reverse order.
HRESULT CallByName(IDispatch* dispatch, const wchar_t* name, VARIANTARG* args, UINT count,
                   LONG* result) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    DISPPARAMS params = {args, nullptr, count, 0};
    VARIANT out;
    VariantInit(&out);
    UINT argError = 0;
    hr = dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &out,
                          nullptr, &argError);
    if (SUCCEEDED(hr)) hr = VariantChangeType(&out, &out, 0, VT_I4);
    if (SUCCEEDED(hr)) *result = out.lVal;
    VariantClear(&out);
    return hr;
}

void UseCalculator() {
    fixture::IVexCalculator* calculator = nullptr;
    HRESULT hr =
        CoCreateInstance(fixture::CLSID_VexCalculator, nullptr, CLSCTX_INPROC_SERVER,
                         fixture::IID_IVexCalculator, reinterpret_cast<void**>(&calculator));
    Report("VexCalculator: create", hr, SUCCEEDED(hr) ? Where(calculator) : "");
    if (FAILED(hr)) return;

    LONG sum = 0;
    hr = calculator->Add(2, 3, &sum);
    if (SUCCEEDED(hr)) hr = Expect(sum, 5);
    Report("VexCalculator: Add(2, 3) = 5 through the vtable", hr);

    IDispatch* dispatch = nullptr;
    hr = calculator->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch));
    if (SUCCEEDED(hr)) {
        VARIANTARG args[2];
        VariantInit(&args[0]);
        VariantInit(&args[1]);
        args[1].vt = VT_I4; // a
        args[1].lVal = 40;
        args[0].vt = VT_I4; // b
        args[0].lVal = 2;
        sum = 0;
        hr = CallByName(dispatch, L"Add", args, 2, &sum);
        if (SUCCEEDED(hr)) hr = Expect(sum, 42);
        dispatch->Release();
    }
    Report("VexCalculator: Add(40, 2) = 42 through IDispatch", hr);
    calculator->Release();
}

void UseDoubler() {
    fixture::IVexDoubler* doubler = nullptr;
    HRESULT hr = CoCreateInstance(fixture::CLSID_VexDoubler, nullptr, CLSCTX_INPROC_SERVER,
                                  fixture::IID_IVexDoubler, reinterpret_cast<void**>(&doubler));
    Report("VexDoubler: create", hr, SUCCEEDED(hr) ? Where(doubler) : "");
    if (FAILED(hr)) return;
    LONG twice = 0;
    hr = doubler->Twice(21, &twice);
    if (SUCCEEDED(hr)) hr = Expect(twice, 42);
    Report("VexDoubler: Twice(21) = 42 through the vtable", hr);
    doubler->Release();
}

// The status a container reads before it places an object: a control's, from the manifest's
// comClass element, or 0 for a plain object.
void ReadContentStatus(const char* step, const CLSID& clsid, DWORD expected) {
    DWORD status = 0xFFFFFFFF;
    HRESULT hr = OleRegGetMiscStatus(clsid, DVASPECT_CONTENT, &status);
    char detail[32];
    std::snprintf(detail, sizeof detail, " = %lu", static_cast<unsigned long>(status));
    Report(step,
           SUCCEEDED(hr) ? Expect(static_cast<LONG>(status), static_cast<LONG>(expected)) : hr,
           detail);
}

std::wstring Wide(const char* text) {
    int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::wstring wide(n > 0 ? n : 1, L'\0');
    if (n > 0) MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], n);
    wide.resize(n > 0 ? n - 1 : 0);
    return wide;
}

HRESULT UseCounter(const CLSID& clsid, const IID& iid, const char** where,
                   const CLSID& expected = CLSID_NULL) {
    IUnknown* object = nullptr;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid,
                                  reinterpret_cast<void**>(&object));
    if (FAILED(hr)) return hr;
    *where = Where(object);
    regfixture::IVexCounter* counter = nullptr;
    hr = object->QueryInterface(regfixture::IID_IVexCounter, reinterpret_cast<void**>(&counter));
    LONG value = 0;
    if (SUCCEEDED(hr)) hr = counter->Next(&value);
    if (SUCCEEDED(hr)) hr = Expect(value, 1);
    IPersist* persist = nullptr;
    CLSID actual = expected; // the class the object says it is
    if (SUCCEEDED(hr) && expected != CLSID_NULL)
        hr = object->QueryInterface(IID_IPersist, reinterpret_cast<void**>(&persist));
    if (persist && SUCCEEDED(hr = persist->GetClassID(&actual)) && actual != expected)
        hr = E_UNEXPECTED;
    if (persist) persist->Release();
    if (counter) counter->Release();
    object->Release();
    return hr;
}

// Every class of the first fixture library, as a program without steps uses them.
void UseFixtureLibrary() {
    UseCalculator();
    UseDoubler();
    ReadContentStatus("VexGauge: content status", fixture::CLSID_VexGauge, 131473);
    ReadContentStatus("VexDoubler: content status", fixture::CLSID_VexDoubler, 0);
}

void RunStep(const char* step) {
    const char* colon = std::strchr(step, ':');
    std::string kind = colon ? std::string(step, colon) : std::string(step);
    std::wstring what = Wide(colon ? colon + 1 : "");
    CLSID clsid = CLSID_NULL;
    const char* where = "";
    char detail[64] = "";
    HRESULT hr = E_INVALIDARG;
    if (kind == "create") {
        hr = CLSIDFromString(what.c_str(), &clsid);
        if (SUCCEEDED(hr)) hr = UseCounter(clsid, regfixture::IID_IVexCounter, &where);
    } else if (kind == "progid") {
        const size_t equals = what.find(L'=');
        CLSID expected = CLSID_NULL;
        hr = CLSIDFromProgID(what.substr(0, equals).c_str(), &clsid);
        if (SUCCEEDED(hr) && equals != std::wstring::npos)
            hr = CLSIDFromString(what.c_str() + equals + 1, &expected);
        if (SUCCEEDED(hr)) {
            // The identifier the name gave: under an activation context it need not be the
            // class's own.
            wchar_t text[40] = L"";
            StringFromGUID2(clsid, text, 40);
            std::snprintf(detail, sizeof detail, " = %ls", text);
            hr = UseCounter(clsid, IID_IUnknown, &where, expected);
        }
    } else if (kind == "fixture") {
        UseFixtureLibrary();
        return;
    } else if (kind == "actctx") {
        // The platform's loader must take the manifest as an activation context.
        ACTCTXW context{};
        context.cbSize = sizeof context;
        context.lpSource = what.c_str();
        HANDLE handle = CreateActCtxW(&context);
        hr = handle == INVALID_HANDLE_VALUE ? HRESULT_FROM_WIN32(GetLastError()) : S_OK;
        if (SUCCEEDED(hr)) ReleaseActCtx(handle);
    } else if (kind == "status") {
        size_t equals = what.find(L'=');
        if (equals != std::wstring::npos &&
            SUCCEEDED(CLSIDFromString(what.substr(0, equals).c_str(), &clsid))) {
            ReadContentStatus(step, clsid, std::wcstoul(what.c_str() + equals + 1, nullptr, 10));
            return;
        }
    }
    std::strncat(detail, where, sizeof detail - std::strlen(detail) - 1);
    Report(step, hr, detail);
}

} // namespace

int main(int argc, char** argv) {
    DWORD model = 0;
    if (argc >= 2 && std::strcmp(argv[1], "sta") == 0)
        model = COINIT_APARTMENTTHREADED;
    else if (argc >= 2 && std::strcmp(argv[1], "mta") == 0)
        model = COINIT_MULTITHREADED;
    else {
        std::printf(
            "usage: ComClient.exe sta|mta [create:{clsid}|progid:Name|status:{clsid}=N|fixture|"
            "actctx:file]...\n");
        return 2;
    }
    HRESULT hr = CoInitializeEx(nullptr, model);
    Report(model == COINIT_MULTITHREADED ? "CoInitializeEx(multi-threaded)"
                                         : "CoInitializeEx(apartment-threaded)",
           hr);
    if (FAILED(hr)) return static_cast<int>(hr);
    if (argc > 2) {
        for (int i = 2; i < argc; ++i) RunStep(argv[i]);
    } else {
        UseFixtureLibrary();
    }
    CoUninitialize();
    std::printf(SUCCEEDED(g_failure) ? "all steps succeeded\n" : "some steps failed\n");
    return static_cast<int>(g_failure);
}
