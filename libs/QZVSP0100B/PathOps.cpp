#include "QZVSP0100B/PathOps.h"

#include "common/AsciiText.h"

#include <algorithm>
#include <vector>

namespace PathOps {
namespace {

bool IsSep(wchar_t c) {
    return c == L'\\' || c == L'/';
}

bool IsDriveLetter(wchar_t c) {
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

size_t NextSep(std::wstring_view name, size_t from) {
    while (from < name.size() && !IsSep(name[from])) ++from;
    return from;
}

// "\\server\share" from the given offset on: server, separator, share.
size_t UncRootEnd(std::wstring_view name, size_t serverStart) {
    size_t serverEnd = NextSep(name, serverStart);
    if (serverEnd >= name.size()) return serverEnd;
    return NextSep(name, serverEnd + 1);
}

bool StartsWithUnc(std::wstring_view rest) {
    return rest.size() >= 4 && AsciiText::Upper(rest[0]) == L'U' &&
           AsciiText::Upper(rest[1]) == L'N' && AsciiText::Upper(rest[2]) == L'C' && IsSep(rest[3]);
}

// Where the last part of the name begins: after the last separator, and never inside the root
// (so "C:Tool.exe" names "Tool.exe" and "\\srv\share" names nothing).
size_t NameStart(std::wstring_view name) {
    size_t slash = name.find_last_of(L"\\/");
    size_t start = slash == std::wstring_view::npos ? 0 : slash + 1;
    return std::max(start, RootOf(name).length);
}

// The dot before the extension of the last part, or npos. "." and ".." are folder references,
// not names with an empty extension.
size_t ExtensionDot(std::wstring_view name) {
    size_t start = NameStart(name);
    std::wstring_view last = name.substr(start);
    if (last.find_first_not_of(L'.') == std::wstring_view::npos) return std::wstring_view::npos;
    size_t dot = last.rfind(L'.');
    return dot == std::wstring_view::npos ? dot : start + dot;
}

// Folder and name with exactly one separator between them: the folder's own if it has one,
// else the name's, else a backslash.
std::wstring Join(std::wstring_view folder, std::wstring_view name) {
    if (folder.empty()) return std::wstring(name);
    if (name.empty()) return std::wstring(folder);
    size_t folderEnd = folder.size();
    while (folderEnd > 0 && IsSep(folder[folderEnd - 1])) --folderEnd;
    size_t nameStart = 0;
    while (nameStart < name.size() && IsSep(name[nameStart])) ++nameStart;
    wchar_t sep = folderEnd < folder.size() ? folder[folderEnd] : nameStart > 0 ? name[0] : L'\\';
    std::wstring joined(folder.substr(0, folderEnd));
    joined += sep;
    joined += name.substr(nameStart);
    return joined;
}

// A bare drive "C:" is that drive's current folder: "C:" and "x" make "C:x", not "C:\x".
std::wstring JoinToBase(std::wstring_view base, std::wstring_view name) {
    if (base.size() == 2 && RootOf(base).kind == RootKind::DriveRelative) {
        return std::wstring(base) + std::wstring(name);
    }
    return Join(base, name);
}

struct Segment {
    wchar_t sep; // the separator written before it; 0 for the first part right after the root
    std::wstring_view text;
};

// "." and ".." folded away. A rooted name never climbs above its root; a relative one keeps
// the ".." it cannot resolve.
std::wstring Fold(std::wstring_view path) {
    Root root = RootOf(path);
    std::wstring_view rest = path.substr(root.length);
    bool anchored = root.kind != RootKind::None && root.kind != RootKind::DriveRelative;

    std::vector<Segment> kept;
    wchar_t pendingSep = 0;
    size_t i = 0;
    while (i < rest.size()) {
        if (IsSep(rest[i])) {
            if (pendingSep == 0) pendingSep = rest[i];
            ++i;
            continue;
        }
        size_t end = NextSep(rest, i);
        Segment segment{pendingSep, rest.substr(i, end - i)};
        pendingSep = 0;
        i = end;
        if (segment.text == L".") continue;
        if (segment.text == L"..") {
            if (!kept.empty() && kept.back().text != L"..") {
                kept.pop_back();
                continue;
            }
            if (anchored) continue;
        }
        kept.push_back(segment);
    }

    std::wstring folded(path.substr(0, root.length));
    for (size_t k = 0; k < kept.size(); ++k) {
        // Only a UNC root needs a separator before its first part; the others end with one
        // or, being relative, must not get one.
        bool needSep = k > 0 || root.kind == RootKind::Unc;
        if (needSep) folded += kept[k].sep != 0 ? kept[k].sep : L'\\';
        folded += kept[k].text;
    }
    if (pendingSep != 0 && !kept.empty()) folded += pendingSep;
    return folded;
}

} // namespace

Root RootOf(std::wstring_view name) {
    if (name.size() >= 2 && IsSep(name[0]) && IsSep(name[1])) {
        // "\\?\" and "\\.\" lead to a drive, to "UNC\server\share" or to a device name.
        if (name.size() >= 4 && (name[2] == L'?' || name[2] == L'.') && IsSep(name[3])) {
            std::wstring_view rest = name.substr(4);
            if (StartsWithUnc(rest)) return {RootKind::Unc, UncRootEnd(name, 8)};
            if (rest.size() >= 2 && IsDriveLetter(rest[0]) && rest[1] == L':') {
                return {RootKind::DriveAbsolute, rest.size() >= 3 && IsSep(rest[2]) ? 7u : 6u};
            }
            return {RootKind::Unc, NextSep(name, 4)};
        }
        return {RootKind::Unc, UncRootEnd(name, 2)};
    }
    if (name.size() >= 2 && IsDriveLetter(name[0]) && name[1] == L':') {
        if (name.size() >= 3 && IsSep(name[2])) return {RootKind::DriveAbsolute, 3};
        return {RootKind::DriveRelative, 2};
    }
    if (!name.empty() && IsSep(name[0])) return {RootKind::RootRelative, 1};
    return {RootKind::None, 0};
}

bool IsAbsolute(std::wstring_view name) {
    RootKind kind = RootOf(name).kind;
    return kind == RootKind::DriveAbsolute || kind == RootKind::Unc;
}

std::wstring ReplaceFileExtension(std::wstring_view fileName, std::wstring_view newExtension) {
    size_t dot = ExtensionDot(fileName);
    std::wstring replaced(fileName.substr(0, dot));
    // An empty new extension takes the old one away instead of leaving a bare dot.
    if (!newExtension.empty()) {
        replaced += L'.';
        replaced += newExtension;
    }
    return replaced;
}

std::wstring GetFileExtension(std::wstring_view fileName) {
    size_t dot = ExtensionDot(fileName);
    return dot == std::wstring_view::npos ? std::wstring() : std::wstring(fileName.substr(dot + 1));
}

std::wstring GetFileName(std::wstring_view path, bool withoutExtension) {
    size_t start = NameStart(path);
    size_t end = withoutExtension ? ExtensionDot(path) : std::wstring_view::npos;
    return std::wstring(path.substr(start, end == std::wstring_view::npos ? end : end - start));
}

std::wstring GetFilePath(std::wstring_view fileName) {
    Root root = RootOf(fileName);
    size_t start = NameStart(fileName);
    if (start <= root.length) return std::wstring(fileName.substr(0, root.length));
    size_t end = start - 1;
    while (end > root.length && IsSep(fileName[end - 1])) --end;
    return std::wstring(fileName.substr(0, end));
}

std::wstring GetAbsoluteFileName(std::wstring_view fileName, std::wstring_view baseFolder) {
    Root root = RootOf(fileName);
    if (root.kind == RootKind::DriveAbsolute || root.kind == RootKind::Unc) {
        return std::wstring(fileName);
    }
    Root baseRoot = RootOf(baseFolder);
    bool baseHasDrive =
        baseRoot.kind == RootKind::DriveAbsolute || baseRoot.kind == RootKind::DriveRelative;
    std::wstring combined;
    switch (root.kind) {
    case RootKind::RootRelative:
        // "\x" lives on the base's drive or share.
        if (baseHasDrive) {
            combined = std::wstring(baseFolder.substr(0, 2)) + std::wstring(fileName);
        } else if (baseRoot.kind == RootKind::Unc) {
            combined = std::wstring(baseFolder.substr(0, baseRoot.length)) + std::wstring(fileName);
        } else {
            combined = fileName;
        }
        break;
    case RootKind::DriveRelative:
        // "C:x" is relative to the base only when the base is on that drive; we cannot know
        // another drive's current folder, so its root stands in for it.
        if (baseHasDrive && AsciiText::Upper(baseFolder[0]) == AsciiText::Upper(fileName[0])) {
            combined = JoinToBase(baseFolder, fileName.substr(2));
        } else {
            combined =
                std::wstring(fileName.substr(0, 2)) + L'\\' + std::wstring(fileName.substr(2));
        }
        break;
    default:
        combined = JoinToBase(baseFolder, fileName);
        break;
    }
    return Fold(combined);
}

std::wstring BuildFileName(std::wstring_view folder, std::wstring_view fileName, bool quote) {
    std::wstring joined = Join(folder, fileName);
    return quote ? L'"' + joined + L'"' : joined;
}

std::wstring BuildFileName2(std::initializer_list<std::wstring_view> parts) {
    std::wstring joined;
    for (std::wstring_view part : parts) joined = Join(joined, part);
    return joined;
}

std::wstring Hex2(std::uint16_t value) {
    static const wchar_t kDigits[] = L"0123456789ABCDEF";
    std::wstring text(4, L'0');
    for (size_t i = 4; i > 0; --i) {
        text[i - 1] = kDigits[value & 0xF];
        value = static_cast<std::uint16_t>(value >> 4);
    }
    return text;
}

} // namespace PathOps
