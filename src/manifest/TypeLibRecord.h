// A type library's view as plain data: what the reader child hands its parent through a pipe.
// Each member holds its value or the error reading it failed with, so the parent reports a
// failing member exactly where an in-process read would have.
#pragma once

#include "manifest/TypeLibReader.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace TypeLibRecord {

struct Failure {
    std::uint32_t Number = 0;
    std::wstring Description;
};

template <class T> struct Fallible {
    std::optional<T> Value;
    Failure Error; // meaningful only without a value
};

struct Record {
    std::optional<Failure> LoadError; // the library could not be loaded at all
    Fallible<std::wstring> Name;
    Fallible<std::wstring> GUID;
    Fallible<std::uint16_t> MajorVersion;
    Fallible<std::uint16_t> MinorVersion;
    std::vector<Fallible<TypeLibReader::CoClassInfo>> CoClasses;
    std::vector<Fallible<TypeLibReader::InterfaceInfo>> Interfaces;
};

std::string Serialize(const Record& record);
// False for anything Serialize did not write: truncated, padded or garbage bytes.
bool Parse(const std::string& bytes, Record& record);

using TypeLibReader::RegisteredClass;
using TypeLibReader::RegisteredProgId;
using TypeLibReader::Registration;

std::string Serialize(const Registration& registration);
bool Parse(const std::string& bytes, Registration& registration);

// What passes between the program and its reading process: frames of a kind, the number of the
// request they belong to, and bytes. Each goes whole, so that what came before a crash is kept
// and nothing is taken for another request's.
enum class FrameKind : std::uint32_t {
    TypeLib = 1,          // a Record
    KeysBefore = 2,       // the identifier keys that existed before registration ran (texts)
    Registration = 3,     // a Registration
    Done = 4,             // the request is answered (no bytes)
    ReadTypeLib = 16,     // a request: the file's type library (its name as texts)
    ReadAndRegister = 17, // a request: the type library, then the registration captured
};
struct Frame {
    FrameKind Kind;
    std::uint32_t Request;
    std::string Bytes;
};
std::string FrameBytes(FrameKind kind, std::uint32_t request, const std::string& bytes);
std::string SerializeTexts(const std::vector<std::wstring>& texts);
bool ParseTexts(const std::string& bytes, std::vector<std::wstring>& texts);
// Takes every whole frame from the start of the bytes, in order; a cut last frame (more to come,
// or a killed writer) stays.
std::vector<Frame> TakeFrames(std::string& bytes);

// The library view over a record; a member that failed throws its AppError when read. A record
// with a load error throws that error here.
std::unique_ptr<TypeLibReader::TypeLibInfo> InfoFromRecord(std::wstring containingFile,
                                                           Record record);

} // namespace TypeLibRecord
