#pragma once

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "deploy/removal_plan.h"

class ShellPinRequests;

// Taking the installed product off the machine: everything the setup put there, and nothing else.
// The install is found through the product key; its version folder must be the product's (it
// holds the install manifest, and neither it nor the product root is a link), and the manifest
// must name nothing outside it. Then the removal undoes the registrations with the routines that
// made them, deletes the files the manifest lists (a file in use is moved aside and deleted at the
// next start), the public files, the folders the setup made when they are empty, and last the
// product key and the uninstall entry. The users' data folder "Users" stays unless asked for.
class ProductRemoval {
public:
    explicit ProductRemoval(ShellPinRequests& shell);

    // Finds and checks the install. False, with a message for the user in `refusal` (also
    // logged), when nothing is installed or nothing may be removed; then nothing was changed.
    bool Prepare(std::wstring& refusal);

    const std::wstring& VersionFolder() const { return m_versionFolder; }
    const std::wstring& ProductRoot() const { return m_productRoot; }
    // The running uninstaller's own file, in full form.
    const std::wstring& OwnImage() const { return m_ownImage; }

    // Whether the client of this install (or the product's updater) runs now.
    bool IsClientRunning() const;
    // Ends them; false when one could not be ended.
    bool CloseClient();

    // Removes the product (after Prepare succeeded), the users' data too when `removeData`.
    // `progress` receives 0 to 1 and may be empty. 0 when nothing of the product is left now or
    // after the next start; 1 when something could not be removed: then the product key and the
    // uninstall entry stay, so that the removal can be run again.
    int Remove(bool removeData, const std::function<void(double)>& progress);

    // After a successful Remove: the folders to remove, when empty, once the uninstaller's own
    // file has gone (the product root and the product's folders above it), deepest first.
    std::vector<std::wstring> FoldersLeftForLater() const { return m_foldersForLater; }
    int FilesRemoved() const { return m_filesRemoved; }
    int FilesDeferred() const { return m_filesDeferred; }
    int FilesFailed() const { return m_filesFailed; }

private:
    enum class Outcome { kRemoved, kDeferred, kFailed };

    void UndoRegistrations();
    void RemovePlannedEntries(const RemovalPlan& plan, bool removeData, const std::function<void(double)>& progress);
    void RemovePublicFiles();
    void RemoveWorkFolders();
    Outcome RemoveFile(const std::wstring& path);
    // An empty folder goes now; one that holds files deleted at the next start is deleted right
    // after them then. Anything else keeps it (logged).
    void RemoveFolderIfEmpty(const std::wstring& folder);
    void Count(Outcome outcome);
    // Logs a registration step; a failed one keeps the product key.
    void Check(const wchar_t* step, bool ok);

    ShellPinRequests& m_shell;
    std::wstring m_versionFolder;
    std::wstring m_productRoot;  // without its trailing backslash
    std::wstring m_ownImage;
    std::vector<std::wstring> m_foldersForLater;
    int m_filesRemoved = 0;
    int m_filesDeferred = 0;
    int m_filesFailed = 0;
    int m_registrationsFailed = 0;
    // Normalised folders that hold a file deleted at the next start.
    std::set<std::wstring> m_deferredFolders;
};
