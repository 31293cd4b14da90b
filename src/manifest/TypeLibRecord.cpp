#include "manifest/TypeLibRecord.h"

#include "support/AppError.h"

#include <bit>
#include <cstring>
#include <utility>

namespace TypeLibRecord {
namespace {

using TypeLibReader::CoClassInfo;
using TypeLibReader::InterfaceInfo;
using TypeLibReader::InterfaceKind;

constexpr char kMagic[] = "VXTLR4";
constexpr std::size_t kMagicSize = sizeof kMagic - 1;

// Little-endian 32-bit words; a string is its length in UTF-16 code units and the units, two
// little-endian bytes each, so the same bytes mean the same text whatever the width of wchar_t.
// Where wchar_t is such a unit (Windows) a text is copied whole; elsewhere (wchar_t holding code
// points) it is encoded and decoded.
constexpr bool kWideIsUtf16 = sizeof(wchar_t) == 2 && std::endian::native == std::endian::little;

constexpr bool IsHighSurrogate(std::uint32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
constexpr bool IsLowSurrogate(std::uint32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}
// Past U+FFFF: two units, a surrogate pair.
constexpr bool IsSupplementary(std::uint32_t point) {
    return point - 0x10000 < 0x100000;
}

class Writer {
  public:
    void Word(std::uint32_t value) {
        const char bytes[4] = {
            static_cast<char>(value & 0xFF), static_cast<char>(value >> 8 & 0xFF),
            static_cast<char>(value >> 16 & 0xFF), static_cast<char>(value >> 24)};
        bytes_.append(bytes, 4);
    }
    void Text(const std::wstring& text) {
        if constexpr (kWideIsUtf16) {
            Word(static_cast<std::uint32_t>(text.size()));
            bytes_.append(reinterpret_cast<const char*>(text.data()), 2 * text.size());
        } else {
            std::size_t units = text.size();
            for (wchar_t c : text) units += IsSupplementary(static_cast<std::uint32_t>(c)) ? 1 : 0;
            Word(static_cast<std::uint32_t>(units));
            std::size_t at = bytes_.size();
            bytes_.resize(at + 2 * units);
            auto put = [&](std::uint32_t unit) {
                bytes_[at++] = static_cast<char>(unit & 0xFF);
                bytes_[at++] = static_cast<char>(unit >> 8);
            };
            for (wchar_t c : text) {
                const auto point = static_cast<std::uint32_t>(c);
                if (IsSupplementary(point)) {
                    put(0xD800 + ((point - 0x10000) >> 10));
                    put(0xDC00 + (point & 0x3FF));
                } else {
                    // No UTF-16 for a lone surrogate or a value past U+10FFFF: the replacement.
                    put(point > 0xFFFF || IsHighSurrogate(point) || IsLowSurrogate(point) ? 0xFFFD
                                                                                          : point);
                }
            }
        }
    }
    void Put(const std::wstring& text) { Text(text); }
    void Put(std::uint16_t value) { Word(value); }
    void Put(const CoClassInfo& info) {
        Text(info.Name);
        Text(info.GUID);
        Word(info.IsControl ? 1 : 0);
        Word(info.CanCreate ? 1 : 0);
    }
    void Put(const InterfaceInfo& info) {
        Text(info.Name);
        Text(info.GUID);
        Word(static_cast<std::uint32_t>(info.Kind));
        Word(static_cast<std::uint32_t>(info.ImpliedInterfaces.size()));
        for (const auto& base : info.ImpliedInterfaces) Text(base);
    }
    void Put(const Failure& failure) {
        Word(failure.Number);
        Text(failure.Description);
    }
    void Put(const RegisteredClass& c) {
        Text(c.Clsid);
        Text(c.ProgId);
        Text(c.VersionIndependentProgId);
        Text(c.ThreadingModel);
        for (const auto& status : c.MiscStatus) {
            Word(status ? 1 : 0);
            Word(status.value_or(0));
        }
    }
    void Put(const RegisteredProgId& p) {
        Text(p.Name);
        Text(p.Clsid);
    }
    template <class T> void Put(const Fallible<T>& item) {
        Word(item.Value ? 1 : 0);
        if (item.Value)
            Put(*item.Value);
        else
            Put(item.Error);
    }
    template <class T> void Put(const std::vector<T>& items) {
        Word(static_cast<std::uint32_t>(items.size()));
        for (const auto& item : items) Put(item);
    }
    std::string bytes_;
};

// Every read checks what is left, so no count or length can reach past the end.
class Reader {
  public:
    explicit Reader(const std::string& bytes) : bytes_(bytes) {}
    bool Word(std::uint32_t& value) {
        if (bytes_.size() - pos_ < 4) return false;
        value = 0;
        for (int i = 0; i < 4; ++i)
            value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes_[pos_ + i]))
                     << (8 * i);
        pos_ += 4;
        return true;
    }
    // A count of items each at least minSize bytes long, which the rest must be able to hold.
    bool Count(std::uint32_t& count, std::size_t minSize) {
        return Word(count) && count <= (bytes_.size() - pos_) / minSize;
    }
    bool Text(std::wstring& text) {
        std::uint32_t units = 0;
        if (!Count(units, 2)) return false;
        const char* in = bytes_.data() + pos_;
        pos_ += 2 * std::size_t{units};
        if constexpr (kWideIsUtf16) {
            text.resize(units);
            std::memcpy(text.data(), in, 2 * std::size_t{units});
            return true;
        } else {
            auto unit = [&](std::uint32_t i) {
                return static_cast<std::uint32_t>(static_cast<unsigned char>(in[2 * i])) |
                       static_cast<std::uint32_t>(static_cast<unsigned char>(in[2 * i + 1])) << 8;
            };
            text.resize(units);
            std::size_t length = 0;
            for (std::uint32_t i = 0; i < units; ++i) {
                std::uint32_t point = unit(i);
                if (IsLowSurrogate(point)) return false;
                if (IsHighSurrogate(point)) {
                    if (++i == units || !IsLowSurrogate(unit(i))) return false;
                    point = 0x10000 + ((point - 0xD800) << 10) + (unit(i) - 0xDC00);
                }
                text[length++] = static_cast<wchar_t>(point);
            }
            text.resize(length);
            return true;
        }
    }
    bool Get(std::wstring& text) { return Text(text); }
    bool Get(std::uint16_t& value) {
        std::uint32_t word = 0;
        if (!Word(word) || word > 0xFFFF) return false;
        value = static_cast<std::uint16_t>(word);
        return true;
    }
    bool Get(CoClassInfo& info) {
        std::uint32_t control = 0, create = 0;
        if (!Text(info.Name) || !Text(info.GUID) || !Word(control) || control > 1 ||
            !Word(create) || create > 1)
            return false;
        info.IsControl = control == 1;
        info.CanCreate = create == 1;
        return true;
    }
    bool Get(InterfaceInfo& info) {
        std::uint32_t kind = 0;
        if (!Text(info.Name) || !Text(info.GUID) || !Word(kind) ||
            kind > static_cast<std::uint32_t>(InterfaceKind::DispatchOnly))
            return false;
        info.Kind = static_cast<InterfaceKind>(kind);
        return Get(info.ImpliedInterfaces);
    }
    bool Get(Failure& failure) { return Word(failure.Number) && Text(failure.Description); }
    bool Get(RegisteredClass& c) {
        if (!Text(c.Clsid) || !Text(c.ProgId) || !Text(c.VersionIndependentProgId) ||
            !Text(c.ThreadingModel))
            return false;
        for (auto& status : c.MiscStatus) {
            std::uint32_t present = 0, value = 0;
            if (!Word(present) || !Word(value) || present > 1) return false;
            if (present) status = value;
        }
        return true;
    }
    bool Get(RegisteredProgId& p) { return Text(p.Name) && Text(p.Clsid); }
    template <class T> bool Get(Fallible<T>& item) {
        std::uint32_t hasValue = 0;
        if (!Word(hasValue) || hasValue > 1) return false;
        if (hasValue == 0) return Get(item.Error);
        T value{};
        if (!Get(value)) return false;
        item.Value = std::move(value);
        return true;
    }
    template <class T> bool Get(std::vector<T>& items) {
        std::uint32_t count = 0;
        if (!Count(count, 4)) return false;
        items.resize(count);
        for (auto& item : items)
            if (!Get(item)) return false;
        return true;
    }
    bool Magic() {
        if (bytes_.compare(0, kMagicSize, kMagic) != 0) return false;
        pos_ = kMagicSize;
        return true;
    }
    bool AtEnd() const { return pos_ == bytes_.size(); }

  private:
    const std::string& bytes_;
    std::size_t pos_ = 0;
};

template <class T> const T& ValueOf(const Fallible<T>& item) {
    if (!item.Value) throw AppError(item.Error.Number, item.Error.Description);
    return *item.Value;
}

template <class T> const T& Item(const std::vector<Fallible<T>>& items, std::size_t index) {
    if (index >= items.size())
        throw AppError(kInvalidArgumentNumber,
                       L"Недопустимый вызов процедуры или недопустимый аргумент.");
    return ValueOf(items[index]);
}

class RecordInfo final : public TypeLibReader::TypeLibInfo {
  public:
    RecordInfo(std::wstring file, Record record)
        : file_(std::move(file)), record_(std::move(record)) {}
    std::wstring ContainingFile() const override { return file_; }
    std::wstring Name() const override { return ValueOf(record_.Name); }
    std::wstring GUID() const override { return ValueOf(record_.GUID); }
    std::uint16_t MajorVersion() const override { return ValueOf(record_.MajorVersion); }
    std::uint16_t MinorVersion() const override { return ValueOf(record_.MinorVersion); }
    std::size_t CoClassCount() const override { return record_.CoClasses.size(); }
    CoClassInfo CoClass(std::size_t index) const override { return Item(record_.CoClasses, index); }
    std::size_t InterfaceCount() const override { return record_.Interfaces.size(); }
    InterfaceInfo Interface(std::size_t index) const override {
        return Item(record_.Interfaces, index);
    }

  private:
    std::wstring file_;
    Record record_;
};

} // namespace

std::string Serialize(const Record& record) {
    Writer out;
    out.bytes_ = kMagic;
    out.Word(record.LoadError ? 1 : 0);
    if (record.LoadError) {
        out.Put(*record.LoadError);
        return out.bytes_;
    }
    out.Put(record.Name);
    out.Put(record.GUID);
    out.Put(record.MajorVersion);
    out.Put(record.MinorVersion);
    out.Put(record.CoClasses);
    out.Put(record.Interfaces);
    return out.bytes_;
}

bool Parse(const std::string& bytes, Record& record) {
    Reader in(bytes);
    Record result;
    std::uint32_t loadFailed = 0;
    if (!in.Magic() || !in.Word(loadFailed) || loadFailed > 1) return false;
    if (loadFailed) {
        Failure failure;
        if (!in.Get(failure)) return false;
        result.LoadError = std::move(failure);
    } else if (!in.Get(result.Name) || !in.Get(result.GUID) || !in.Get(result.MajorVersion) ||
               !in.Get(result.MinorVersion) || !in.Get(result.CoClasses) ||
               !in.Get(result.Interfaces)) {
        return false;
    }
    if (!in.AtEnd()) return false;
    record = std::move(result);
    return true;
}

std::string Serialize(const Registration& registration) {
    Writer out;
    out.Word(static_cast<std::uint32_t>(registration.How));
    out.Word(registration.Number);
    out.Put(registration.Classes);
    out.Put(registration.ProgIds);
    return out.bytes_;
}

bool Parse(const std::string& bytes, Registration& registration) {
    Reader in(bytes);
    Registration result;
    std::uint32_t how = 0;
    if (!in.Word(how) || how > static_cast<std::uint32_t>(Registration::Outcome::Failed) ||
        !in.Word(result.Number) || !in.Get(result.Classes) || !in.Get(result.ProgIds) ||
        !in.AtEnd())
        return false;
    result.How = static_cast<Registration::Outcome>(how);
    registration = std::move(result);
    return true;
}

std::string FrameBytes(FrameKind kind, std::uint32_t request, const std::string& bytes) {
    Writer out;
    out.Word(static_cast<std::uint32_t>(kind));
    out.Word(request);
    out.Word(static_cast<std::uint32_t>(bytes.size()));
    return out.bytes_ + bytes;
}

std::string SerializeTexts(const std::vector<std::wstring>& texts) {
    Writer out;
    out.Put(texts);
    return out.bytes_;
}

bool ParseTexts(const std::string& bytes, std::vector<std::wstring>& texts) {
    Reader in(bytes);
    return in.Get(texts) && in.AtEnd();
}

std::vector<Frame> TakeFrames(std::string& bytes) {
    constexpr std::size_t kHead = 12;
    std::vector<Frame> frames;
    std::size_t at = 0;
    while (bytes.size() - at >= kHead) {
        const std::string head = bytes.substr(at, kHead);
        Reader in(head);
        std::uint32_t kind = 0, request = 0, size = 0;
        in.Word(kind);
        in.Word(request);
        in.Word(size);
        if (bytes.size() - at - kHead < size) break;
        frames.push_back({static_cast<FrameKind>(kind), request, bytes.substr(at + kHead, size)});
        at += kHead + size;
    }
    bytes.erase(0, at);
    return frames;
}

std::unique_ptr<TypeLibReader::TypeLibInfo> InfoFromRecord(std::wstring containingFile,
                                                           Record record) {
    if (record.LoadError) throw AppError(record.LoadError->Number, record.LoadError->Description);
    return std::make_unique<RecordInfo>(std::move(containingFile), std::move(record));
}

} // namespace TypeLibRecord
