// The type library carried by a file (a COM library's output), read through the platform's
// OLE Automation services: what the manifest's COM sections need, in the library's own order.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace TypeLibReader {

// The number reported for a file that carries no type library at all.
inline constexpr std::uint32_t kNoTypeLibNumber = 0x80040202u;

struct CoClassInfo {
    std::wstring Name;
    std::wstring GUID; // braced registry form, upper case: {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
    bool IsControl = false; // the class is an ActiveX control (TYPEFLAG_FCONTROL)
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
std::unique_ptr<TypeLibInfo> TypeLibInfoFromFile(const std::wstring& FileName);

} // namespace TypeLibReader
