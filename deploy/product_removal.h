#pragma once

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "deploy/deferred_removal.h"
#include "deploy/files/held_folder.h"
#include "deploy/removal_plan.h"

class ShellPinRequests;

// Taking the installed product off the machine: everything the setup put there, and nothing else.
// The install is found through the product key; its version folder must be the product's (it
// holds the install manifest, and neither it nor the product root is a link), and the manifest
// must name nothing outside it. Then the removal undoes the registrations with the routines that
// made them, deletes the files the manifest lists through the handles of their held folders (a
// file in use is moved aside to a unique name that is deleted at the next start), the public
// files, the folders the setup made when they are empty, and last the product key and the
// uninstall entry. The users' data folder "Users" stays unless asked for. Whatever stays of what
// the manifest lists keeps the manifest, the product key and the uninstall entry, so that the
// removal can be run again.
class ProductRemoval {
public:
    explicit ProductRemoval(ShellPinRequests& shell);

    // Finds and checks the install. False, with a message for the user in `refusal` (also
    // logged), when nothing is installed or nothing may be removed; then nothing was changed.
    bool Prepare(std::wstring& refusal);

    const std::wstring& VersionFolder() const { return m_versionFolder; }
    const std::wstring& ProductRoot() const { return m_productRoot; }

    // Whether the client of this install (or the product's updater) runs now.
    bool IsClientRunning() const;
    // Ends them; false when one could not be ended.
    bool CloseClient();

    // Removes the product (after Prepare succeeded), the users' data too when `removeData`.
    // `progress` receives 0 to 1 and may be empty. 0 when nothing of the product is left now or
    // after the next start; 1 when something could not be removed (each such file is logged):
    // then the manifest, the product key and the uninstall entry stay, so that the removal can be
    // run again. The uninstaller's own file, when it lies in the product root, is moved out of its
    // name at once and deleted at the next start, with the folders that only it keeps.
    int Remove(bool removeData, const std::function<void(double)>& progress);

    int FilesRemoved() const { return m_filesRemoved; }
    // Deletes the product's logs in {appData}\Corvane\Logs (the install log "PeloraInstall.txt",
    // the binary logs of the product's programs "Pelora*.tlg" and their older generations), then
    // the folder and the company folder when they are empty. A log still open is moved aside and
    // goes at the next start. Run with the user's data, after the install log is closed.
    static void RemoveProductLogs();
    int FilesDeferred() const { return m_filesDeferred; }
    int FilesFailed() const { return m_filesFailed; }

    // A test build can stop the removal after the web component's unregistration, before any file
    // goes, to change the world meanwhile. Never set in the shipped program.
    static void SetPauseAfterUnregistration(void (*pause)());

private:
    using Outcome = RemovalOutcome;

    void UndoRegistrations();
    // The key-press service, then its library in the administrators' folder and the folder.
    void UndoSharedService();
    void RemovePlannedEntries(const RemovalPlan& plan, bool removeData, const std::function<void(double)>& progress);
    void RemovePublicFiles();
    void RemoveWorkFolders();
    void RetireOwnImage();
    // True when `folder` holds nothing but the manifest (in the version folder itself), files
    // deferred to the next start, empty folders and folder links.
    bool HoldsOnlyProductRemains(const std::wstring& folder) const;
    // Deletes the file `path` and the side names earlier runs left of it, through the handle of
    // its held folder.
    void RemoveFile(const std::wstring& path);
    // The held folder `folder` (the version folder, the product root or a folder below them);
    // null, logged, when a link or a swapped entry lies on the way.
    const files::HeldFolder* Held(const std::wstring& folder);
    void Release(const std::wstring& folder);
    // An empty folder goes now; one that holds files deleted at the next start is deleted right
    // after them then. Anything else keeps it (logged).
    void RemoveFolderIfEmpty(const std::wstring& folder);
    // Whether the setup made `folder` (recorded at install) or it is one of the product's own
    // folders of the default layout.
    bool MayRemoveFolder(const std::wstring& folder) const;
    void Count(Outcome outcome, const std::wstring& leftover = std::wstring());
    // Logs a registration step; a failed one keeps the product key.
    void Check(const wchar_t* step, bool ok);

    ShellPinRequests& m_shell;
    std::wstring m_versionFolder;
    std::wstring m_productRoot;  // without its trailing backslash
    std::wstring m_ownImage;
    std::vector<std::wstring> m_madeFolders;  // recorded by the setup: the product root and above
    std::vector<std::wstring> m_leftovers;    // side files the next start's list could not take
    // Held folders by their normalised path: each is opened once, from the drive root down, and
    // held until its entries are done.
    std::map<std::wstring, std::unique_ptr<files::HeldFolder>> m_held;
    int m_filesRemoved = 0;
    int m_filesDeferred = 0;
    int m_filesFailed = 0;
    int m_registrationsFailed = 0;
    // Normalised folders that hold a file deleted at the next start, and those files' side names.
    std::set<std::wstring> m_deferredFolders;
    std::set<std::wstring> m_deferredFiles;
};
