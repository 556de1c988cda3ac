#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace velmora {

// Whether a file name ends in ".doc" or ".docx", in any case of ASCII letters.
bool IsWordDocumentName(std::string_view name);

struct WordFileWalk {
    // Linked folders are never followed (a link back up the tree would never end); a linked file is taken when
    // this is set (adding documents), not when the document must be where its file is (finding moved documents).
    bool followFileLinks = true;
    // Each folder that cannot be read, in the order a listing shows them; the walk goes on with the rest.
    std::function<void(const std::string& folder, const std::error_code& error)> unreadable;
    // A folder for which this is true is not entered (the data folder, when relink searches above it).
    std::function<bool(const std::string& folder)> skip;
    // After each folder, with the number of documents found so far: false stops the walk.
    std::function<bool(size_t found)> goOn;
};

// The Word documents below `folder` (a path in the file system's bytes), sorted by their bytes; nullopt when
// `goOn` stopped the walk.
std::optional<std::vector<std::string>> WordFilesBelow(const std::string& folder, const WordFileWalk& how = {});

} // namespace velmora
