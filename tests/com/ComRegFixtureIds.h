// The self-registering fixture library's identifiers as C++ sees them (ComRegFixture.idl declares
// the same, except VexHidden, which only the registration code names).
#pragma once

#include <windows.h>
#include <unknwn.h>

namespace regfixture {

// {7D05EBD9-9F9C-42B2-855A-CF17BAF91B4A}
inline constexpr GUID LIBID_VexmorRegFixture = {
    0x7D05EBD9, 0x9F9C, 0x42B2, {0x85, 0x5A, 0xCF, 0x17, 0xBA, 0xF9, 0x1B, 0x4A}};
// {7A46CF1E-6D23-4F55-86F1-73E153A50936}
inline constexpr GUID IID_IVexCounter = {
    0x7A46CF1E, 0x6D23, 0x4F55, {0x86, 0xF1, 0x73, 0xE1, 0x53, 0xA5, 0x09, 0x36}};
// {87FC7B95-4E60-4EF8-827C-5A44C7CDC1B7}
inline constexpr GUID CLSID_VexCounter = {
    0x87FC7B95, 0x4E60, 0x4EF8, {0x82, 0x7C, 0x5A, 0x44, 0xC7, 0xCD, 0xC1, 0xB7}};
// {1067494F-FEA5-4829-9AA2-D7656837605C}
inline constexpr GUID CLSID_VexDial = {
    0x1067494F, 0xFEA5, 0x4829, {0x9A, 0xA2, 0xD7, 0x65, 0x68, 0x37, 0x60, 0x5C}};
// {D53F69C2-9FA1-4C08-9295-93C6BAC816C0}
inline constexpr GUID CLSID_VexHidden = {
    0xD53F69C2, 0x9FA1, 0x4C08, {0x92, 0x95, 0x93, 0xC6, 0xBA, 0xC8, 0x16, 0xC0}};

struct IVexCounter : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Next(LONG* value) = 0;
};

} // namespace regfixture
