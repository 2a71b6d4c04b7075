#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fakes/FakePlatform.h"
#include "run/frmQuarnLogBackup.h"

namespace quarn::testing {

// A machine where the mail client is set up and both backup-log options are on.
class RunFixture : public ::testing::Test {
protected:
    RunFixture() {
        platform.SetRegistryText(L"DataDir", L"D:\\Becky\\");
        platform.SetRegistryDword(L"RecvBackLog", 1);
        platform.SetRegistryDword(L"SentBackLog", 1);
        platform.AddDirectory(L"D:\\Becky");
        platform.AddDirectory(platform.programFolder);
        platform.onProcess = ListingAndArchiver(platform, {});
    }

    std::wstring SettingsFile() const { return platform.programFolder + L"\\QuarnBackup.ini"; }
    std::wstring StagingFolder() const { return platform.programFolder + L"\\QuarnStaging"; }
    // The names of the copies waiting in the staging folder and its subfolders.
    std::vector<std::wstring> StagedCopies() const {
        std::vector<std::wstring> names;
        for (const std::wstring& path : platform.FilesBelow(StagingFolder())) {
            names.push_back(path.substr(path.rfind(L'\\') + 1));
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    std::wstring RunLog() const { return platform.FileContent(platform.programFolder + L"\\QuarnBackup.log"); }
    void SetSetting(const std::wstring& section, const std::wstring& key, const std::wstring& value) {
        platform.profiles[SettingsFileKey()].push_back({section, key, value});
    }
    std::wstring SettingsFileKey() const {
        std::wstring key = SettingsFile();
        for (wchar_t& c : key) {
            if (c >= L'A' && c <= L'Z') c = c - L'A' + L'a';
        }
        return key;
    }
    std::vector<std::wstring> BoxTexts() const {
        std::vector<std::wstring> texts;
        for (const auto& box : platform.boxes) texts.push_back(box.text);
        return texts;
    }
    bool HasEvent(const std::wstring& prefix) const {
        for (const auto& event : platform.events) {
            if (event.rfind(prefix, 0) == 0) return true;
        }
        return false;
    }

    FakePlatform platform;
    frmQuarnLogBackup form{platform};
};

}  // namespace quarn::testing
