// The shell's folder lookup and the process's current folder.
#include "platform/RealServices.h"

// After our headers (see Win32.h).
#include "Win32.h"

namespace parlet {
namespace {

class WinFolders final : public Folders {
  public:
    int SHGetFolderPathA(int csidl, std::string &path) override {
        char folder[MAX_PATH] = {};
        const HRESULT result =
            ::SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, folder);
        if (result == S_OK)
            path = folder;
        return static_cast<int>(result);
    }

    // The path names its drive, so one change makes both the drive and the folder current.
    bool ChDir(const std::string &folder) override {
        return !folder.empty() && ::SetCurrentDirectoryA(folder.c_str()) != FALSE;
    }

    std::string CurDir() override {
        char folder[MAX_PATH] = {};
        const DWORD length = ::GetCurrentDirectoryA(MAX_PATH, folder);
        return length > 0 && length < MAX_PATH ? std::string(folder, length) : std::string();
    }

    char PathSeparator() const override { return '\\'; }
};

} // namespace

std::unique_ptr<Folders> makeRealFolders() {
    return std::make_unique<WinFolders>();
}

} // namespace parlet
