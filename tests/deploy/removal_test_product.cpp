#include "removal_test_product.h"

#include <cstdio>

#include "deploy/file_deployer.h"
#include "deploy_test_support.h"

bool InstallTestProduct(const std::wstring& stagingFolder, const std::wstring& versionFolder,
                        std::initializer_list<StagedFile> files) {
    const std::wstring staged = stagingFolder + L"\\program files\\Corvane\\Pelora\\";
    for (const StagedFile& file : files) WriteTestFile(staged + file.path, file.size);
    FileDeployer deployer(stagingFolder, nullptr);
    deployer.SetTargetRoot(versionFolder);
    deployer.SetManifestPath(versionFolder + L"\\PeloraInstall.xml");
    return deployer.Install() == 1;
}

bool WriteText(const std::wstring& path, const std::string& text) {
    FILE* file = _wfopen(path.c_str(), L"wb");
    if (file == nullptr) return false;
    const bool written = fwrite(text.data(), 1, text.size(), file) == text.size();
    return fclose(file) == 0 && written;
}
