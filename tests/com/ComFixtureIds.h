// The fixture library's identifiers and interfaces as C++ sees them (ComFixture.idl declares the
// same; a mismatch makes the registration-free client fail, and the reader's test compares the
// built type library with both).
#pragma once

#include <windows.h>
#include <oaidl.h>

namespace fixture {

// {E85263CB-0463-4C54-B446-90446A8741EC}
inline constexpr GUID LIBID_VexmorComFixture = {
    0xE85263CB, 0x0463, 0x4C54, {0xB4, 0x46, 0x90, 0x44, 0x6A, 0x87, 0x41, 0xEC}};
// {4E2E8B3E-7337-4A25-9E11-48A450BB7419}
inline constexpr GUID IID_IVexCalculator = {
    0x4E2E8B3E, 0x7337, 0x4A25, {0x9E, 0x11, 0x48, 0xA4, 0x50, 0xBB, 0x74, 0x19}};
// {4BACBE1B-DF4F-4A80-B65B-F6307F7F6D72}
inline constexpr GUID IID_IVexDoubler = {
    0x4BACBE1B, 0xDF4F, 0x4A80, {0xB6, 0x5B, 0xF6, 0x30, 0x7F, 0x7F, 0x6D, 0x72}};
// {9BE4F9BF-8609-4CA8-BEE6-AFF1DA1479A0}
inline constexpr GUID DIID_DVexCalculatorEvents = {
    0x9BE4F9BF, 0x8609, 0x4CA8, {0xBE, 0xE6, 0xAF, 0xF1, 0xDA, 0x14, 0x79, 0xA0}};
// {07393F1C-73E1-4210-A426-F74F0C555430}
inline constexpr GUID CLSID_VexCalculator = {
    0x07393F1C, 0x73E1, 0x4210, {0xA4, 0x26, 0xF7, 0x4F, 0x0C, 0x55, 0x54, 0x30}};
// {53F7B757-F707-4230-8451-75403F34600F}
inline constexpr GUID CLSID_VexDoubler = {
    0x53F7B757, 0xF707, 0x4230, {0x84, 0x51, 0x75, 0x40, 0x3F, 0x34, 0x60, 0x0F}};

// {23BEA9FD-F8B5-4B51-BFD9-720D1CEA1C3C}
inline constexpr GUID CLSID_VexGauge = {
    0x23BEA9FD, 0xF8B5, 0x4B51, {0xBF, 0xD9, 0x72, 0x0D, 0x1C, 0xEA, 0x1C, 0x3C}};

struct IVexCalculator : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE Add(LONG a, LONG b, LONG* sum) = 0;
};

struct IVexDoubler : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Twice(LONG a, LONG* r) = 0;
};

} // namespace fixture
