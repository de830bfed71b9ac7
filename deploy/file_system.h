#pragma once

#include <cstdint>
#include <string>

#include "deploy/files/path_queries.h"

// File-system routines shared by the deployment steps. Paths are full wide-character paths;
// every routine logs its failures to the install log and reports them by its result.

// True when no link lies on `path` (files/path_links.h); otherwise logs the path with the link
// and gives false.
bool RefuseLinkOnPath(const std::wstring& path);

// Deletes `path` (a file, or a folder with its tree) through the handles of its folder, held from
// `holdFrom` down (the folder above `path` when empty). No product check: the callers have
// made theirs. False, logged, when a folder on the way is a link, missing or swapped, or when
// anything stays.
bool DeleteHeldPath(const std::wstring& path, const std::wstring& holdFrom);

// Removes the folder `path` when it is empty, through its held handle. False, with nothing done,
// when it holds anything, is missing or has a link on its way; GetLastError tells why.
bool RemoveEmptyFolder(const std::wstring& path);

// Creates every missing folder of `path`. A file standing where a folder belongs is deleted when
// it lies in the product's own folders (product_folder.h); anywhere else it stays and the result
// is false. False as well for an empty path, a path of 260 characters or more, or a folder that
// cannot be created.
bool CreateFolderPath(const std::wstring& path);

// Deletes the folder (or file) with everything below it, without the recycle bin and without
// dialogs, through held handles (files/tree_deletion.h): the product's folder that holds it stays
// open from the check to the last deletion, and every entry is deleted as the object that was
// examined. Links inside are removed as links; their targets are never entered.
// True when nothing is left or nothing was there. Refuses (false, logged) anything that is not
// the product's own (product_folder.h), a path with a link anywhere on it (the path itself too),
// a drive root on its full path ("C:\x\.." too), a path that is not fully qualified ("C:",
// "dir"), a path with wildcards and one of 259 characters or more. An entry that cannot be
// removed is logged; the rest is removed all the same.
bool DeleteFolderTree(const std::wstring& path);

// Creates an empty file (and its folders) unless something already exists at `path`.
bool CreateEmptyFile(const std::wstring& path);

// Moves a file out of the way to the first free side name "{path}~{n}" (n from 1). The side file
// is deleted at once, or at the next reboot when it is still in use. False when `path` does not
// exist, has a link on its way, or cannot be moved.
bool MoveAside(const std::wstring& path);

// Deletes a file, or, when it is in use, moves it to the first free "{path}~{n}" (n from 0).
// False, with nothing done, when a link lies on its way.
bool DeleteOrMoveAside(const std::wstring& path);

// Copies source over target; when the target is in use it is moved aside first. Three copy
// attempts in all; false for a null path or when the last attempt fails.
bool CopyReplacing(const wchar_t* target, const wchar_t* source, bool failIfExists);

// True when `folder` holds nothing but empty subfolders, folder links and a file named exactly
// `fileName` (also true when the folder cannot be enumerated); false when it is no folder or is
// itself a link.
bool HoldsOnlyManifest(const std::wstring& folder, const std::wstring& fileName);

// Total size of the files below `folder`. `budget` counts every folder visited and every file;
// the walk stops when it reaches 0. Links count as entries of size 0 and are not entered.
uint64_t FolderTreeSize(int& budget, const std::wstring& folder);

// Copies the tree below `source` into `target` (created as needed), leaving links out. `budget`
// counts the folders entered. False when a file cannot be copied in five attempts, when a folder cannot be created
// or when the budget runs out before the whole tree is copied.
bool CopyFolderTree(const std::wstring& source, const std::wstring& target, int& budget);

// Looks below `folder` for a subfolder named exactly "Users" (not a link, nor below one) and
// stores its path in `found`.
// True at once when `found` is not empty. `budget` counts the folders entered.
bool FindUsersFolder(const std::wstring& folder, std::wstring& found, int& budget);

// Makes a fresh, empty staging folder {appData}\Corvane\STemp\Pelora\Pelora~{n} (the first n whose
// folder is absent or can be deleted) and returns it.
std::wstring CreateStagingFolder();

// Provides the Windows Media system profile from the staged tree when the system lacks it.
bool CopySystemProfile(const std::wstring& stagingFolder);
