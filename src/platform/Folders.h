#pragma once
#include <string>

namespace parlet {

inline constexpr int CSIDL_PERSONAL = 5;
inline constexpr int CSIDL_APPDATA = 26;

// Folder lookups and the current folder. A change that fails leaves the current folder as it was.
class Folders {
  public:
    virtual ~Folders() = default;
    // 0 on success, with the folder's path in `path`.
    virtual int SHGetFolderPathA(int csidl, std::string &path) = 0;
    virtual bool ChDir(const std::string &folder) = 0;
    virtual std::string CurDir() = 0;
    // The separator placed between a folder and a file name ("\\" on Windows, "/" elsewhere).
    virtual char PathSeparator() const = 0;
};

} // namespace parlet
