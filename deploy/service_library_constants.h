#pragma once

// The folder that holds the key-press service's library, where only the system and
// administrators can write, and the install-log texts of providing and removing it. Each is
// spelled here once.
namespace deploy {

// Below the Program Files folder of the setup's own architecture (the 32-bit one for the 32-bit
// setup, matching the 32-bit service host).
inline constexpr wchar_t kServiceLibraryFolderName[] = L"PeloraService";

// Owner Administrators; a protected list (nothing inherited from Program Files): full control for
// the system and administrators, read and run for the users, each passed on to the files and
// folders inside.
inline constexpr wchar_t kServiceLibraryAccessList[] =
    L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

// ---- Install log -------------------------------------------------------------------------------
inline constexpr wchar_t kLogLibraryNoProgramFiles[] =
    L"[setup]no Program Files folder for the service library: 0x%08lX\n";
// Folder, what failed, the system's error.
inline constexpr wchar_t kLogLibraryFolderFailed[] = L"[setup]service library folder %s is not used: %s, error %lu\n";
inline constexpr wchar_t kLogLibraryFolderRefused[] = L"[setup]service library folder %s is not used: %s\n";
// Library, why it is not used.
inline constexpr wchar_t kLogLibraryRefused[] = L"[setup]service library %s is not used: %s\n";
inline constexpr wchar_t kLogLibraryFailed[] = L"[setup]service library %s is not used: %s, error %lu\n";
inline constexpr wchar_t kLogLibraryProvided[] = L"[setup]service library %s copied to %s\n";
inline constexpr wchar_t kLogNoServiceWithoutLibrary[] = L"[setup]service %s is not registered: no service library\n";
inline constexpr wchar_t kLogLibraryRemoved[] = L"[uninst]removed service library %s\n";
inline constexpr wchar_t kLogLibraryNotRemoved[] =
    L"[uninst]could not remove service library folder %s: %s, error %lu\n";
inline constexpr wchar_t kLogLibraryKept[] = L"[uninst]kept service library folder %s: %s\n";

// Why a folder or a library is not used.
inline constexpr wchar_t kReasonLinkOnWay[] = L"a link lies on its way";
inline constexpr wchar_t kReasonNotHeld[] = L"it cannot be held";
inline constexpr wchar_t kReasonNoFolder[] = L"it is no folder";
inline constexpr wchar_t kReasonCreateFailed[] = L"it cannot be created";
inline constexpr wchar_t kReasonOpenFailed[] = L"it cannot be opened";
inline constexpr wchar_t kReasonAccessListUnset[] = L"its access list cannot be set";
inline constexpr wchar_t kReasonAccessListUnread[] = L"its access list cannot be read back";
inline constexpr wchar_t kReasonNotProtected[] = L"its access list inherits entries";
inline constexpr wchar_t kReasonNoAccessList[] = L"it has no access list, which lets everybody write";
inline constexpr wchar_t kReasonOtherWriter[] = L"its access list lets others than the system and administrators write";
inline constexpr wchar_t kReasonUnknownEntry[] = L"its access list holds an entry of an unknown kind";
inline constexpr wchar_t kReasonForeignOwner[] = L"its owner is neither the system nor the administrators";
inline constexpr wchar_t kReasonSourceUnread[] = L"the product root's library cannot be read";
inline constexpr wchar_t kReasonCopyFailed[] = L"it cannot be written";
inline constexpr wchar_t kReasonNotPlaced[] = L"it cannot be moved into place";
inline constexpr wchar_t kReasonNotEmpty[] = L"it holds files the setup did not put there";
inline constexpr wchar_t kReasonNotRemoved[] = L"it cannot be removed";

}  // namespace deploy
