#pragma once

#include <string>
#include <vector>

namespace extract {

// Digests of chosen archive entries, taken from the bytes as the extraction decodes them out of
// the setup program's own resource. A file that somebody changes in the staging folder, or in the
// folders it is copied to, afterwards no longer matches its entry's digest: the setup checks the
// programs and libraries it runs against these before it runs them.
//
// Entry names are the archive's paths below its root ("program files\Corvane\...\x.dll"); "/"
// and "\" separate alike and case does not matter.

// Chooses the entries whose digests the following extractions keep, forgetting earlier digests.
void KeepPayloadDigests(const std::vector<std::wstring>& entryNames);

// The SHA-256 (64 lower-case hexadecimal digits) of `entryName` as it was last extracted
// completely; empty when it was not chosen, not extracted or could not be hashed.
std::wstring PayloadDigestOf(const std::wstring& entryName);

// For the extraction's workers (any thread): whether `entryName` is chosen, and its digest once
// every byte of it has been written and checked.
bool IsPayloadDigestWanted(const std::wstring& entryName);
void RecordPayloadDigest(const std::wstring& entryName, const std::wstring& digest);

}  // namespace extract
