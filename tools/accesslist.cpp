// Test tool: reads back a file's or folder's owner and access list the way any other program sees
// them, through GetFileSecurityW, so that a test can look at them from outside the setup.
//   accesslist.exe PATH
// Prints "owner SID", "protected 0|1" and then one line per entry of the list,
// "allow|deny|other FLAGS MASK SID" (flags and mask in hexadecimal, "0x" first). Exit status: 0
// after printing, 1 when the owner or the list cannot be read (or there is no list), 2 for a usage
// error.
#include "tools/console_text.h"

#include <sddl.h>

#include <cwchar>
#include <string>
#include <vector>

namespace {

std::wstring SidText(PSID sid) {
    wchar_t* text = nullptr;
    if (sid == nullptr || !ConvertSidToStringSidW(sid, &text)) return L"-";
    std::wstring result = text;
    LocalFree(text);
    return result;
}

std::wstring Hex(DWORD value) {
    wchar_t text[16] = {};
    swprintf(text, 16, L"0x%lx", static_cast<unsigned long>(value));
    return text;
}

std::wstring EntryLine(const ACE_HEADER* header) {
    const wchar_t* kind = header->AceType == ACCESS_ALLOWED_ACE_TYPE  ? L"allow"
                          : header->AceType == ACCESS_DENIED_ACE_TYPE ? L"deny"
                                                                      : L"other";
    // Allow and deny entries share one layout: header, mask, SID.
    const auto* entry = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(header);
    const std::wstring sid = header->AceType <= ACCESS_DENIED_ACE_TYPE
                                 ? SidText(const_cast<DWORD*>(&entry->SidStart))
                                 : L"-";
    return std::wstring(kind) + L" " + Hex(header->AceFlags) + L" " + Hex(entry->Mask) + L" " + sid + L"\n";
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        tools::WriteErr(L"usage: accesslist.exe PATH\n");
        return 2;
    }
    const SECURITY_INFORMATION wanted = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    DWORD needed = 0;
    GetFileSecurityW(argv[1], wanted, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    PSECURITY_DESCRIPTOR descriptor = buffer.data();
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    PSID owner = nullptr;
    PACL list = nullptr;
    BOOL present = FALSE, defaulted = FALSE;
    if (needed == 0 || !GetFileSecurityW(argv[1], wanted, descriptor, needed, &needed) ||
        !GetSecurityDescriptorControl(descriptor, &control, &revision) ||
        !GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) ||
        !GetSecurityDescriptorDacl(descriptor, &present, &list, &defaulted) || !present || list == nullptr) {
        tools::WriteErr(std::wstring(L"accesslist: cannot read ") + argv[1] + L"\n");
        return 1;
    }
    std::wstring text = L"owner " + SidText(owner) + L"\nprotected " +
                        ((control & SE_DACL_PROTECTED) != 0 ? L"1" : L"0") + L"\n";
    for (DWORD i = 0; i < list->AceCount; ++i) {
        void* header = nullptr;
        if (GetAce(list, i, &header)) text += EntryLine(static_cast<const ACE_HEADER*>(header));
    }
    tools::WriteOut(text);
    return 0;
}
