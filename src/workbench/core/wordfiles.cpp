#include "workbench/core/wordfiles.h"

#include <algorithm>
#include <filesystem>
#include <iterator>

namespace velmora {

bool IsWordDocumentName(std::string_view name) {
    const auto endsWith = [name](std::string_view tail) {
        return name.size() >= tail.size() &&
               std::equal(tail.begin(), tail.end(), name.end() - std::ptrdiff_t(tail.size()),
                          [](char t, char c) { return t == (c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c); });
    };
    return endsWith(".doc") || endsWith(".docx");
}

std::optional<std::vector<std::string>> WordFilesBelow(const std::string& folder, const WordFileWalk& how) {
    namespace fs = std::filesystem;
    std::vector<std::string> found;
    // Each folder is read on its own, so that one that cannot be read is named and the walk goes on with the rest.
    std::vector<fs::path> pending{fs::path(folder)};
    while (!pending.empty()) {
        const fs::path current = std::move(pending.back());
        pending.pop_back();
        if (how.skip && how.skip(current.native())) {
            continue;
        }
        std::error_code error;
        std::vector<fs::path> folders;
        fs::directory_iterator entries(current, error);
        for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
            std::error_code ignored;
            const fs::file_status own = entries->symlink_status(ignored);
            const std::string& name = entries->path().native();
            if (fs::is_directory(own)) {
                folders.push_back(entries->path());
            } else if (fs::is_regular_file(own) ||
                       (how.followFileLinks && fs::is_symlink(own) && entries->is_regular_file(ignored))) {
                if (IsWordDocumentName(name)) {
                    found.push_back(name);
                }
            }
        }
        if (error && how.unreadable) {
            how.unreadable(current.native(), error);
        }
        if (how.goOn && !how.goOn(found.size())) {
            return std::nullopt;
        }
        // Taken from the back: in name order, so that what is said of folders comes in the order a listing shows.
        std::sort(folders.rbegin(), folders.rend());
        std::move(folders.begin(), folders.end(), std::back_inserter(pending));
    }
    std::sort(found.begin(), found.end());
    return found;
}

} // namespace velmora
