#include "iat_patch.h"
#include <cstring>

namespace {

void WriteSlot(void** slot, void* value)
{
    DWORD oldProtect;
    VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &oldProtect);
    *slot = value;
    VirtualProtect(slot, sizeof(void*), oldProtect, &oldProtect);
}

void** FindSlot(HMODULE module, const char* dll, const char* function)
{
    BYTE* base = reinterpret_cast<BYTE*>(module);
    auto dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (dir.VirtualAddress == 0)
        return nullptr;
    for (auto desc = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); desc->Name; ++desc) {
        if (_stricmp(reinterpret_cast<char*>(base + desc->Name), dll) != 0)
            continue;
        auto names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + desc->OriginalFirstThunk);
        auto slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + desc->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            auto byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (strcmp(reinterpret_cast<char*>(byName->Name), function) == 0)
                return reinterpret_cast<void**>(&slots->u1.Function);
        }
    }
    return nullptr;
}

}  // namespace

IatPatch::IatPatch(HMODULE module, const char* dll, const char* function, void* replacement)
{
    m_slot = FindSlot(module, dll, function);
    if (m_slot == nullptr)
        return;
    m_original = *m_slot;
    WriteSlot(m_slot, replacement);
}

void IatPatch::Restore()
{
    if (m_slot != nullptr)
        WriteSlot(m_slot, m_original);
    m_slot = nullptr;
}
