#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Finds the attachment files that card HTML refers to through quoted
// "card-attachment" links, deck-relative or deck-qualified.
class FCCImageInventory {
public:
    // Appends, in order of appearance and with repeats, the file name of every
    // quoted "card-attachment:" link (any case) in the HTML. False only when the
    // search pattern cannot be built.
    //
    // Only a link's last path component counts as the file name, so a quoted
    // deck-relative link and a deck-qualified link to the same file both give the
    // bare name, and no name can reach outside the deck's attachment folder;
    // links that name no file ("", "/", ".", "..") are skipped with a warning.
    static bool findImageNamesUsedInHtml(const std::string& html, std::vector<std::string>& output);

    // The file name a link path stands for: its last path component, or nullopt
    // when that names no file inside a folder ("", "/", ".", "..").
    static std::optional<std::string> attachmentFileNameForPath(std::string_view path);
};
