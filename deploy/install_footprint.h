#pragma once

#include <mutex>
#include <string>
#include <vector>

// What one install run has written to the install drive: the files it copied and the folders it
// made. A run that fails takes exactly these back, so that it leaves neither half a product
// behind nor removes anything that was there before it, nor anything put beside its files since.
// Safe to use from several threads at once: the folder verdict notes its folders on the window's
// thread while the engine's worker may be taking back a failed extraction. What is noted while
// RemoveAll runs stays noted for the next RemoveAll.
class InstallFootprint {
public:
    InstallFootprint() = default;
    InstallFootprint(const InstallFootprint&) = delete;
    InstallFootprint& operator=(const InstallFootprint&) = delete;

    // The folders of `path` that do not exist now, outermost first (never a drive root).
    static std::vector<std::wstring> MissingFolders(const std::wstring& path);
    // Notes those of `folders` (from MissingFolders) that exist now, all at once: this run made them.
    void NoteMadeFolders(const std::vector<std::wstring>& folders);
    // Creates every missing folder of `path` (as CreateFolderPath does) and notes those it made.
    bool CreateFolders(const std::wstring& path);
    // Creates an empty file, and its folders, unless something is already at `path`; notes what
    // it made.
    bool CreateEmptyFile(const std::wstring& path);
    // Copies `source` over `target` like CopyLockedFile. A target written whole is noted. When the
    // copy fails, whatever it left in place of a target that did not exist before (a cut file, or
    // the side name it was renamed to) is noted as well; an older file that was there stays
    // untouched.
    bool CopyFileOver(const std::wstring& source, const std::wstring& target);

    // Deletes the noted files, then the noted folders deepest first when nothing else is in them.
    // Logs what it removed and every entry it had to leave; returns the number of entries left.
    int RemoveAll();

    bool Empty() const;
    // The noted folders that hold `folder` (not `folder` itself), outermost first.
    std::vector<std::wstring> MadeFoldersAbove(const std::wstring& folder) const;

private:
    struct Entry {
        std::wstring path;
        bool folder;
    };
    void NoteFile(const std::wstring& path);
    void Note(Entry entry);

    // Guards m_entries only; the file work happens outside it.
    mutable std::mutex m_lock;
    std::vector<Entry> m_entries;  // in the order written: a folder comes before what it holds
};
