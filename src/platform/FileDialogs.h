#pragma once
#include <optional>
#include <string>

namespace parlet {

// The common dialog's properties. `filter` is "Description|pattern|Description|pattern";
// `filterIndex` counts from 1.
struct FileDialogRequest {
    std::string filter;
    int filterIndex = 1;
    std::string initDir;
    std::string fileName;
    bool overwritePrompt = false;
    bool fileMustExist = false;
};

class FileDialogs {
  public:
    virtual ~FileDialogs() = default;
    // The chosen full path, or nothing when the user cancelled.
    virtual std::optional<std::string> ShowOpen(const FileDialogRequest &request) = 0;
    virtual std::optional<std::string> ShowSave(const FileDialogRequest &request) = 0;
};

} // namespace parlet
