// The type library carried by a file (a COM library's output), read through the platform's
// OLE Automation services: what the manifest's COM sections need, in the library's own order.
#pragma once

#include "support/AppError.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace TypeLibReader {

// The number reported for a file that carries no type library at all.
inline constexpr std::uint32_t kNoTypeLibNumber = 0x80040202u;

struct CoClassInfo {
    std::wstring Name;
    std::wstring GUID; // braced registry form, upper case: {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
    bool IsControl = false; // the class is an ActiveX control (TYPEFLAG_FCONTROL)
    bool CanCreate = true;  // TYPEFLAG_FCANCREATE: a client may create it (no helper object)
};

enum class InterfaceKind {
    Custom,       // a vtable interface (TKIND_INTERFACE), oleautomation or not
    Dual,         // a dual interface, listed once as the library lists it
    DispatchOnly, // a pure dispinterface
};

struct InterfaceInfo {
    std::wstring Name;
    std::wstring GUID;
    InterfaceKind Kind = InterfaceKind::Custom;
    // Identifiers of the interfaces this one derives from, first item first; empty for an
    // interface that derives from nothing (IUnknown itself).
    std::vector<std::wstring> ImpliedInterfaces;
};

// A class as a component's own registration code wrote it, read back from the redirected
// registry.
struct RegisteredClass {
    std::wstring Clsid; // braced, upper case
    std::wstring ProgId;
    std::wstring VersionIndependentProgId;
    std::wstring ThreadingModel; // empty: the class registers none
    // MiscStatus: the key's own value, then the aspects 1 (content), 2 (thumbnail), 4 (icon) and
    // 8 (docprint); each absent when not registered.
    std::optional<std::uint32_t> MiscStatus[5];
};

// A ProgID key that a component's registration code wrote, with the class that the registry
// gives it: HKEY_CLASSES_ROOT\<Name>\CLSID, or for a name without one its CurVer's.
struct RegisteredProgId {
    std::wstring Name;
    std::wstring Clsid; // as registered, upper case
};

// What calling a component's DllRegisterServer gave.
struct Registration {
    enum class Outcome : std::uint32_t {
        Captured,     // it returned success; Classes holds what it registered for the file
        NoEntryPoint, // the file exports no DllRegisterServer
        Failed,       // it, or loading the file, failed with Number
    } How = Outcome::Captured;
    std::uint32_t Number = 0;
    std::vector<RegisteredClass> Classes;
    std::vector<RegisteredProgId> ProgIds; // every one that names a class, by name
};

// One loaded type library. Every reader may fail with an AppError carrying the platform's
// number and description.
class TypeLibInfo {
  public:
    virtual ~TypeLibInfo() = default;
    // The file the library was loaded from, as it was named.
    virtual std::wstring ContainingFile() const = 0;
    virtual std::wstring Name() const = 0;
    virtual std::wstring GUID() const = 0;
    virtual std::uint16_t MajorVersion() const = 0;
    virtual std::uint16_t MinorVersion() const = 0;
    virtual std::size_t CoClassCount() const = 0;
    virtual CoClassInfo CoClass(std::size_t index) const = 0; // 0-based, library order
    virtual std::size_t InterfaceCount() const = 0;
    virtual InterfaceInfo Interface(std::size_t index) const = 0; // 0-based, library order
};

// Loads the type library of the file without registering anything. A file without a type
// library: AppError kNoTypeLibNumber. Any other failure (missing or unreadable file, broken
// library): AppError with the platform's number and its description.
std::shared_ptr<const TypeLibInfo> TypeLibInfoFromFile(const std::wstring& FileName);

// One file for the reading process: its type library and, for a component named to have its
// registration captured, what its DllRegisterServer writes.
struct ReadRequest {
    std::wstring File;
    bool CaptureRegistration = false;
};
struct ReadResult {
    std::shared_ptr<const TypeLibInfo> TypeLib; // none when LoadError says why
    std::optional<AppError> LoadError;
    std::optional<Registration> Registered; // none: no registration was asked for or it was lost
    std::vector<std::wstring> Notes;        // a registration that failed, keys removed...
};
// How long the reading process may take over one file, its registration included, counted from
// when the file is handed to it.
inline constexpr std::uint32_t kReadLimitMs = 30000;

// Reading that goes on while the caller does other work: files are handed over as they become
// known (a program's components before its link, its output after) and read in order, in the
// background, by one reading process at a time, each file within LimitMs, with the rules of
// ReadFiles.
class Session {
  public:
    // StartNow starts the reading process at once, so that it is ready when the files come;
    // otherwise it starts when the first file with a type library needs it.
    explicit Session(std::uint32_t LimitMs = kReadLimitMs, bool StartNow = true);
    // Ends the reading process and everything it started, wherever it is; nothing stays behind.
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Reads these files after those handed over before.
    void Read(std::vector<ReadRequest> Requests);
    // Waits until every file handed over is read, then ends the reading process, which then
    // holds no file, mapping or module any more; the results in the order the files came.
    std::vector<ReadResult> Finish();

    struct State; // also what ReadFiles reads with

  private:
    std::unique_ptr<State> state_;
};
// Reads the files in order in one reading process, each within LimitMs; after a process that
// crashed, hung or answered garbage another one goes on with the files left. A file whose process
// ended while it was being read, after an earlier file of the same process was done, is read once
// more, alone, before it is blamed. A file without a type library resource gets LoadError
// kNoTypeLibNumber, and no process is started for it.
std::vector<ReadResult> ReadFiles(const std::vector<ReadRequest>& Requests,
                                  std::uint32_t LimitMs = kReadLimitMs);

} // namespace TypeLibReader
