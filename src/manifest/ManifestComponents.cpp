// The sections of the COM components that a program names (COM:, COMTLB:): each one's file
// element with its classes, type library and ProgIDs, and its interfaces' proxy entries, with
// nothing that the document already holds written twice.
#include "manifest/modManifestConstructor.h"

#include "manifest/modCommon.h"
#include "support/AppError.h"

#include <algorithm>
#include <cwchar>
#include <iterator>

namespace modManifestConstructor {

using ManifestXml::Attribute;
using modCommon::csEscapeHTML;
using modCommon::Element;
using modCommon::Upper;
using TypeLibReader::TypeLibInfo;

namespace {

// What the document holds already: identifiers upper-cased, so that letter case never makes two.
struct Written {
    std::vector<std::wstring> Classes, Interfaces, TypeLibs, ProgIds;

    static bool Has(const std::vector<std::wstring>& set, const std::wstring& id) {
        return std::find(set.begin(), set.end(), Upper(id)) != set.end();
    }
    // True when new; a repeat is a note instead.
    static bool Add(std::vector<std::wstring>& set, const std::wstring& id,
                    const std::wstring& what, const std::wstring& file,
                    std::vector<std::wstring>& notes) {
        if (Has(set, id)) {
            notes.push_back(what + L" из " + Quoted(file) +
                            L": уже есть в манифесте, повтор пропущен.");
            return false;
        }
        set.push_back(Upper(id));
        return true;
    }
};

// The output's own library, as its own builders write it. What cannot be read is left to them
// to report.
Written OwnIdentifiers(const TypeLibInfo* lib) {
    Written written;
    if (!lib) return written;
    auto add = [](std::vector<std::wstring>& set, const auto& read) {
        try {
            set.push_back(Upper(read()));
        } catch (const AppError&) {
        }
    };
    add(written.TypeLibs, [&] { return lib->GUID(); });
    for (std::size_t i = 0; i < lib->CoClassCount(); ++i) {
        add(written.Classes, [&] { return lib->CoClass(i).GUID; });
        add(written.ProgIds, [&] { return lib->Name() + L"." + lib->CoClass(i).Name; });
    }
    for (std::size_t i = 0; i < lib->InterfaceCount(); ++i)
        add(written.Interfaces, [&] { return lib->Interface(i).GUID; });
    return written;
}

bool KnownThreadingModel(const std::wstring& model) {
    for (const wchar_t* known : {L"Apartment", L"Both", L"Free", L"Neutral"})
        if (Upper(model) == Upper(known)) return true;
    return false;
}

// One class's element: its ProgIDs (the attribute, then the children), and the threading model
// and status that its registration gives, or the type library's defaults without one.
std::wstring ComClassElement(const std::wstring& clsid, const std::wstring& progId,
                             std::vector<std::wstring> more,
                             const TypeLibReader::RegisteredClass* registered, bool control,
                             const std::wstring& file, Written& written,
                             std::vector<std::wstring>& notes) {
    std::vector<Attribute> attributes = {{L"clsid", clsid}};
    auto isNew = [&](const std::wstring& name) {
        return Written::Add(written.ProgIds, name, L"ProgID " + Quoted(name) + L" класса " + clsid,
                            file, notes);
    };
    if (!progId.empty() && isNew(progId)) attributes.push_back({L"progid", progId});
    std::erase_if(more, [&](const std::wstring& name) { return !isNew(name); });
    if (!registered) {
        attributes.push_back({L"threadingModel", L"Apartment"});
    } else if (KnownThreadingModel(registered->ThreadingModel)) {
        attributes.push_back({L"threadingModel", registered->ThreadingModel});
    }
    const bool hasStatus =
        registered &&
        std::any_of(std::begin(registered->MiscStatus), std::end(registered->MiscStatus),
                    [](const auto& status) { return status.has_value(); });
    if (hasStatus) {
        const wchar_t* names[] = {L"miscStatus", L"miscStatusContent", L"miscStatusThumbnail",
                                  L"miscStatusIcon", L"miscStatusDocPrint"};
        for (int aspect = 0; aspect < 5; ++aspect) {
            if (!registered->MiscStatus[aspect]) continue;
            std::uint32_t unknown = 0;
            const std::wstring flags =
                modCommon::MiscStatusNames(*registered->MiscStatus[aspect], &unknown);
            if (unknown) {
                wchar_t bits[16] = {};
                std::swprintf(bits, 16, L"0x%08X", static_cast<unsigned>(unknown));
                notes.push_back(L"Неизвестные биты " + std::wstring(bits) + L" в " + names[aspect] +
                                L" класса " + clsid + L" из " + Quoted(file) + L" пропущены.");
            }
            if (!flags.empty()) attributes.push_back({names[aspect], flags});
        }
    } else if (control) {
        attributes.push_back(
            {L"miscStatusContent", modCommon::MiscStatusNames(kControlContentStatus)});
    }
    if (more.empty()) return Element(4, L"comClass", attributes) + kFileSeparator;
    std::wstring text = Element(4, L"comClass", attributes, L">");
    for (const std::wstring& name : more)
        text += L"      <progid>" + csEscapeHTML(name) + L"</progid>\r\n";
    return text + L"    </comClass>\r\n" + kFileSeparator;
}

// A registered class's element with the ProgIDs that the registry gives it, as the platform
// resolves a name: the class's own one as the attribute, every other one (its version-independent
// one first) as a child. A name the class claims that the registry gives another class is a note.
std::wstring RegisteredClassElement(const TypeLibReader::RegisteredClass& c, bool control,
                                    const TypeLibReader::Registration& registration,
                                    const std::wstring& file, Written& written,
                                    std::vector<std::wstring>& notes) {
    auto classOf = [&](const std::wstring& name) {
        for (const auto& p : registration.ProgIds)
            if (Upper(p.Name) == Upper(name)) return Upper(p.Clsid);
        return std::wstring();
    };
    const std::wstring clsid = Upper(c.Clsid);
    std::wstring progId;
    std::vector<std::wstring> more;
    for (const std::wstring* named : {&c.ProgId, &c.VersionIndependentProgId}) {
        if (named->empty() || (named != &c.ProgId && Upper(*named) == Upper(c.ProgId))) continue;
        const std::wstring to = classOf(*named);
        if (to == clsid) {
            if (named == &c.ProgId)
                progId = *named;
            else
                more.push_back(*named);
            continue;
        }
        // A name the registry gives a class that this file does not make: noted with the file.
        const bool moved = std::any_of(registration.Classes.begin(), registration.Classes.end(),
                                       [&](const auto& o) { return Upper(o.Clsid) == to; });
        if (!moved && !to.empty()) continue;
        notes.push_back(L"ProgID " + Quoted(*named) + L" класса " + c.Clsid + L" из " +
                        Quoted(file) + L": реестр " +
                        (moved
                             ? L"связывает это имя с классом " + to + L"; ProgID перенесён к нему."
                             : L"не связывает это имя ни с одним классом; ProgID пропущен."));
    }
    for (const auto& p : registration.ProgIds) {
        const std::wstring name = Upper(p.Name);
        if (Upper(p.Clsid) == clsid && name != Upper(progId) &&
            std::none_of(more.begin(), more.end(), [&](const auto& m) { return Upper(m) == name; }))
            more.push_back(p.Name);
    }
    return ComClassElement(c.Clsid, progId, std::move(more), &c, control, file, written, notes);
}

// A captured registration says which classes the file has and their ProgIDs; without one the
// type library does, its non-creatable classes aside.
std::wstring ComponentFile(const Component& component, Written& written,
                           std::vector<std::wstring>& notes) {
    const TypeLibInfo& lib = *component.TypeLib;
    const bool captured =
        component.Registered &&
        component.Registered->How == TypeLibReader::Registration::Outcome::Captured;
    const std::vector<TypeLibReader::RegisteredClass> none;
    const auto& registered = captured ? component.Registered->Classes : none;
    auto registration = [&](const std::wstring& clsid) -> const TypeLibReader::RegisteredClass* {
        for (const auto& c : registered)
            if (Upper(c.Clsid) == Upper(clsid)) return &c;
        return nullptr;
    };
    std::wstring text = L"  <file name=" + Quoted(csEscapeHTML(component.Name)) + L">\r\n";
    text += kFileSeparator;
    std::vector<std::wstring> listed;
    const std::wstring libraryName = lib.CoClassCount() ? lib.Name() : std::wstring();
    for (std::size_t i = 0; i < lib.CoClassCount(); ++i) {
        const TypeLibReader::CoClassInfo coClass = lib.CoClass(i);
        listed.push_back(Upper(coClass.GUID));
        const TypeLibReader::RegisteredClass* c = registration(coClass.GUID);
        if (captured ? !c : !coClass.CanCreate) {
            notes.push_back(L"Класс " + coClass.GUID + L" (" + coClass.Name + L") из " +
                            Quoted(component.File) +
                            (captured ? L": есть в библиотеке типов, но регистрация компонента не "
                                        L"связывает его с этим файлом; класс пропущен."
                                      : L": библиотека типов помечает его как несоздаваемый; "
                                        L"класс пропущен."));
            continue;
        }
        if (!Written::Add(written.Classes, coClass.GUID, L"Класс " + coClass.GUID, component.File,
                          notes))
            continue;
        text += c ? RegisteredClassElement(*c, coClass.IsControl, *component.Registered,
                                           component.File, written, notes)
                  : ComClassElement(coClass.GUID, libraryName + L"." + coClass.Name, {}, nullptr,
                                    coClass.IsControl, component.File, written, notes);
    }
    // Classes that the registration adds, in the order of their identifiers.
    std::vector<const TypeLibReader::RegisteredClass*> extra;
    for (const auto& c : registered)
        if (std::find(listed.begin(), listed.end(), Upper(c.Clsid)) == listed.end())
            extra.push_back(&c);
    std::sort(extra.begin(), extra.end(),
              [](const auto* a, const auto* b) { return a->Clsid < b->Clsid; });
    for (const auto* c : extra) {
        if (Written::Add(written.Classes, c->Clsid, L"Класс " + c->Clsid, component.File, notes))
            text += RegisteredClassElement(*c, false, *component.Registered, component.File,
                                           written, notes);
    }
    // The ProgIDs that the registration wrote for classes that it does not make for this file.
    for (const auto& p : captured ? component.Registered->ProgIds
                                  : std::vector<TypeLibReader::RegisteredProgId>()) {
        if (!registration(p.Clsid))
            notes.push_back(L"ProgID " + Quoted(p.Name) + L" из " + Quoted(component.File) +
                            L": реестр связывает это имя с классом " + Upper(p.Clsid) +
                            L", который этот файл не регистрирует; ProgID пропущен.");
    }
    const std::wstring guid = lib.GUID();
    if (Written::Add(written.TypeLibs, guid, L"Библиотека типов " + guid, component.File, notes)) {
        text += Element(4, L"typelib",
                        {{L"tlbid", guid},
                         {L"version", std::to_wstring(lib.MajorVersion()) + L"." +
                                          std::to_wstring(lib.MinorVersion())},
                         {L"helpdir", L""}});
        text += kFileSeparator;
    }
    return text + L"  </file>\r\n" + kSeparator;
}

std::wstring ComponentProxies(const Component& component, Written& written,
                              std::vector<std::wstring>& notes) {
    const TypeLibInfo& lib = *component.TypeLib;
    std::wstring text;
    const std::wstring libraryGuid = lib.InterfaceCount() ? lib.GUID() : std::wstring();
    for (std::size_t i = 0; i < lib.InterfaceCount(); ++i) {
        const TypeLibReader::InterfaceInfo info = lib.Interface(i);
        if (Written::Add(written.Interfaces, info.GUID, L"Интерфейс " + info.GUID, component.File,
                         notes))
            text += ProxyElement(info, libraryGuid);
    }
    return text;
}

} // namespace

ComponentSections GetComponents(const ManifestRecord& Record, std::wstring& CurrentFunction) {
    CurrentFunction = L"GetComponents";
    ComponentSections sections;
    Written written = OwnIdentifiers(Record.TypeLib.get());
    for (const Gathered<Component>& component : Record.Components)
        sections.Files += ComponentFile(component.Get(), written, sections.Notes);
    for (const Gathered<Component>& component : Record.Components)
        sections.Proxies += ComponentProxies(component.Get(), written, sections.Notes);
    return sections;
}

} // namespace modManifestConstructor
