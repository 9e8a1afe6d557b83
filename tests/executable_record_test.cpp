// The Windows program's manifest and version record, read from the built executable the way the
// system reads them.
#include <gtest/gtest.h>
#include <string>
#include <windows.h>

#include "platform/platform.h"

namespace {

std::string programPath() {
    char path[MAX_PATH] = "";
    executablePath(path, sizeof path);
    std::string folder = path;
    folder = folder.substr(0, folder.find_last_of('\\')); // tests\ -> the build folder
    return folder.substr(0, folder.find_last_of('\\')) + "\\Quillmere.exe";
}

TEST(ExecutableRecord, ManifestAsksForTheUsersOwnRights) {
    HMODULE program = LoadLibraryExA(programPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(program, nullptr) << programPath();
    HRSRC found = FindResourceA(program, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(found, nullptr);
    const char *bytes = static_cast<const char *>(LockResource(LoadResource(program, found)));
    const std::string manifest(bytes, SizeofResource(program, found));
    for (const char *part :
         {"type=\"win32\"", "name=\"Ardwyn.Quillmere\"", "version=\"1.0.0.0\"",
          "processorArchitecture=\"*\"", "level=\"asInvoker\"", "uiAccess=\"false\"",
          "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}"})
        EXPECT_NE(manifest.find(part), std::string::npos) << part;
    for (int id = 101; id <= 105; id++)
        EXPECT_NE(FindResourceA(program, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(10)), nullptr)
            << "payload resource " << id;
    FreeLibrary(program);
}

TEST(ExecutableRecord, VersionRecordNamesTheProduct) {
    const std::string path = programPath();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::string record(size, '\0');
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, &record[0]));
    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(&record[0], "\\", reinterpret_cast<void **>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    const std::pair<const char *, const char *> strings[] = {
        {"ProductName", "Quillmere"},  {"FileDescription", "Quillmere - Cabinet Installer"},
        {"InternalName", "Quillmere"}, {"OriginalFilename", "Quillmere.exe"},
        {"FileVersion", "1.0.0.0"},    {"ProductVersion", "1.0.0.0"},
    };
    for (const auto &entry : strings) {
        char *value = nullptr;
        const std::string key = std::string("\\StringFileInfo\\040904b0\\") + entry.first;
        ASSERT_TRUE(
            VerQueryValueA(&record[0], key.c_str(), reinterpret_cast<void **>(&value), &length))
            << entry.first;
        EXPECT_STREQ(value, entry.second);
    }
}

} // namespace
